#include "background/closechoice.h"

namespace zjx {

CloseChoice chooseClose(bool trayAvailable, bool watchOn, bool hidingToldBefore) {
    // Without a tray a hidden window could not be brought back but by starting the program again,
    // and a hidden program with nothing to watch would only use memory.
    if (trayAvailable && watchOn)
        return {CloseAction::HideToTray, !hidingToldBefore};
    return {CloseAction::AskFarewell, false};
}

StartAction chooseStart(bool background, bool otherRunning, bool trayAvailable) {
    if (otherRunning)
        return background ? StartAction::LeaveOtherAlone : StartAction::RaiseOther;
    // Out of sight with no tray, the program could be neither seen nor ended by the user.
    return background && trayAvailable ? StartAction::StayInTray : StartAction::ShowWindow;
}

} // namespace zjx
