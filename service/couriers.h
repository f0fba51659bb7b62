#pragma once

#include <QString>

namespace zjx::service {

struct Courier {
    const char* code;
    const char* name; // UTF-8
};

// The companies the service answers for, in the order of their codes; nullptr for an unknown code.
const Courier* findCourier(const QString& code);
int courierCount();

} // namespace zjx::service
