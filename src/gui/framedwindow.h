#pragma once

#include "gui/chrome.h"

#include <QPixmap>
#include <QPoint>
#include <QPointF>
#include <QWidget>

namespace zjx {

// A window that draws its own frame, title banner and title buttons (minimise, close) and moves
// with the mouse by its top band, in place of the platform's title bar.
class FramedWindow : public QWidget {
    Q_OBJECT
public:
    explicit FramedWindow(QWidget* parent = nullptr);
    // Shown, restored from the taskbar and made the active window (a notice's default action).
    void bringToFront();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    // The window's own surface (not its controls); x, y in its pixels.
    void surfacePressed(Qt::MouseButton button, int x, int y);
    void surfaceReleased(int x, int y);
    const QPixmap& picture(chrome::Picture which);
    void showButtons(const chrome::ButtonImages& images);

    chrome::ButtonImages m_buttons;
    // The frame skin, the title-button sprite and the title banner, for the current pixel density.
    QPixmap m_frameSkin;
    QPixmap m_buttonSprite;
    QPixmap m_banner;
    qreal m_picturesRatio = 0;
    // Moving the window by hand, where the platform cannot move it (no window manager).
    bool m_movingWindow = false;
    QPoint m_moveStartWindow;
    QPointF m_moveStartGlobal;
};

} // namespace zjx
