#pragma once

#include "httpserver.h"
#include "trackingpages.h"

#include <QByteArray>
#include <QString>

#include <functional>

namespace zjx::service {

// Answers one tracking request ("com", "nu", "id" as received), now or later, through `out`.
using TrackingHandler =
    std::function<void(const QString& code, const QString& number, const QString& key, const HttpResponder& out)>;

// The service's requests: "/" (tracking, or the overview without "com"), the version file and the
// branch pages.
void addServiceRoutes(HttpServer& server, TrackingHandler tracking, const QByteArray& version);
// The same with the made-up parcels of `desk`, which must outlive the server.
void addServiceRoutes(HttpServer& server, TrackingDesk& desk, const QByteArray& version);

} // namespace zjx::service
