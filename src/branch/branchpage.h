#pragma once

#include <QString>
#include <array>

namespace zjx {

// The six values of a branch query page, in row order: branch name, person in charge, full name,
// telephone, delivery range, range not delivered to.
using BranchFields = std::array<QString, 6>;

// Cuts the page at every "td" and takes the values from pieces 6, 10 ... 26, each without its cell's
// opening tag (19 characters, 20 for the last) and with every "</" removed. A missing piece gives
// an empty value.
BranchFields cutBranchPage(const QString& page);

} // namespace zjx
