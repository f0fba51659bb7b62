#pragma once

#include "core/couriertable.h"

#include <QString>

namespace zjx::service {

// A company the service answers for: its row of the courier table (code, and name in UTF-8).
using Courier = CourierRow;

// nullptr for an unknown code.
const Courier* findCourier(const QString& code);
int courierCount();

} // namespace zjx::service
