#pragma once

namespace zjx {

// What screen readers are told beyond Qt's own defaults, for the whole program:
// - the program's own top-level windows (the main window with its drawn frame, the overview) are
//   windows, not fillers;
// - the floating panels are panels, not frames (a frame is a window to a screen reader);
// - every chooser is named by its caption and gives its current choice as its value and text,
//   where Qt on Linux would name it by the choice and lose the caption.
// Installing it more than once changes nothing.
void installAccessibility();

} // namespace zjx
