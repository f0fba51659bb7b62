#include "support/scriptedseams.h"

#include "gui/platform/alertplayer.h"
#include "gui/platform/desktopnotifier.h"
#include "gui/platform/filedialog.h"

#include <QQueue>
#include <QTest>
#include <optional>
#include <utility>

namespace zjx::test {
namespace {

struct Boxes {
    QQueue<MessageBox::Answer> answers;
    QList<ScriptedBoxes::Shown> shown;
    qsizetype seen = 0; // boxes up to here were looked at by the test, or answered by its script
    std::function<void()> whileShown;
};

Boxes& boxes() {
    static Boxes b;
    return b;
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

static QStringList& notices() {
    static QStringList shown;
    return shown;
}

void QuietDesktop::install() {
    notices().clear();
    DesktopNotifier::setHandler([](const QString&, const QString& summary, const QString& body) {
        notices() << summary + QStringLiteral(": ") + body;
    });
}

QStringList QuietDesktop::takeShown() {
    return std::exchange(notices(), {});
}

void QuietDesktop::verifyAllSeen() {
    if (const QStringList unseen = takeShown(); !unseen.isEmpty())
        QTest::qFail(QByteArray("notices shown that the test never took: " + unseen.join(u" | ").toUtf8()).constData(),
                     __FILE__, __LINE__);
}

void QuietDesktop::uninstall() {
    DesktopNotifier::setHandler({});
}

void ScriptedBoxes::install() {
    MessageBox::setHandler([](const MessageBox::Request& request) {
        Boxes& b = boxes();
        if (b.whileShown)
            std::exchange(b.whileShown, {})();
        const bool scripted = !b.answers.isEmpty();
        if (!scripted && request.buttons != MessageBox::Buttons::Ok) {
            // Nobody chose an answer: Cancel (or No) is what a box closed unanswered gives.
            const QByteArray text = "a question the test did not script: " + request.text.toUtf8();
            QTest::qFail(text.constData(), __FILE__, __LINE__);
        }
        const MessageBox::Answer answer =
            scripted ? b.answers.dequeue()
                     : (request.buttons == MessageBox::Buttons::Ok
                            ? MessageBox::Answer::Ok
                            : (request.buttons == MessageBox::Buttons::YesNo ? MessageBox::Answer::No
                                                                             : MessageBox::Answer::Cancel));
        b.shown.append({request.text, request.icon, request.buttons, answer, request.defaultAnswer});
        if (scripted && b.seen == b.shown.size() - 1)
            b.seen = b.shown.size();
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
    boxes().seen = boxes().shown.size();
    return boxes().shown;
}

QStringList ScriptedBoxes::shownTexts() {
    boxes().seen = boxes().shown.size();
    QStringList texts;
    for (const Shown& s : std::as_const(boxes().shown))
        texts << s.text;
    return texts;
}

void ScriptedBoxes::clearShown() {
    boxes().shown.clear();
    boxes().answers.clear();
    boxes().seen = 0;
}

void ScriptedBoxes::verifyAllSeen() {
    Boxes& b = boxes();
    if (b.seen >= b.shown.size())
        return;
    QStringList unseen;
    for (qsizetype i = b.seen; i < b.shown.size(); ++i)
        unseen << b.shown.at(i).text;
    b.seen = b.shown.size();
    const QByteArray text = "boxes shown that the test never looked at: " + unseen.join(QStringLiteral(" | ")).toUtf8();
    QTest::qFail(text.constData(), __FILE__, __LINE__);
}

void ScriptedBoxes::setWhileShown(std::function<void()> action) {
    boxes().whileShown = std::move(action);
}

void ScriptedSaveDialog::install() {
    FileDialog::setHandler([](const QString& suggestedPath, const QString&) {
        SaveDialog& d = saveDialog();
        ++d.shownCount;
        d.lastSuggested = suggestedPath;
        if (!d.nextName)
            QTest::qFail("a save dialog the test did not script", __FILE__, __LINE__);
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
