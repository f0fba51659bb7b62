#pragma once

#include "core/couriertable.h"

#include <QString>

namespace zjx::gateway {

// How each provider names one of the program's companies: its row of the courier table. An empty
// text means the provider has no counterpart, so the company is answered with the
// unsupported-company page.
using CarrierCodes = CourierRow;

// nullptr for a code the program does not know.
const CarrierCodes* findCarrierCodes(const QString& code);
int carrierCodesCount();
// The rows in the order of their codes.
const CarrierCodes& carrierCodesAt(int index);

} // namespace zjx::gateway
