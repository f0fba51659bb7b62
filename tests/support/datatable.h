#pragma once

// A data-driven test's table, declared in one call rather than one QTest::addColumn a column.

#include <QTest>

namespace zjx::test {

// Declares the columns of the current test's data table in order, a name for every type:
//     addColumns<QString, int, QString>("in", "width", "out");
template <class... Types, class... Names> void addColumns(const Names&... names) {
    static_assert(sizeof...(Types) == sizeof...(Names), "one name for every column type");
    (QTest::addColumn<Types>(names), ...);
}

// One row of the current test's table in one call: its name, then a value for every column in order (a
// string literal fills a QString column, as with QTest::newRow(name) << ...):
//     dataRow("two digits", QStringLiteral("12"), 8, "12      ");
template <class... Values> void dataRow(const char* name, const Values&... values) {
    (QTest::newRow(name) << ... << values);
}

// A table of one bool column and two rows, tagged by what the value means: false's row, then true's.
inline void addBoolRows(const char* name, const char* whenFalse, const char* whenTrue) {
    QTest::addColumn<bool>(name);
    QTest::newRow(whenFalse) << false;
    QTest::newRow(whenTrue) << true;
}

} // namespace zjx::test
