#pragma once

#include <QIcon>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QWidget>

// What the two lookup windows (the branch lookup, the company finder) share.
namespace zjx::lookupwindow {

// The button searches, and so does Enter in the box (the window has no default button).
template <typename Window>
void searchFrom(Window* window, QLineEdit* box, QPushButton* button, void (Window::*search)()) {
    QObject::connect(button, &QPushButton::clicked, window, search);
    QObject::connect(box, &QLineEdit::returnPressed, window, search);
}

// An empty icon would fall back to the program's own; a blank one leaves the title bar bare.
inline void bareTitleBar(QWidget* window) {
    QPixmap blank(16, 16);
    blank.fill(Qt::transparent);
    window->setWindowIcon(QIcon(blank));
}

} // namespace zjx::lookupwindow
