#pragma once

#include <QByteArray>

#include <string>
#include <utility>
#include <vector>

namespace zjx::service {

// An answer as the server writes it: status, body, Content-Type and any further headers.
struct Reply {
    int status = 200;
    QByteArray body;
    std::string contentType;
    std::vector<std::pair<std::string, std::string>> headers{}; // extra response headers, written as given
};

} // namespace zjx::service
