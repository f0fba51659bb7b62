#include "couriers.h"

namespace zjx::service {

const Courier* findCourier(const QString& code) {
    return findCourierRow(code);
}

int courierCount() {
    return int(courierRows().size());
}

} // namespace zjx::service
