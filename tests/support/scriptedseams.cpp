#include "support/scriptedseams.h"

#include "gui/platform/alertplayer.h"
#include "gui/platform/desktopnotifier.h"
#include "gui/platform/filedialog.h"

#include <QQueue>
#include <optional>
#include <utility>

namespace zjx::test {
namespace {

struct Boxes {
    QQueue<MessageBox::Answer> answers;
    QList<ScriptedBoxes::Shown> shown;
    std::function<void()> whileShown;
};

Boxes& boxes() {
    static Boxes b;
    return b;
}

MessageBox::Answer defaultAnswer(MessageBox::Buttons buttons) {
    switch (buttons) {
    case MessageBox::Buttons::Ok:
        return MessageBox::Answer::Ok;
    case MessageBox::Buttons::YesNo:
        return MessageBox::Answer::Yes;
    case MessageBox::Buttons::YesNoCancel:
        return MessageBox::Answer::Cancel;
    }
    return MessageBox::Answer::Ok;
}

struct SaveDialog {
    std::optional<QString> nextName;
    int shownCount = 0;
    QString lastSuggested;
};

SaveDialog& saveDialog() {
    static SaveDialog d;
    return d;
}

struct Alerts {
    int times = 0;
    QString last;
};

QHash<const AlertPlayer*, Alerts>& alerts() {
    static QHash<const AlertPlayer*, Alerts> a;
    return a;
}

} // namespace

void ScriptedAlerts::install() {
    alerts().clear();
    AlertPlayer::setHandler([](const AlertPlayer& player, const QString& path) {
        // A later player may be built where a destroyed one was: its record goes with it.
        if (!alerts().contains(&player))
            QObject::connect(const_cast<AlertPlayer*>(&player), &QObject::destroyed,
                             [key = &player] { alerts().remove(key); });
        Alerts& a = alerts()[&player];
        ++a.times;
        a.last = path;
    });
}

int ScriptedAlerts::timesStarted(const AlertPlayer* player) {
    return alerts().value(player).times;
}

QString ScriptedAlerts::lastSource(const AlertPlayer* player) {
    return alerts().value(player).last;
}

void QuietDesktop::install() {
    DesktopNotifier::setHandler([](const QString&, const QString&, const QString&) {});
}

void QuietDesktop::uninstall() {
    DesktopNotifier::setHandler({});
}

void ScriptedBoxes::install() {
    MessageBox::setHandler([](const MessageBox::Request& request) {
        Boxes& b = boxes();
        if (b.whileShown)
            std::exchange(b.whileShown, {})();
        const MessageBox::Answer answer = b.answers.isEmpty() ? defaultAnswer(request.buttons) : b.answers.dequeue();
        b.shown.append({request.text, request.icon, request.buttons, answer});
        return answer;
    });
}

void ScriptedBoxes::uninstall() {
    MessageBox::setHandler({});
}

void ScriptedBoxes::setNextAnswer(MessageBox::Answer answer) {
    boxes().answers.enqueue(answer);
}

QList<ScriptedBoxes::Shown> ScriptedBoxes::shown() {
    return boxes().shown;
}

QStringList ScriptedBoxes::shownTexts() {
    QStringList texts;
    for (const Shown& s : std::as_const(boxes().shown))
        texts << s.text;
    return texts;
}

void ScriptedBoxes::clearShown() {
    boxes().shown.clear();
    boxes().answers.clear();
}

void ScriptedBoxes::setWhileShown(std::function<void()> action) {
    boxes().whileShown = std::move(action);
}

void ScriptedSaveDialog::install() {
    FileDialog::setHandler([](const QString& suggestedPath, const QString&) {
        SaveDialog& d = saveDialog();
        ++d.shownCount;
        d.lastSuggested = suggestedPath;
        return std::exchange(d.nextName, std::nullopt).value_or(QString());
    });
}

void ScriptedSaveDialog::uninstall() {
    FileDialog::setHandler({});
}

void ScriptedSaveDialog::setNextFileName(const QString& name) {
    saveDialog().nextName = name;
}

void ScriptedSaveDialog::clearNextFileName() {
    saveDialog().nextName.reset();
}

int ScriptedSaveDialog::timesShown() {
    return saveDialog().shownCount;
}

QString ScriptedSaveDialog::lastSuggestedPath() {
    return saveDialog().lastSuggested;
}

} // namespace zjx::test
