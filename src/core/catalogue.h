#pragma once

#include <QString>
#include <QStringList>

namespace zjx {

// The fixed list of courier companies, read from the courier table. An entry's index is its
// position in both company selectors, and the service code is always looked up by that position,
// never derived from the name.
class CourierCatalogue {
public:
    // The original entries (0..126) are sorted by code; the couriers added later follow them, so
    // every index a book or a habit knows stays where it was.
    static constexpr int firstAddedIndex = 127;
    static constexpr int count = 143;

    static QString displayName(int index);       // empty for an index outside 0..count-1
    static QString serviceCode(int index);       // empty for an index outside 0..count-1
    static int indexOfName(const QString& name); // exact, case-sensitive; -1 when absent
    static int indexOfCode(const QString& code);
    static QStringList displayNames(); // in index order
};

} // namespace zjx
