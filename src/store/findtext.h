#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QStringView>

// The one form in which quick find compares a typed text with the stored
// ones, so that the spellings a collector meets side by side find each other:
// Unicode NFKC (full- and half-width forms alike: ｼﾞｬｽﾞ is ジャズ), letter
// case folded, hiragana as katakana, spaces of every width and the middle
// dots ・ and ･ removed, and ヴァ ヴィ ヴ ヴェ ヴォ written バ ビ ブ ベ ボ. The
// long-vowel mark ー stays: ベートーベン and ベトベン are different words.
QString normalizedForFind(QStringView text);

// The words of a typed text (split at spaces of every width), each
// normalised; words that normalise to nothing are dropped.
QStringList findWords(QStringView typed);
