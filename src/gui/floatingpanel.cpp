#include "gui/floatingpanel.h"

#include "assets/art.h"

#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <algorithm>

namespace zjx {

FloatingPanel::FloatingPanel(const QString& objectName, const QString& title, const QSize& size, QWidget* window)
    : QFrame(window) {
    setObjectName(objectName);
    setAccessibleName(title);
    setFrameShape(QFrame::StyledPanel);
    setFrameShadow(QFrame::Raised);
    setAutoFillBackground(true);
    auto* titleLabel = new QLabel(title, this);
    titleLabel->setObjectName(objectName + QStringLiteral("_title"));
    titleLabel->setGeometry(10, 6, 200, 22);
    QFont f = titleLabel->font();
    f.setBold(true);
    titleLabel->setFont(f);
    m_closeImage = new QLabel(this);
    m_closeImage->setObjectName(objectName + QStringLiteral("_close"));
    m_closeImage->setText(QStringLiteral("×"));
    m_closeImage->setAlignment(Qt::AlignCenter);
    m_closeImage->setCursor(Qt::PointingHandCursor);
    m_closeImage->setToolTip(QStringLiteral("关闭"));
    // Reachable with Tab and told apart by a screen reader; Space or Enter clicks it.
    m_closeImage->setAccessibleName(QStringLiteral("关闭") + title);
    m_closeImage->setFocusPolicy(Qt::TabFocus);
    m_closeImage->setStyleSheet(QStringLiteral("QLabel:focus { border: 1px solid palette(highlight); }"));
    resize(size);
    m_closeImage->setGeometry(size.width() - 26, 6, 18, 18);
    m_closeImage->setPixmap(art::pixmap(QStringLiteral("panelclose"), window->devicePixelRatioF()));
    hide();
    installEventFilter(this);
    m_closeImage->installEventFilter(this);
}

void FloatingPanel::centre() {
    const QWidget* window = parentWidget();
    move(window->width() / 2 - width() / 2, window->height() / 2 - height() / 2);
}

void FloatingPanel::showAlone() {
    for (FloatingPanel* other : parentWidget()->findChildren<FloatingPanel*>(Qt::FindDirectChildrenOnly))
        if (other != this)
            other->hide();
    centre();
    show();
    raise();
}

bool FloatingPanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == this)
        return dragEvent(event);
    if (watched == m_closeImage)
        return closeImageEvent(event);
    return QFrame::eventFilter(watched, event);
}

// Presses reach the panel only from its background and its plain labels: its controls take their own.
bool FloatingPanel::dragEvent(QEvent* event) {
    QWidget* window = parentWidget();
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        m_dragging = true;
        m_dragStart = pos();
        m_grab = window->mapFromGlobal(static_cast<QMouseEvent*>(event)->globalPosition()).toPoint();
        raise();
        return true;
    case QEvent::MouseMove:
        if (!m_dragging)
            return false;
        {
            // The grabbed point stays inside the window, so the panel can always be taken back.
            const QPoint cursor = window->mapFromGlobal(static_cast<QMouseEvent*>(event)->globalPosition()).toPoint();
            const QRect inside = window->rect();
            const QPoint clamped(std::clamp(cursor.x(), inside.left(), inside.right()),
                                 std::clamp(cursor.y(), inside.top(), inside.bottom()));
            move(m_dragStart + clamped - m_grab);
        }
        return true;
    case QEvent::MouseButtonRelease:
        if (!m_dragging)
            return false;
        if (static_cast<QMouseEvent*>(event)->buttons() == Qt::NoButton)
            m_dragging = false;
        return true;
    case QEvent::Hide:
        // A panel hidden while held (a command closing it) is let go.
        m_dragging = false;
        return false;
    default:
        return false;
    }
}

bool FloatingPanel::closeImageEvent(QEvent* event) {
    switch (event->type()) {
    case QEvent::KeyPress: {
        // Reached with Tab: Space or Enter is its click.
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key != Qt::Key_Space && key != Qt::Key_Return && key != Qt::Key_Enter)
            return false;
        hide();
        return true;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        // Taken here, so pressing the close image never starts a panel drag.
        return true;
    case QEvent::MouseButtonRelease: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton && m_closeImage->rect().contains(mouse->position().toPoint()))
            hide();
        return true;
    }
    default:
        return false;
    }
}

} // namespace zjx
