#pragma once

#include <functional>

namespace zjx {

// Whether the desktop has a system tray now: a StatusNotifierItem host (KDE Plasma, GNOME with its
// extension, Xfce) or an XEmbed tray.
class TrayPresence {
public:
    static bool available();
    // A StatusNotifierItem host is registered on the session bus. Asked by the program itself: Qt
    // remembers its first answer on this for the whole run, so it is asked only once this says yes.
    static bool statusNotifierHostNow();

    using Handler = std::function<bool()>;
    static void setHandler(Handler handler); // tests: the tray as the test wants it; empty restores
};

} // namespace zjx
