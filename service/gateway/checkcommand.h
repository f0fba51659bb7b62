#pragma once

#include "gatewayconfig.h"

#include <QString>

#include <cstdio>

namespace zjx::gateway {

// zjx-service --check NUMBER COMPANY: asks the configured back-end once (no cache) and prints what
// the program would show, or exactly why it cannot. COMPANY is a service code or a display name.
// Runs the event loop of the QCoreApplication that must exist. Returns 0 when the provider gave a
// parcel answer of any kind, 1 when it could not answer (no key, bad key, quota, network ...),
// 2 for an unknown company.
int runCheck(const GatewayConfig& config, const QString& number, const QString& company, int demoIntervalMinutes,
             std::FILE* out);

} // namespace zjx::gateway
