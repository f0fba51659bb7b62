#pragma once

#include <QString>

namespace zjx {

// Removes leading and trailing spaces (U+0020) only: tabs, ideographic spaces and line breaks
// belong to the text.
QString trimSpaces(const QString& text);

} // namespace zjx
