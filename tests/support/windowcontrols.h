#pragma once

// The main window's controls as a user and a screen reader know them: by their accessible names,
// inside the part that holds them.

#include "book/bookkeeper.h"
#include "gui/addparcelpanel.h"
#include "gui/balloontip.h"
#include "gui/commandbar.h"
#include "gui/mainmenu.h"
#include "gui/progresslist.h"
#include "schedule/watchkeeper.h"
#include "gui/mainwindow.h"
#include "gui/parcelpanel.h"
#include "gui/schedulepanel.h"
#include "gui/statusstrips.h"
#include "schedule/parcelquery.h"
#include "schedule/requeryschedule.h"
#include "watch/news.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStringList>
#include <QTimer>
#include <QTreeWidget>
#include <type_traits>

namespace zjx::test {

// The control of this type inside `root` whose accessible name (as a screen reader reads it, or as
// it was set: a chooser reads out its entry) or description is one of `names`.
template <class T>
T* named(QWidget* root, const QStringList& names) {
    QList<T*> candidates = root->findChildren<T*>();
    if (auto* self = qobject_cast<T*>(root))
        candidates.prepend(self);
    // A value label is known by what its value is (its name is the value itself).
    for (T* control : candidates)
        if (names.contains(control->accessibleDescription()))
            return control;
    for (T* control : candidates) {
        // A caption beside a control is no control (and may say the same words).
        if constexpr (!std::is_same_v<T, QLabel>)
            if (qobject_cast<QLabel*>(control))
                continue;
        QAccessibleInterface* face = QAccessible::queryAccessibleInterface(control);
        const QString name = face ? face->text(QAccessible::Name) : control->accessibleName();
        if (names.contains(name) || names.contains(control->accessibleName()))
            return control;
    }
    qFatal("no control named %s", qPrintable(names.join(u'/')));
    return nullptr;
}

template <class T>
T* named(QWidget* root, const QString& name) {
    return named<T>(root, QStringList{name});
}

inline FloatingPanel* panelNamed(MainWindow& w, const QString& title) { return named<FloatingPanel>(&w, title); }

// The command row and the progress list.
inline QComboBox* parcelSelector(MainWindow& w) { return named<QComboBox>(&w, QStringLiteral("已保存快递")); }
inline QTreeWidget* progressRows(MainWindow& w) { return named<QTreeWidget>(&w, QStringLiteral("物流进度")); }
inline QComboBox* menuBox(MainWindow& w) { return named<QComboBox>(&w, QStringLiteral("菜单")); }
inline QPushButton* windowButton(MainWindow& w, const QString& caption) { return named<QPushButton>(&w, caption); }
// A row put straight into the progress list, below those there.
inline QTreeWidgetItem* addProgressRow(MainWindow& w, const QString& number, const QString& time,
                                       const QString& progress) {
    return new QTreeWidgetItem(progressRows(w), {number, time, progress});
}
// The add panel.
inline QFrame* addPanelFrame(MainWindow& w) { return &w.addPanel(); }
inline QComboBox* numberBox(MainWindow& w) { return named<QComboBox>(&w.addPanel(), QStringLiteral("快递单号")); }
inline QComboBox* companyBox(MainWindow& w) { return named<QComboBox>(&w.addPanel(), QStringLiteral("快递公司")); }
inline QLineEdit* noteBox(MainWindow& w) { return named<QLineEdit>(&w.addPanel(), QStringLiteral("快递备注")); }
inline QPushButton* queryButton(MainWindow& w) { return named<QPushButton>(&w.addPanel(), QStringLiteral("开始查询")); }
inline QCheckBox* closeAfterAdding(MainWindow& w) {
    return named<QCheckBox>(&w.addPanel(), QStringLiteral("是否添加后自动关闭本页,如需继续添加请取消勾选"));
}
// The user types a parcel into the add panel: its number, the company at `company` in the chooser, a note.
inline void typeIntoAddPanel(MainWindow& w, const QString& number, int company, const QString& note) {
    numberBox(w)->setEditText(number);
    companyBox(w)->setCurrentIndex(company);
    Q_EMIT companyBox(w)->activated(company); // the user's own pick
    noteBox(w)->setText(note);
}
inline void typeIntoAddPanel(MainWindow& w, const QString& number, const QString& company, const QString& note) {
    typeIntoAddPanel(w, number, companyBox(w)->findText(company), note);
}
// What the add panel holds, recorded in the book as a query's first good answer records it.
inline BookKeeper::Recorded recordAddPanel(MainWindow& w) {
    return w.bookKeeper().record(w.addPanel().number(), w.addPanel().company(), w.addPanel().note());
}
// The parcel panel.
inline QFrame* parcelPanelFrame(MainWindow& w) { return &w.parcelPanel(); }
inline QLineEdit* editNumberBox(MainWindow& w) { return named<QLineEdit>(&w.parcelPanel(), QStringLiteral("快递单号")); }
inline QComboBox* editCompanyBox(MainWindow& w) {
    return named<QComboBox>(&w.parcelPanel(), QStringLiteral("快递公司"));
}
inline QLineEdit* editNoteBox(MainWindow& w) { return named<QLineEdit>(&w.parcelPanel(), QStringLiteral("快递备注")); }
// The schedule panel.
inline QFrame* schedulePanelFrame(MainWindow& w) { return &w.schedulePanel(); }
inline QComboBox* hourBox(MainWindow& w) { return named<QComboBox>(&w.schedulePanel(), QStringLiteral("时")); }
inline QComboBox* minuteBox(MainWindow& w) { return named<QComboBox>(&w.schedulePanel(), QStringLiteral("分")); }
inline QComboBox* intervalBox(MainWindow& w) {
    return named<QComboBox>(&w.schedulePanel(), QStringLiteral("间隔分钟"));
}
inline QGroupBox* timedGroup(MainWindow& w) {
    return named<QGroupBox>(&w.schedulePanel(), QStringLiteral("定时查询功能"));
}
inline QGroupBox* loopGroup(MainWindow& w) { return named<QGroupBox>(&w.schedulePanel(), QStringLiteral("循环查询功能")); }
inline QPushButton* timedButton(MainWindow& w) {
    return named<QPushButton>(&w.schedulePanel(), QStringList{QStringLiteral("开始定时"), QStringLiteral("关闭定时")});
}
inline QPushButton* loopButton(MainWindow& w) {
    return named<QPushButton>(&w.schedulePanel(), QStringList{QStringLiteral("开始循环"), QStringLiteral("停止循环")});
}

// Hands the modal window of type T to `handle` once it is open: call it just before the call that opens the
// window and waits for it to close.
template <class T, class Handle> void whenModalOpens(Handle handle) {
    QTimer::singleShot(0, [handle] {
        if (auto* window = qobject_cast<T*>(QApplication::activeModalWidget()))
            handle(window);
    });
}

// The event at the top of the progress list, as the update verdict reads it.
inline LatestEvent latestShown(MainWindow& w) {
    const QTreeWidgetItem* top = progressRows(w)->topLevelItem(0);
    return top ? LatestEvent{top->text(1), top->text(2)} : LatestEvent{};
}

} // namespace zjx::test
