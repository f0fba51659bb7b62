#include "gui/identity.h"

#include <QAccessible>
#include <QAccessibleObject>
#include <QApplication>

namespace zjx {
namespace {

// The application object as assistive technology sees it, named like the task bar names it.
class ProgramAccessible : public QAccessibleApplication {
public:
    QString text(QAccessible::Text t) const override {
        return t == QAccessible::Name ? programName() : QAccessibleApplication::text(t);
    }
};

QAccessibleInterface* programAccessible(const QString&, QObject* object) {
    return object && object == qApp ? new ProgramAccessible : nullptr;
}

} // namespace

QString programName() {
    return QStringLiteral("踪迹匣");
}

void applyProgramIdentity() {
    QApplication::setApplicationName(QStringLiteral("zjx"));
    QApplication::setOrganizationName(QStringLiteral("zjx"));
    // The launcher's name: desktop shells match the window to cn.tansoft.zjx.desktop by it.
    QGuiApplication::setDesktopFileName(QStringLiteral("cn.tansoft.zjx"));
    QAccessible::installFactory(programAccessible);
}

} // namespace zjx
