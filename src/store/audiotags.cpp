#include "audiotags.h"

#include "dberror.h"
#include "regularfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <taglib/attachedpictureframe.h>
#include <taglib/commentsframe.h>
#include <taglib/fileref.h>
#include <taglib/flacfile.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>
#include <taglib/opusfile.h>
#include <taglib/textidentificationframe.h>
#include <taglib/tfilestream.h>
#include <taglib/tpropertymap.h>
#include <taglib/vorbisfile.h>
#include <taglib/wavfile.h>
#include <taglib/xiphcomment.h>

#include <unicode/ucnv.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

QString native(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

// DISCNUMBER or TRACKNUMBER ("3", "03", "3/12"): its leading number, 0 when
// the tag is absent. A text that begins with no number, or with one larger
// than any set of discs or tracks, is taken as no number, and said.
int numberTag(Track& track, const char* name)
{
    const QString text = track.first(name).trimmed();
    if (text.isEmpty())
        return 0;
    int n = 0;
    bool digits = false;
    for (const QChar c : text) {
        if (!c.isDigit())
            break;
        digits = true;
        n = n * 10 + c.digitValue(); // at most numberLimit * 10 + 9: no overflow
        if (n > numberLimit)
            break;
    }
    if (digits && n <= numberLimit)
        return n;
    track.warnings
        << QStringLiteral(
               "「%1」のタグ「%2」の「%3」は番号として読めません（番号なしとしました）。")
               .arg(native(track.path), QLatin1String(name), text);
    return 0;
}

// The front cover among a file's pictures, else the first of them; a
// picture over the limit is passed by, as a picture file beside would be.
template <typename Picture, typename GetType, typename GetData>
QByteArray frontCover(const std::vector<Picture>& pictures, GetType type, GetData data,
                      int frontType, bool* tooLarge)
{
    std::vector<Picture> fitting;
    for (const Picture& p : pictures) {
        if (qint64(data(p).size()) > regularfile::pictureLimit)
            *tooLarge = true;
        else
            fitting.push_back(p);
    }
    for (const Picture& p : fitting)
        if (type(p) == frontType)
            return bytesOf(data(p));
    return fitting.empty() ? QByteArray() : bytesOf(data(fitting.front()));
}

QByteArray id3Cover(TagLib::ID3v2::Tag* tag, bool* tooLarge)
{
    if (!tag)
        return QByteArray();
    std::vector<TagLib::ID3v2::AttachedPictureFrame*> pictures;
    for (TagLib::ID3v2::Frame* f : tag->frameListMap()["APIC"])
        if (auto* p = dynamic_cast<TagLib::ID3v2::AttachedPictureFrame*>(f))
            pictures.push_back(p);
    return frontCover(
        pictures, [](auto* p) { return int(p->type()); }, [](auto* p) { return p->picture(); },
        int(TagLib::ID3v2::AttachedPictureFrame::FrontCover), tooLarge);
}

QByteArray xiphCover(const TagLib::List<TagLib::FLAC::Picture*>& list, bool* tooLarge)
{
    std::vector<TagLib::FLAC::Picture*> pictures(list.begin(), list.end());
    return frontCover(
        pictures, [](auto* p) { return int(p->type()); }, [](auto* p) { return p->data(); },
        int(TagLib::FLAC::Picture::FrontCover), tooLarge);
}

QByteArray coverOf(TagLib::File* file, bool* tooLarge)
{
    if (auto* mpeg = dynamic_cast<TagLib::MPEG::File*>(file))
        return id3Cover(mpeg->ID3v2Tag(), tooLarge);
    if (auto* wav = dynamic_cast<TagLib::RIFF::WAV::File*>(file))
        return id3Cover(wav->ID3v2Tag(), tooLarge);
    if (auto* flac = dynamic_cast<TagLib::FLAC::File*>(file)) {
        QByteArray cover = xiphCover(flac->pictureList(), tooLarge);
        if (cover.isEmpty() && flac->xiphComment())
            cover = xiphCover(flac->xiphComment()->pictureList(), tooLarge);
        return cover;
    }
    if (auto* vorbis = dynamic_cast<TagLib::Ogg::Vorbis::File*>(file))
        return vorbis->tag() ? xiphCover(vorbis->tag()->pictureList(), tooLarge) : QByteArray();
    if (auto* opus = dynamic_cast<TagLib::Ogg::Opus::File*>(file))
        return opus->tag() ? xiphCover(opus->tag()->pictureList(), tooLarge) : QByteArray();
    if (auto* mp4 = dynamic_cast<TagLib::MP4::File*>(file)) {
        if (!mp4->tag() || !mp4->tag()->contains("covr"))
            return QByteArray();
        const TagLib::MP4::CoverArtList art = mp4->tag()->item("covr").toCoverArtList();
        std::vector<TagLib::MP4::CoverArt> covers(art.begin(), art.end());
        // MP4 covers say no kind: the first that fits
        return frontCover(
            covers, [](const auto&) { return 0; }, [](const auto& c) { return c.data(); }, 0,
            tooLarge);
    }
    return QByteArray();
}

// TagLib's key for an ID3v2 frame (TIT2 is TITLE), which it keeps for frames.
struct Id3Key : TagLib::ID3v2::Frame {
    static QString of(const TagLib::ByteVector& id) { return fromTagLib(frameIDToKey(id)); }
};

// The tags of an ID3v2 tag's text frames whose encoding byte is none of the
// four ID3v2 has: TagLib would read their bytes as some UTF-16, into mojibake.
// Each as its key in the property map, and as the file names it.
QList<std::pair<QString, QString>> badlyEncodedId3(TagLib::ID3v2::Tag* tag)
{
    QList<std::pair<QString, QString>> keys;
    if (!tag)
        return keys;
    for (TagLib::ID3v2::Frame* f : tag->frameList()) {
        int encoding = -1;
        QString key;
        if (auto* user = dynamic_cast<TagLib::ID3v2::UserTextIdentificationFrame*>(f)) {
            encoding = int(user->textEncoding());
            key = fromTagLib(user->description()).toUpper();
        } else if (auto* text = dynamic_cast<TagLib::ID3v2::TextIdentificationFrame*>(f)) {
            encoding = int(text->textEncoding());
            key = Id3Key::of(f->frameID());
        } else if (auto* comment = dynamic_cast<TagLib::ID3v2::CommentsFrame*>(f)) {
            encoding = int(comment->textEncoding());
            key = QStringLiteral("COMMENT");
        }
        if (encoding < 0 || encoding <= int(TagLib::String::UTF8))
            continue;
        const QString id = QString::fromLatin1(bytesOf(f->frameID()));
        keys.append({key, key.isEmpty() || id == u"TXXX" ? id : key});
    }
    return keys;
}

// A Xiph comment's fields as stored: each key in upper case and its value's
// bytes. The block is walked within its own length, whatever its counts say.
using RawFields = QList<std::pair<QString, QByteArray>>;
RawFields xiphFields(const TagLib::ByteVector& block)
{
    RawFields fields;
    const uint size = block.size();
    if (size < 4)
        return fields;
    uint pos = 4 + block.toUInt(0, false); // past the vendor's name
    if (pos < 4 || pos > size || size - pos < 4)
        return fields;
    const uint count = block.toUInt(pos, false);
    pos += 4;
    for (uint i = 0; i < count && size - pos >= 4; ++i) {
        const uint length = block.toUInt(pos, false);
        pos += 4;
        if (length > size - pos)
            break;
        const QByteArray field(block.data() + pos, qsizetype(length));
        pos += length;
        const qsizetype equals = field.indexOf('=');
        if (equals >= 1)
            fields.append(
                {QString::fromLatin1(field.left(equals)).toUpper(), field.mid(equals + 1)});
    }
    return fields;
}

// A FLAC file's Vorbis comment block as stored, after an ID3v2 tag if one
// comes first; empty when there is none.
TagLib::ByteVector flacCommentBlock(TagLib::File* file)
{
    file->seek(0);
    const TagLib::ByteVector id3 = file->readBlock(10);
    long at = 0;
    if (id3.size() == 10 && id3.startsWith("ID3"))
        at = 10
            + long((uint(id3[6]) & 0x7f) << 21 | (uint(id3[7]) & 0x7f) << 14
                   | (uint(id3[8]) & 0x7f) << 7 | (uint(id3[9]) & 0x7f))
            + ((id3[5] & 0x10) ? 10 : 0);
    file->seek(at);
    if (file->readBlock(4) != TagLib::ByteVector("fLaC", 4))
        return {};
    for (;;) {
        const TagLib::ByteVector header = file->readBlock(4);
        if (header.size() < 4)
            return {};
        const uint length = header.toUInt(1, 3, true);
        if ((header[0] & 0x7f) == 4)
            return file->readBlock(length);
        if (header[0] & 0x80) // the last block
            return {};
        file->seek(long(length), TagLib::File::Current);
    }
}

// A FLAC, Ogg Vorbis or Opus file's comment fields as stored, which TagLib
// reads otherwise where they are unsound: a text that is no UTF-8 as empty,
// one with a NUL only up to it.
RawFields storedXiphFields(TagLib::File* file)
{
    TagLib::ByteVector block;
    if (dynamic_cast<TagLib::FLAC::File*>(file)) {
        block = flacCommentBlock(file);
    } else if (auto* vorbis = dynamic_cast<TagLib::Ogg::Vorbis::File*>(file)) {
        const TagLib::ByteVector packet = vorbis->packet(1);
        if (packet.startsWith(TagLib::ByteVector("\x03vorbis", 7)))
            block = packet.mid(7);
    } else if (auto* opus = dynamic_cast<TagLib::Ogg::Opus::File*>(file)) {
        const TagLib::ByteVector packet = opus->packet(1);
        if (packet.startsWith("OpusTags"))
            block = packet.mid(8);
    }
    return xiphFields(block);
}

// The tags whose stored text is no UTF-8, each as its key and as said; the
// values of a tag holding a NUL taken as stored, parted at it.
QList<std::pair<QString, QString>> repairXiph(TagLib::File* file, Track& track)
{
    QList<std::pair<QString, QString>> bad;
    QMap<QString, QStringList> parted;
    const RawFields fields = storedXiphFields(file);
    for (const auto& [key, value] : fields) {
        QStringDecoder utf8(QStringDecoder::Utf8);
        const QString text = utf8(value);
        if (utf8.hasError())
            bad.append({key, key});
        else if (value.contains('\0'))
            parted.insert(key, {});
    }
    for (const auto& [key, value] : fields) {
        if (!parted.contains(key))
            continue;
        for (const QString& part : QString::fromUtf8(value).split(QChar(0)))
            if (!part.trimmed().isEmpty())
                parted[key] << part.trimmed();
    }
    for (auto it = parted.begin(); it != parted.end(); ++it)
        track.tags[it.key()] = it.value();
    return bad;
}

// Whether an MP3's first frame begins within its first megabyte past its
// ID3v2 tag. TagLib looks for it through the whole file, at a few megabytes a
// second: a large file that is no MP3 would hold the import for minutes.
bool mpegFrameNearStart(int fd)
{
    constexpr int window = 1024 * 1024;
    unsigned char head[10];
    off_t at = 0;
    if (::pread(fd, head, sizeof head, 0) == ssize_t(sizeof head) && head[0] == 'I'
        && head[1] == 'D' && head[2] == '3')
        at = 10
            + ((head[6] & 0x7f) << 21 | (head[7] & 0x7f) << 14 | (head[8] & 0x7f) << 7
               | (head[9] & 0x7f))
            + ((head[5] & 0x10) ? 10 : 0);
    QByteArray bytes(window + 1, Qt::Uninitialized);
    const ssize_t got = ::pread(fd, bytes.data(), bytes.size(), at);
    for (qsizetype i = 0; i + 1 < qsizetype(got); ++i)
        if (uchar(bytes[i]) == 0xFF && (uchar(bytes[i + 1]) & 0xE0) == 0xE0)
            return true;
    return false;
}

// TagLib's stream of a file opened here, under the name it was opened by:
// TagLib tells the kind of file by the name's ending.
class OpenedStream : public TagLib::FileStream {
public:
    OpenedStream(int fd, const QByteArray& name) : FileStream(fd, true), m_name(name) { }
    TagLib::FileName name() const override { return m_name.constData(); }

private:
    QByteArray m_name;
};

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
    const auto refuse = [&path](const QString& why) {
        return DbError(DbError::TypeMismatch,
                       QStringLiteral("「%1」は読めません：%2。").arg(native(path), why));
    };
    // Only an ordinary file goes to TagLib: a FIFO would block it, a device
    // would be read without end. What is opened is checked itself, so a file
    // swapped after the first look is no way round it.
    if (const QString why = regularfile::refusal(path, trackLimit); !why.isEmpty())
        throw refuse(why);
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        throw refuse(regularfile::cause(errno));
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || qint64(st.st_size) > trackLimit) {
        ::close(fd);
        throw refuse(QStringLiteral("通常のファイルではありません"));
    }
    const QString suffix = QFileInfo(path).suffix().toLower();
    if ((suffix == u"mp3" || suffix == u"aac") && !mpegFrameNearStart(fd)) {
        ::close(fd);
        throw DbError(DbError::TypeMismatch,
                      QStringLiteral("「%1」は音楽ファイルとして読めません。").arg(native(path)));
    }
    OpenedStream stream(fd, name); // closes the file from here on
    if (!stream.isOpen()) {
        ::close(fd);
        throw refuse(regularfile::cause(ENOMEM));
    }
    TagLib::FileRef ref(&stream, true, TagLib::AudioProperties::Fast);
    // TagLib takes any file for an MP3 if it must: one without a sample rate holds no audio.
    if (ref.isNull() || !ref.file() || !ref.file()->isValid() || !ref.audioProperties()
        || ref.audioProperties()->sampleRate() <= 0)
        throw DbError(DbError::TypeMismatch,
                      QStringLiteral("「%1」は音楽ファイルとして読めません。").arg(native(path)));
    Track track;
    track.path = path;
    // Only an MP3's (or a WAV's) ID3 frames can say Latin-1 and mean Shift_JIS.
    auto* mpeg = dynamic_cast<TagLib::MPEG::File*>(ref.file());
    auto* wav = dynamic_cast<TagLib::RIFF::WAV::File*>(ref.file());
    const bool id3 = mpeg || wav;
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
    const QList<std::pair<QString, QString>> badlyEncoded = id3
        ? badlyEncodedId3(mpeg ? mpeg->ID3v2Tag() : wav->ID3v2Tag())
        : repairXiph(ref.file(), track);
    QStringList said;
    for (const auto& [key, shown] : badlyEncoded) {
        track.tags.remove(key);
        if (said.contains(shown))
            continue;
        said << shown;
        track.warnings
            << QStringLiteral(
                   "「%1」のタグ「%2」は文字コードが正しくありません（読み飛ばしました）。")
                   .arg(native(path), key);
    }
    if (ref.audioProperties())
        track.seconds = ref.audioProperties()->lengthInSeconds();
    track.disc = numberTag(track, "DISCNUMBER");
    track.track = numberTag(track, "TRACKNUMBER");
    bool tooLarge = false;
    track.cover = coverOf(ref.file(), &tooLarge);
    if (tooLarge)
        track.warnings
            << QStringLiteral(
                   "「%1」に埋め込まれた写真は大きすぎるため使いません（上限は %2 MB）。")
                   .arg(native(path))
                   .arg(regularfile::pictureLimit / (1024 * 1024));
    return track;
}

} // namespace audio
