#include "audiotags.h"

#include "dberror.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <taglib/attachedpictureframe.h>
#include <taglib/fileref.h>
#include <taglib/flacfile.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>
#include <taglib/opusfile.h>
#include <taglib/tpropertymap.h>
#include <taglib/vorbisfile.h>
#include <taglib/wavfile.h>
#include <taglib/xiphcomment.h>

#include <unicode/ucnv.h>

namespace audio {

namespace {

QString fromTagLib(const TagLib::String& s)
{
    return QString::fromStdWString(s.toWString());
}

QByteArray bytesOf(const TagLib::ByteVector& v)
{
    return QByteArray(v.data(), int(v.size()));
}

int leadingNumber(const QString& text)
{
    int n = 0;
    for (const QChar c : text.trimmed()) {
        if (!c.isDigit())
            break;
        n = n * 10 + c.digitValue();
    }
    return n;
}

// The front cover among a file's pictures, else the first of them.
template <typename Picture, typename GetType, typename GetData>
QByteArray frontCover(const std::vector<Picture>& pictures, GetType type, GetData data,
                      int frontType)
{
    for (const Picture& p : pictures)
        if (type(p) == frontType)
            return data(p);
    return pictures.empty() ? QByteArray() : data(pictures.front());
}

QByteArray id3Cover(TagLib::ID3v2::Tag* tag)
{
    if (!tag)
        return QByteArray();
    std::vector<TagLib::ID3v2::AttachedPictureFrame*> pictures;
    for (TagLib::ID3v2::Frame* f : tag->frameListMap()["APIC"])
        if (auto* p = dynamic_cast<TagLib::ID3v2::AttachedPictureFrame*>(f))
            pictures.push_back(p);
    return frontCover(
        pictures, [](auto* p) { return int(p->type()); },
        [](auto* p) { return bytesOf(p->picture()); },
        int(TagLib::ID3v2::AttachedPictureFrame::FrontCover));
}

QByteArray xiphCover(const TagLib::List<TagLib::FLAC::Picture*>& list)
{
    std::vector<TagLib::FLAC::Picture*> pictures(list.begin(), list.end());
    return frontCover(
        pictures, [](auto* p) { return int(p->type()); },
        [](auto* p) { return bytesOf(p->data()); }, int(TagLib::FLAC::Picture::FrontCover));
}

QByteArray coverOf(TagLib::File* file)
{
    if (auto* mpeg = dynamic_cast<TagLib::MPEG::File*>(file))
        return id3Cover(mpeg->ID3v2Tag());
    if (auto* wav = dynamic_cast<TagLib::RIFF::WAV::File*>(file))
        return id3Cover(wav->ID3v2Tag());
    if (auto* flac = dynamic_cast<TagLib::FLAC::File*>(file)) {
        QByteArray cover = xiphCover(flac->pictureList());
        if (cover.isEmpty() && flac->xiphComment())
            cover = xiphCover(flac->xiphComment()->pictureList());
        return cover;
    }
    if (auto* vorbis = dynamic_cast<TagLib::Ogg::Vorbis::File*>(file))
        return vorbis->tag() ? xiphCover(vorbis->tag()->pictureList()) : QByteArray();
    if (auto* opus = dynamic_cast<TagLib::Ogg::Opus::File*>(file))
        return opus->tag() ? xiphCover(opus->tag()->pictureList()) : QByteArray();
    if (auto* mp4 = dynamic_cast<TagLib::MP4::File*>(file)) {
        if (!mp4->tag() || !mp4->tag()->contains("covr"))
            return QByteArray();
        const TagLib::MP4::CoverArtList art = mp4->tag()->item("covr").toCoverArtList();
        return art.isEmpty() ? QByteArray() : bytesOf(art.front().data());
    }
    return QByteArray();
}

} // namespace

bool isAudioFile(const QString& path)
{
    static const QStringList suffixes
        = {QStringLiteral("flac"), QStringLiteral("ogg"), QStringLiteral("oga"),
           QStringLiteral("opus"), QStringLiteral("mp3"), QStringLiteral("m4a"),
           QStringLiteral("mp4"),  QStringLiteral("aac"), QStringLiteral("wav")};
    return suffixes.contains(QFileInfo(path).suffix().toLower());
}

QString repairShiftJis(const QString& text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    bool c1 = false;
    for (const QChar c : text) {
        if (c.unicode() > 0xFF)
            return text; // not read as Latin-1
        c1 = c1 || (c.unicode() >= 0x80 && c.unicode() <= 0x9F);
        bytes += char(c.unicode());
    }
    if (!c1)
        return text;
    UErrorCode status = U_ZERO_ERROR;
    UConverter* sjis = ucnv_open("Shift_JIS", &status);
    if (U_FAILURE(status))
        return text;
    ucnv_setToUCallBack(sjis, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
    QString decoded(bytes.size(), Qt::Uninitialized);
    const int32_t length
        = ucnv_toUChars(sjis, reinterpret_cast<UChar*>(decoded.data()), int32_t(decoded.size()),
                        bytes.constData(), int32_t(bytes.size()), &status);
    ucnv_close(sjis);
    if (U_FAILURE(status))
        return text; // not Shift_JIS throughout: left as read
    decoded.truncate(length);
    return decoded;
}

Track readTrack(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    TagLib::FileRef ref(name.constData(), true, TagLib::AudioProperties::Fast);
    // TagLib takes any file for an MP3 if it must: one without a sample rate holds no audio.
    if (ref.isNull() || !ref.file() || !ref.file()->isValid() || !ref.audioProperties()
        || ref.audioProperties()->sampleRate() <= 0)
        throw DbError(DbError::TypeMismatch,
                      QStringLiteral("「%1」は音楽ファイルとして読めません。")
                          .arg(QDir::toNativeSeparators(path)));
    Track track;
    track.path = path;
    // Only an MP3's (or a WAV's) ID3 frames can say Latin-1 and mean Shift_JIS.
    const bool id3 = dynamic_cast<TagLib::MPEG::File*>(ref.file())
        || dynamic_cast<TagLib::RIFF::WAV::File*>(ref.file());
    const TagLib::PropertyMap properties = ref.file()->properties();
    for (auto it = properties.begin(); it != properties.end(); ++it) {
        QString key = fromTagLib(it->first).toUpper();
        key = key.section(u':', 0, 0); // PERFORMER:VIOLIN stands under PERFORMER
        QStringList& values = track.tags[key];
        for (const TagLib::String& v : it->second) {
            const QString value = id3 ? repairShiftJis(fromTagLib(v)) : fromTagLib(v);
            if (!value.trimmed().isEmpty())
                values << value.trimmed();
        }
        if (values.isEmpty())
            track.tags.remove(key);
    }
    if (ref.audioProperties())
        track.seconds = ref.audioProperties()->lengthInSeconds();
    track.disc = leadingNumber(track.first("DISCNUMBER"));
    track.track = leadingNumber(track.first("TRACKNUMBER"));
    track.cover = coverOf(ref.file());
    return track;
}

} // namespace audio
