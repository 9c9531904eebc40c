#include "findtext.h"

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

} // namespace

QString normalizedForFind(QStringView text)
{
    const QString folded = text.toString().normalized(QString::NormalizationForm_KC).toCaseFolded();
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

QStringList findWords(QStringView typed)
{
    QStringList words;
    for (const QStringView part : typed.split(u' ', Qt::SkipEmptyParts)) {
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
