#pragma once

#include <QWidget>

class QCheckBox;
class QLabel;

namespace zjx {

// The overview's line about running in the background: the start at login ("登录时自动启动并在后台
// 跟踪", the desktop's autostart entry written or removed), and, on a desktop without a tray, that
// the watch needs the window open.
class BackgroundOptions : public QWidget {
    Q_OBJECT
public:
    explicit BackgroundOptions(QWidget* parent = nullptr);

    QCheckBox* loginStart = nullptr;
    QLabel* noTrayNote = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void setLoginStart(bool on);
};

} // namespace zjx
