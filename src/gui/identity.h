#pragma once

#include <QString>

namespace zjx {

// The program's name towards the desktop: the data folder's names, the desktop file that gives
// the task bar its name and icon, and the name assistive technology announces. Qt also offers an
// application display name, but on X11 it appends that name to every window title
// ("... — 踪迹匣"), and the windows' titles are the program's own; the display name is therefore
// left unset and the accessible name is given directly instead.
void applyProgramIdentity();

QString programName(); // "踪迹匣"

} // namespace zjx
