#pragma once

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
// a readable length. A handler can stand in for the real box (tests script the answers).
class MessageBox {
public:
    enum class Icon { Information, Warning };
    enum class Buttons { Ok, YesNo, YesNoCancel };
    enum class Answer { Ok, Yes, No, Cancel };

    // What a box shows: the text already cut to a readable length.
    struct Request {
        QString text;
        Icon icon;
        Buttons buttons;
        Answer defaultAnswer; // the button Enter presses
    };
    using Handler = std::function<Answer(const Request&)>;

    static QString title();

    // True while a box waits for its answer: work that would change what the box is about waits.
    static bool isShowing();
    static MessageBoxWatch* watch();

    static void information(QWidget* parent, const QString& text);
    static void warning(QWidget* parent, const QString& text);
    static Answer question(QWidget* parent, const QString& text);           // Yes default
    static Answer questionDefaultNo(QWidget* parent, const QString& text);  // for what cannot be undone
    static Answer questionWithCancel(QWidget* parent, const QString& text); // Yes, No, Cancel

    // Answers every box instead of showing it; an empty handler restores the real box.
    static void setHandler(Handler handler);

private:
    static Answer show(QWidget* parent, const QString& text, Icon icon, Buttons buttons, Answer defaultAnswer);
};

} // namespace zjx
