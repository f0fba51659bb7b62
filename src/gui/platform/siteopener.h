#pragma once

#include <QString>

namespace zjx {

// Opening one of the maker's sites in the default browser; the program does not wait for it.
class SiteOpener {
public:
    static void open(const QString& address);
};

} // namespace zjx
