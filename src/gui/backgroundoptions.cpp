#include "gui/backgroundoptions.h"

#include "background/autostart.h"
#include "gui/platform/messagebox.h"
#include "gui/platform/traypresence.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QStandardPaths>

namespace zjx {

BackgroundOptions::BackgroundOptions(QWidget* parent) : QWidget(parent) {
    const QString caption = QStringLiteral("登录时自动启动并在后台跟踪");
    loginStart = new QCheckBox(caption, this);
    loginStart->setObjectName(caption);
    loginStart->setAccessibleName(caption);
    loginStart->setToolTip(QStringLiteral("登录桌面时启动踪迹匣,不打开窗口,自动跟踪全部快递,从托盘图标打开"));
    loginStart->setChecked(AutostartEntry::isOn(AutostartEntry::path()));
    connect(loginStart, &QCheckBox::toggled, this, &BackgroundOptions::setLoginStart);
    const QString note = QStringLiteral("桌面没有系统托盘:自动跟踪只在踪迹匣窗口打开时进行");
    noTrayNote = new QLabel(note, this);
    noTrayNote->setObjectName(QStringLiteral("no_tray_note"));
    noTrayNote->setTextFormat(Qt::PlainText);
    noTrayNote->setAccessibleName(note);
    noTrayNote->hide();
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(loginStart);
    row->addWidget(noTrayNote);
    row->addStretch(1);
}

void BackgroundOptions::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // The tray may have come or gone since the window was last open; so may the entry.
    noTrayNote->setVisible(!TrayPresence::available());
    const QSignalBlocker quiet(loginStart);
    loginStart->setChecked(AutostartEntry::isOn(AutostartEntry::path()));
}

void BackgroundOptions::setLoginStart(bool on) {
    const QString path = AutostartEntry::path();
    const Result done = on ? AutostartEntry::write(path, QCoreApplication::applicationFilePath(),
                                                   QStandardPaths::findExecutable(QStringLiteral("zjx")))
                           : AutostartEntry::remove(path);
    if (done.ok())
        return;
    MessageBox::warning(window(), done.errorText());
    const QSignalBlocker quiet(loginStart);
    loginStart->setChecked(!on);
}

} // namespace zjx
