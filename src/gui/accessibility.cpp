#include "gui/accessibility.h"

#include "gui/floatingpanel.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QLineEdit>

namespace zjx {
namespace {

// A chooser as a screen reader should hear it: "快递公司, 中通快递". Qt on Linux names a chooser
// by its current entry instead, so its caption is lost, and gives it no value at all. The choice is
// also its (read-only) text, the one place AT-SPI carries a value that is not a number.
class ChooserAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit ChooserAccessible(QComboBox* box) : QAccessibleWidget(box, QAccessible::ComboBox) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value)
            return choice();
        const QString own = QAccessibleWidget::text(t);
        // A chooser without a caption is still told apart by what it shows.
        return t == QAccessible::Name && own.isEmpty() ? choice() : own;
    }

    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.expandable = true;
        s.expanded = box()->view()->isVisible();
        s.collapsed = !s.expanded;
        s.editable = box()->isEditable();
        return s;
    }

    // Children as Qt gives them: the drop-down list, and the typing box of an editable chooser.
    int childCount() const override { return box()->lineEdit() ? 2 : 1; }
    QAccessibleInterface* child(int index) const override {
        if (index == 0)
            return QAccessible::queryAccessibleInterface(box()->view());
        if (index == 1 && box()->lineEdit())
            return QAccessible::queryAccessibleInterface(box()->lineEdit());
        return nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        if (!child)
            return -1;
        if (child->object() == box()->view())
            return 0;
        return box()->lineEdit() && child->object() == box()->lineEdit() ? 1 : -1;
    }

    QStringList actionNames() const override { return {showMenuAction(), pressAction()}; }
    void doAction(const QString& action) override {
        if (action != showMenuAction() && action != pressAction())
            return;
        if (box()->view()->isVisible())
            box()->hidePopup();
        else
            box()->showPopup();
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

    // The text: the choice, read only.
    QString text(int start, int end) const override {
        const QString shown = choice();
        if (end < 0 || end > shown.size())
            end = int(shown.size());
        return start < 0 || start >= end ? QString() : shown.mid(start, end - start);
    }
    int characterCount() const override { return int(choice().size()); }
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    void selection(int, int* start, int* end) const override { *start = *end = 0; }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int, int* start, int* end) const override {
        *start = 0;
        *end = characterCount();
        return {};
    }

private:
    QComboBox* box() const { return static_cast<QComboBox*>(widget()); }
    QString choice() const { return box()->currentText(); }
};

// The program's own top-level windows are plain widgets underneath (the main window draws its
// frame itself): Qt would call them fillers, which screen readers do not list as windows.
bool ownPlainWindow(QObject* object) {
    const auto* widget = qobject_cast<QWidget*>(object);
    if (!widget || !widget->isWindow())
        return false;
    const QMetaObject* type = object->metaObject();
    while (type && QByteArray(type->className()).startsWith("zjx::"))
        type = type->superClass();
    return type == &QWidget::staticMetaObject;
}

// Asked before Qt's own factory, for each class of an object from the most derived one up.
QAccessibleInterface* programAccessible(const QString& className, QObject* object) {
    if (className == QLatin1String("QComboBox"))
        return new ChooserAccessible(static_cast<QComboBox*>(object));
    if (!className.startsWith(QLatin1String("zjx::")))
        return nullptr;
    if (ownPlainWindow(object))
        return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Window);
    if (auto* panel = qobject_cast<FloatingPanel*>(object))
        return new QAccessibleWidget(panel, QAccessible::Grouping);
    return nullptr;
}

} // namespace

void installAccessibility() {
    QAccessible::installFactory(programAccessible);
}

} // namespace zjx
