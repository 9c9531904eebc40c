#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QStringView>

// The one form in which quick find compares a typed text with the stored
// ones, so that the spellings a collector meets side by side find each other:
// Unicode NFKC (full- and half-width forms alike: ｼﾞｬｽﾞ is ジャズ), letter
// case folded, hiragana as katakana, spaces of every width and the middle
// dots ・ and ･ removed, ヴァ ヴィ ヴ ヴェ ヴォ written バ ビ ブ ベ ボ, and Latin
// letters without their accents (Dvořák as dvorak). The long-vowel mark ー
// stays: ベートーベン and ベトベン are different words.
QString normalizedForFind(QStringView text);

// A stored text as quick find looks through it: normalizedForFind's, then
// each catalogue number it carries once more in one spelling, with the work's
// number alone after a sub-number (Op.18-4 also as Op.18). A typed catalogue
// number is that spelling too, so that K.550, KV 550 and k550 find each other
// and K.55 never finds K.550.
QString findableText(QStringView text);

// The words of a typed text (split at spaces of every width), each
// normalised; words that normalise to nothing are dropped. A catalogue
// number standing alone is one word, however it is spaced (K. 550).
QStringList findWords(QStringView typed);
