#pragma once

#include <QString>

namespace zjx::gateway {

// How each provider names one of the program's companies. An empty text (or 0) means the provider
// has no counterpart, so the company is answered with the unsupported-company page.
struct CarrierCodes {
    const char* code;      // the program's service code
    const char* kuaidi100; // kuaidi100's "com"
    int track17;           // 17TRACK's numeric carrier; -1 lets 17TRACK detect the carrier itself
    const char* kdniao;    // kdniao's "ShipperCode"
};

// nullptr for a code the program does not know.
const CarrierCodes* findCarrierCodes(const QString& code);
int carrierCodesCount();
const CarrierCodes& carrierCodesAt(int index);

} // namespace zjx::gateway
