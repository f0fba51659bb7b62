#pragma once

#include <QString>

namespace zjx {

// Removes leading and trailing spaces (U+0020) only: tabs, ideographic spaces and line breaks
// belong to the text.
QString trimSpaces(const QString& text);

// What a label, a message box or a balloon shows of a text that may be huge (a page value, a
// progress cell, a version file): laying out megabytes freezes the window and yields a box taller
// than the screen. The text is cut after `maxChars` characters or `maxLines` lines, whichever comes
// first, and the cut is marked with "..."; the full text stays where it is kept.
inline constexpr qsizetype readableChars = 2000;
inline constexpr qsizetype readableLines = 30;
QString readableText(const QString& text, qsizetype maxChars = readableChars, qsizetype maxLines = readableLines);

} // namespace zjx
