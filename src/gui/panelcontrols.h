#pragma once

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRect>
#include <QString>

// The plain controls the main window's parts are made of, each at its fixed place.
namespace zjx::controls {

inline QPushButton* button(QWidget* parent, const QString& name, const QString& text, const QRect& geometry) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(name);
    b->setGeometry(geometry);
    return b;
}

inline QComboBox* chooser(QWidget* parent, const QString& name, const QString& accessibleName, const QRect& geometry,
                          bool editable = false) {
    auto* c = new QComboBox(parent);
    c->setObjectName(name);
    c->setAccessibleName(accessibleName);
    c->setGeometry(geometry);
    c->setEditable(editable);
    return c;
}

inline QLineEdit* lineEdit(QWidget* parent, const QString& name, const QString& accessibleName, const QRect& geometry) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(name);
    e->setAccessibleName(accessibleName);
    e->setGeometry(geometry);
    return e;
}

inline QLabel* caption(QWidget* parent, const QString& text, const QRect& geometry) {
    auto* l = new QLabel(text, parent);
    l->setGeometry(geometry);
    return l;
}

} // namespace zjx::controls
