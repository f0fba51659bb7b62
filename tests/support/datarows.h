#pragma once

#include <QTest>

#include <cstddef>
#include <tuple>

namespace zjx::test {

// A data-driven test whose rows are tuples, the row's name first: one column "row", fetched with
// QFETCH(RowType, row) and unpacked into named values, and each row written out on a line of its own.
template <typename Row, std::size_t N>
void addRows(const Row (&rows)[N]) {
    QTest::addColumn<Row>("row");
    for (const Row& row : rows)
        QTest::newRow(std::get<0>(row)) << row;
}

} // namespace zjx::test
