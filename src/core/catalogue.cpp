#include "core/catalogue.h"

#include "core/couriertable.h"
#include "zjxversion.h"

namespace zjx {

// The courier table holds as many rows (its own check) as CMake counted in it.
static_assert(version::courierCount == CourierCatalogue::count, "one catalogue entry per courier row");

QString CourierCatalogue::displayName(int index) {
    if (index < 0 || index >= count)
        return {};
    return QString::fromUtf8(courierRows()[index].name);
}

QString CourierCatalogue::serviceCode(int index) {
    if (index < 0 || index >= count)
        return {};
    return QString::fromLatin1(courierRows()[index].code);
}

int CourierCatalogue::indexOfName(const QString& name) {
    static const QStringList names = displayNames();
    return int(names.indexOf(name));
}

int CourierCatalogue::indexOfCode(const QString& code) {
    return courierIndexOfCode(code);
}

QStringList CourierCatalogue::displayNames() {
    QStringList names;
    names.reserve(count);
    for (const CourierRow& row : courierRows())
        names << QString::fromUtf8(row.name);
    return names;
}

} // namespace zjx
