#pragma once

#include <QList>
#include <QString>

class QWidget;

namespace zjx {

// Every box of the program: titled "青檀坊系列软件", modal. Tests script the answers instead of
// showing the box, and read back what would have been shown.
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

    static void information(QWidget* parent, const QString& text);
    static void warning(QWidget* parent, const QString& text);
    static Answer question(QWidget* parent, const QString& text); // Yes default
    static Answer questionWithCancel(QWidget* parent, const QString& text); // Yes, No, Cancel

    // Test hooks. In test mode no box is shown: the next scripted answer is taken, or, when none
    // is left, Ok for a notice, Yes for a question and Cancel for the three-way question.
    static void setTestMode(bool on);
    static void setNextAnswer(Answer answer);
    static QList<Shown> shown();
    static QStringList shownTexts();
    static void clearShown();

private:
    static Answer show(QWidget* parent, const QString& text, Icon icon, Buttons buttons);
};

} // namespace zjx
