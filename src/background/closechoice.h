#pragma once

namespace zjx {

// What closing the main window does. While the watch is on and the desktop has a tray, the window
// only goes out of sight and the watch goes on behind the tray icon; otherwise the farewell question
// decides, as it always has. (退出 in the tray's menu ends the program without asking.)
enum class CloseAction { HideToTray, AskFarewell };

struct CloseChoice {
    CloseAction action = CloseAction::AskFarewell;
    bool tellHidden = false; // the first hiding says once where the program went
    friend bool operator==(const CloseChoice&, const CloseChoice&) = default;
};

CloseChoice chooseClose(bool trayAvailable, bool watchOn, bool hidingToldBefore);

// What a start of the program does, with `--background` or without, whether or not another program
// already holds the book, and whether the desktop has a tray.
enum class StartAction {
    ShowWindow,      // the window, as always
    StayInTray,      // no window: the watch runs behind the tray icon
    LeaveOtherAlone, // `--background` while one runs: nothing to do but say so
    RaiseOther,      // the running program shows its window
};

StartAction chooseStart(bool background, bool otherRunning, bool trayAvailable);

} // namespace zjx
