#pragma once

#include "httpserver.h"
#include "trackingpages.h"

#include <QByteArray>

namespace zjx::service {

// The service's requests: "/" (tracking, or the overview without "com"), the version file and the
// branch pages. `desk` must outlive the server.
void addServiceRoutes(HttpServer& server, TrackingDesk& desk, const QByteArray& version);

} // namespace zjx::service
