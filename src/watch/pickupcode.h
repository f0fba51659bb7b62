#pragma once

#include <QString>

namespace zjx {

// The code that opens a locker or a collection point's shelf, as a latest event gives it:
// "取件码 3-2-1045", "凭取件码123456", "取件码为:A12", "提货码【8-3-2001】", "请凭 3-2-1045 取件".
// Empty when the event holds none. The code always has a digit; letters and hyphens are kept.
QString findPickupCode(const QString& progress);

} // namespace zjx
