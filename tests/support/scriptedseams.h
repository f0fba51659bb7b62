#pragma once

#include "gui/platform/messagebox.h"

#include <QHash>

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

namespace zjx {
class AlertPlayer;
}

namespace zjx::test {

// Message boxes that are never shown: each takes the next scripted answer; what would have been
// shown is recorded. A box nobody expected fails the running test: a question with no scripted
// answer at once, a notice (answered Ok) when the test ends without having looked at what was
// shown (shown(), shownTexts()).
class ScriptedBoxes {
public:
    struct Shown {
        QString text;
        MessageBox::Icon icon;
        MessageBox::Buttons buttons;
        MessageBox::Answer answer;
        MessageBox::Answer defaultAnswer;
    };

    static void install(); // replaces the real boxes until uninstall()
    static void uninstall();

    static void setNextAnswer(MessageBox::Answer answer);
    static QList<Shown> shown();
    static QStringList shownTexts();
    static void clearShown(); // also drops answers not taken
    // Fails the running test for notices it never looked at; the window fixture calls it at its end.
    static void verifyAllSeen();
    // Runs `action` once while the next box is open, as a timer tick would.
    static void setWhileShown(std::function<void()> action);
};

// The save dialog, never shown: it returns the scripted name once (an empty name means
// cancelled) and counts how often it was asked for. A dialog with no name scripted fails the
// running test (and is cancelled).
class ScriptedSaveDialog {
public:
    static void install();
    static void uninstall();

    static void setNextFileName(const QString& name);
    static void clearNextFileName();
    static int timesShown();
    static QString lastSuggestedPath();
};

// Alert players that wake no media framework: each start is recorded per player.
class ScriptedAlerts {
public:
    static void install();
    static int timesStarted(const AlertPlayer* player);
    static QString lastSource(const AlertPlayer* player);
};

// Desktop notifications that never reach the desktop of whoever runs the tests: each is recorded
// ("summary: body"). A notice the test never took (takeShown()) fails it when the window fixture
// ends, as an unseen message box does.
class QuietDesktop {
public:
    static void install();
    static void uninstall(); // notifications go to the (test's own) session bus again
    static QStringList takeShown(); // the notices shown since the last take; they count as seen
    static void verifyAllSeen();
};

} // namespace zjx::test
