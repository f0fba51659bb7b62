#include "gui/platform/messagebox.h"

#include "core/textutil.h"

#include <QMessageBox>
#include <QScopeGuard>
#include <utility>

namespace zjx {
namespace {

struct State {
    int showing = 0;
    MessageBox::Handler handler;
};

State& state() {
    static State s;
    return s;
}

} // namespace

QString MessageBox::title() {
    return QStringLiteral("青檀坊系列软件");
}

void MessageBox::information(QWidget* parent, const QString& text) {
    show(parent, text, Icon::Information, Buttons::Ok, Answer::Ok);
}

void MessageBox::warning(QWidget* parent, const QString& text) {
    show(parent, text, Icon::Warning, Buttons::Ok, Answer::Ok);
}

MessageBox::Answer MessageBox::question(QWidget* parent, const QString& text) {
    return show(parent, text, Icon::Information, Buttons::YesNo, Answer::Yes);
}

MessageBox::Answer MessageBox::questionDefaultNo(QWidget* parent, const QString& text) {
    return show(parent, text, Icon::Information, Buttons::YesNo, Answer::No);
}

MessageBox::Answer MessageBox::questionWithCancel(QWidget* parent, const QString& text) {
    return show(parent, text, Icon::Information, Buttons::YesNoCancel, Answer::Yes);
}

bool MessageBox::isShowing() {
    return state().showing > 0;
}

MessageBoxWatch* MessageBox::watch() {
    static MessageBoxWatch* watch = new MessageBoxWatch;
    return watch;
}

MessageBox::Answer MessageBox::show(QWidget* parent, const QString& fullText, Icon icon, Buttons buttons,
                                    Answer defaultAnswer) {
    // Boxes show page values, version files, notes and names as the program got them: never as
    // markup (a link would open a browser, an image would load a file), never megabytes long.
    const QString text = readableText(fullText);
    State& s = state();
    ++s.showing;
    const auto shownNoMore = qScopeGuard([&s] {
        if (--s.showing == 0)
            Q_EMIT watch()->allClosed();
    });
    if (s.handler)
        return s.handler({text, icon, buttons, defaultAnswer});

    // A CR (the program's own texts break lines with it, files with CR LF) is a line break on
    // screen, and a screen reader reads the box's text as it is: it gets the text as shown.
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    shown.replace(u'\r', u'\n');
    QMessageBox box(icon == Icon::Warning ? QMessageBox::Warning : QMessageBox::Information, title(), shown,
                    QMessageBox::NoButton, parent);
    box.setTextFormat(Qt::PlainText);
    switch (buttons) {
    case Buttons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        box.setDefaultButton(QMessageBox::Ok);
        break;
    case Buttons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(defaultAnswer == Answer::No ? QMessageBox::No : QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
        break;
    case Buttons::YesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::Cancel);
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    case QMessageBox::Ok:
        return Answer::Ok;
    default:
        // A box closed without a choice counts as Cancel (or No for a Yes/No question).
        return buttons == Buttons::YesNo ? Answer::No : (buttons == Buttons::Ok ? Answer::Ok : Answer::Cancel);
    }
}

void MessageBox::setHandler(Handler handler) {
    state().handler = std::move(handler);
}

} // namespace zjx
