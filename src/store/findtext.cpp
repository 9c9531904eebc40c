#include "findtext.h"

#include "works.h"

namespace {

bool removed(char16_t c)
{
    // NFKC has already made the half-width middle dot ･ the full-width ・.
    return c == u'・' || c < 0x20 || QChar::isSpace(c);
}

// The katakana a hiragana is written as; other characters as they are.
char16_t asKatakana(char16_t c)
{
    if ((c >= u'ぁ' && c <= u'ゖ') || c == u'ゝ' || c == u'ゞ')
        return char16_t(c + (u'ア' - u'あ'));
    return c;
}

// The バ-row syllable for ヴ followed by a small vowel, or 0.
char16_t voicedB(char16_t smallVowel)
{
    switch (smallVowel) {
    case u'ァ':
        return u'バ';
    case u'ィ':
        return u'ビ';
    case u'ゥ':
        return u'ブ';
    case u'ェ':
        return u'ベ';
    case u'ォ':
        return u'ボ';
    default:
        return 0;
    }
}

// Latin letters with accents, as NFKC leaves them.
bool accented(QStringView text)
{
    for (QChar c : text)
        if ((c >= u'\u00C0' && c <= u'\u024F') || (c >= u'\u1E00' && c <= u'\u1EFF'))
            return true;
    return false;
}

QString withoutAccents(const QString& text)
{
    const QString split = text.normalized(QString::NormalizationForm_D);
    QString out;
    out.reserve(split.size());
    for (QChar c : split)
        if (c < u'\u0300' || c > u'\u036F')
            out += c;
    return out.normalized(QString::NormalizationForm_C);
}

QString tokenOf(const works::CatalogueNumber& number, qsizetype count)
{
    QString token = QChar(u'\uE000') + number.kind.toCaseFolded();
    for (qsizetype i = 0; i < count; ++i)
        token += (i > 0 ? QStringLiteral(".") : QString()) + QString::number(number.numbers[i]);
    return token + QChar(u'\uE001');
}

bool hasDigit(QStringView text)
{
    for (QChar c : text)
        if (c.isDigit())
            return true;
    return false;
}

} // namespace

QString normalizedForFind(QStringView text)
{
    QString folded = text.toString().normalized(QString::NormalizationForm_KC).toCaseFolded();
    if (accented(folded))
        folded = withoutAccents(folded);
    QString out;
    out.reserve(folded.size());
    for (qsizetype i = 0; i < folded.size(); ++i) {
        const char16_t c = asKatakana(folded.at(i).unicode());
        if (removed(c))
            continue;
        if (c == u'ヴ') {
            // A space or a dot between ヴ and its vowel is no part of the word.
            qsizetype next = i + 1;
            while (next < folded.size() && removed(folded.at(next).unicode()))
                ++next;
            const char16_t b
                = next < folded.size() ? voicedB(asKatakana(folded.at(next).unicode())) : 0;
            out += QChar(b ? b : u'ブ');
            if (b)
                i = next;
            continue;
        }
        out += QChar(c);
    }
    return out;
}

QString findableText(QStringView text)
{
    QString out = normalizedForFind(text);
    if (!hasDigit(text))
        return out;
    for (const works::Found& f : works::catalogueNumbers(text)) {
        out += tokenOf(f.number, f.number.numbers.size());
        if (f.number.kind == u"Op" && f.number.numbers.size() > 1)
            out += tokenOf(f.number, 1);
    }
    return out;
}

QStringList findWords(QStringView typedText)
{
    QString typed = typedText.toString().normalized(QString::NormalizationForm_KC);
    if (hasDigit(typed)) {
        const QVector<works::Found> numbers = works::catalogueNumbers(typed);
        for (qsizetype k = numbers.size() - 1; k >= 0; --k) {
            const works::Found& f = numbers[k];
            const bool alone = (f.from == 0 || typed.at(f.from - 1).isSpace())
                && (f.to == typed.size() || typed.at(f.to).isSpace());
            if (alone)
                typed.replace(f.from, f.to - f.from, tokenOf(f.number, f.number.numbers.size()));
        }
    }
    QStringList words;
    for (const QStringView part : QStringView(typed).split(u' ', Qt::SkipEmptyParts)) {
        // every kind of space splits, not only the ASCII one
        QString piece;
        for (const QChar c : part) {
            if (c.isSpace()) {
                if (!piece.isEmpty())
                    words << normalizedForFind(piece);
                piece.clear();
            } else {
                piece += c;
            }
        }
        if (!piece.isEmpty())
            words << normalizedForFind(piece);
    }
    words.removeAll(QString());
    return words;
}
