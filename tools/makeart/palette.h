#pragma once

#include <QColor>

// The program's purple and the shades drawn around it.
namespace art {
inline const QColor purple(166, 0, 169);
inline const QColor border(104, 0, 106);     // one-pixel outline of the window
inline const QColor highlight(200, 84, 202); // the row under the outline, a touch of light
inline const QColor bandTop(186, 44, 189);   // where the title gradient starts
inline const QColor bandLine(128, 0, 131);   // closes the title band
inline const QColor lavender(239, 222, 240);
inline const QColor closeRed(224, 36, 48);
inline const QColor closeRedDark(168, 20, 32);
} // namespace art
