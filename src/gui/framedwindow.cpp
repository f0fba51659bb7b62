#include "gui/framedwindow.h"

#include "assets/art.h"
#include "gui/accessibility.h"

#include <QIcon>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>
#include <cmath>

namespace zjx {

using chrome::ButtonImage;
using chrome::ButtonImages;
using chrome::TitleButton;

namespace {

QPoint flooredPoint(const QPointF& p) {
    return {int(std::floor(p.x())), int(std::floor(p.y()))};
}

} // namespace

void FramedWindow::bringToFront() {
    // Restoring through the state keeps a maximised window maximised.
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    show();
    raise();
    activateWindow();
}

FramedWindow::FramedWindow(QWidget* parent) : QWidget(parent) {
    // Before anything asks how this window and its controls are described.
    installAccessibility();
    // The drawn top band, buttons and drag stand in for the platform's title bar and frame.
    setWindowFlag(Qt::FramelessWindowHint, true);
    // Hover images follow the mouse also while no button is held.
    setMouseTracking(true);
    // QIcon decodes every file it is given at once: the 256-pixel picture, most of the start-up's
    // picture decoding, is left to the launcher, which takes it from the icon theme.
    QIcon icon;
    icon.addFile(QStringLiteral(":/art/zjx-48.png"), QSize(48, 48));
    icon.addFile(QStringLiteral(":/art/zjx-64.png"), QSize(64, 64));
    setWindowIcon(icon);
}

const QPixmap& FramedWindow::picture(chrome::Picture which) {
    const qreal ratio = devicePixelRatioF();
    if (ratio != m_picturesRatio) {
        m_frameSkin = art::pixmap(QStringLiteral("frame"), ratio);
        m_buttonSprite = art::pixmap(QStringLiteral("buttons"), ratio);
        m_banner = art::pixmap(QStringLiteral("banner"), ratio);
        m_picturesRatio = ratio;
    }
    switch (which) {
    case chrome::Picture::FrameSkin:
        return m_frameSkin;
    case chrome::Picture::ButtonSprite:
        return m_buttonSprite;
    case chrome::Picture::Banner:
        break;
    }
    return m_banner;
}

void FramedWindow::showButtons(const ButtonImages& images) {
    if (images == m_buttons)
        return;
    m_buttons = images;
    update(chrome::titleButtonsRect(width()));
}

void FramedWindow::paintEvent(QPaintEvent* event) {
    Q_UNUSED(event);
    QPainter painter(this);
    for (const chrome::PaintStep& step : chrome::paintSteps(width(), height())) {
        QRect source = step.source;
        // A button redraw (hover, pressed) shows through until the next move says otherwise.
        if (step.picture == chrome::Picture::ButtonSprite) {
            const bool close = step.destination == chrome::buttonRect(TitleButton::Close, width());
            source = close ? chrome::spriteSource(TitleButton::Close, m_buttons.close)
                           : chrome::spriteSource(TitleButton::Minimise, m_buttons.minimise);
        }
        art::drawPiece(painter, step.destination, picture(step.picture), source);
    }
}

void FramedWindow::surfacePressed(Qt::MouseButton button, int x, int y) {
    ButtonImages images = m_buttons;
    switch (chrome::pressAction(button, x, y, width())) {
    case chrome::PressAction::Nothing:
        return;
    case chrome::PressAction::PressMinimise:
        images.minimise = ButtonImage::Pressed;
        showButtons(images);
        return;
    case chrome::PressAction::PressClose:
        images.close = ButtonImage::Pressed;
        showButtons(images);
        return;
    case chrome::PressAction::MoveWindow:
        break;
    }
    QWindow* handle = windowHandle();
    if (handle && handle->startSystemMove())
        return;
    // Without a window manager the window follows the mouse by hand until the button is released.
    m_movingWindow = true;
    m_moveStartWindow = pos();
    m_moveStartGlobal = mapToGlobal(QPointF(x, y));
}

void FramedWindow::surfaceReleased(int x, int y) {
    switch (chrome::releaseAction(x, y, width())) {
    case chrome::ReleaseAction::Minimise:
        // The window shows its buttons normal when it comes back.
        showButtons({});
        showMinimized();
        break;
    case chrome::ReleaseAction::Close:
        close(); // the close request asks first
        break;
    case chrome::ReleaseAction::Nothing:
        break;
    }
}

// Mouse events propagated from a child (a label on a strip, say) are not the window's own surface.
void FramedWindow::mousePressEvent(QMouseEvent* event) {
    const QPoint p = flooredPoint(event->position());
    if (childAt(p)) {
        event->ignore();
        return;
    }
    surfacePressed(event->button(), p.x(), p.y());
}

void FramedWindow::mouseMoveEvent(QMouseEvent* event) {
    if (m_movingWindow) {
        move(m_moveStartWindow + (event->globalPosition() - m_moveStartGlobal).toPoint());
        return;
    }
    const QPoint p = flooredPoint(event->position());
    if (childAt(p)) {
        showButtons({});
        event->ignore();
        return;
    }
    showButtons(chrome::hoverImages(p.x(), p.y(), width()));
}

void FramedWindow::mouseReleaseEvent(QMouseEvent* event) {
    if (m_movingWindow) {
        // As with the platform's own move, the release that ends the move is not a click.
        if (event->buttons() == Qt::NoButton)
            m_movingWindow = false;
        return;
    }
    const QPoint p = flooredPoint(event->position());
    if (childAt(p)) {
        event->ignore();
        return;
    }
    surfaceReleased(p.x(), p.y());
}

// Leaving the surface (for another window or a control) is a move away from both buttons.
void FramedWindow::leaveEvent(QEvent* event) {
    showButtons({});
    QWidget::leaveEvent(event);
}

} // namespace zjx
