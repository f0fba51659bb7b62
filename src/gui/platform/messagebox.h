#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <functional>

class QWidget;

namespace zjx {

// Says when the last open box has closed: work that waited for the boxes goes on then.
class MessageBoxWatch : public QObject {
    Q_OBJECT
Q_SIGNALS:
    void allClosed();
};

// Every box of the program: titled "青檀坊系列软件", modal. The text is shown as plain text, cut to
// a readable length. Tests script the answers instead of showing the box, and read back what would
// have been shown.
class MessageBox {
public:
    enum class Icon { Information, Warning };
    enum class Buttons { Ok, YesNo, YesNoCancel };
    enum class Answer { Ok, Yes, No, Cancel };

    struct Shown {
        QString text;
        Icon icon;
        Buttons buttons;
        Answer answer;
    };

    static QString title();

    // True while a box waits for its answer: work that would change what the box is about waits.
    static bool isShowing();
    static MessageBoxWatch* watch();

    static void information(QWidget* parent, const QString& text);
    static void warning(QWidget* parent, const QString& text);
    static Answer question(QWidget* parent, const QString& text);           // Yes default
    static Answer questionWithCancel(QWidget* parent, const QString& text); // Yes, No, Cancel

    // Test hooks. In test mode no box is shown: the next scripted answer is taken, or, when none
    // is left, Ok for a notice, Yes for a question and Cancel for the three-way question.
    static void setTestMode(bool on);
    static void setNextAnswer(Answer answer);
    static QList<Shown> shown();
    static QStringList shownTexts();
    static void clearShown();
    // In test mode, runs `action` once while the next box is open, as a timer tick would.
    static void setWhileShown(std::function<void()> action);

private:
    static Answer show(QWidget* parent, const QString& text, Icon icon, Buttons buttons);
};

} // namespace zjx
