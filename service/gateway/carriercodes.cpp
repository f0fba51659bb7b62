#include "carriercodes.h"

namespace zjx::gateway {

const CarrierCodes* findCarrierCodes(const QString& code) {
    return findCourierRow(code);
}

int carrierCodesCount() {
    return int(courierRows().size());
}

const CarrierCodes& carrierCodesAt(int index) {
    return courierRowByCodeOrder(index);
}

} // namespace zjx::gateway
