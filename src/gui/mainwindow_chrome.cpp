// The drawn window frame and title buttons, moving the window and its panels with the mouse, the
// panels' close images, and the progress list's column lock.
#include "gui/mainwindow.h"

#include "assets/art.h"
#include "gui/chrome.h"

#include <QFrame>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QStyle>
#include <QTreeWidget>
#include <QWindow>
#include <algorithm>
#include <cmath>
#include <utility>

namespace zjx {

using chrome::ButtonImage;
using chrome::ButtonImages;
using chrome::TitleButton;

class MainWindow::Chrome : public QObject {
public:
    explicit Chrome(MainWindow* window) : QObject(window), m_window(window) {}

    bool eventFilter(QObject* watched, QEvent* event) override;

    const QPixmap& picture(chrome::Picture which);
    void showButtons(const ButtonImages& images);
    void beginPanelDrag(QFrame* panel, const QPointF& globalPosition);

    ButtonImages m_buttons;
    // Moving the window by hand, where the platform cannot move it (no window manager).
    bool m_movingWindow = false;
    QPoint m_moveStartWindow;
    QPointF m_moveStartGlobal;

private:
    bool panelEvent(QFrame* panel, QEvent* event);
    bool closeImageEvent(QLabel* image, QEvent* event);
    bool ListViewWndProc(QHeaderView* header, QEvent* event);

    MainWindow* m_window;
    // The frame skin, the title-button sprite and the title banner, for the current pixel density.
    QPixmap Image10;
    QPixmap Image9;
    QPixmap Image8;
    qreal m_picturesRatio = 0;
    QPointer<QFrame> m_draggedPanel;
    QPoint m_panelStart;
    QPoint m_panelGrab; // the pressed point, in window pixels
};

namespace {

QPoint flooredPoint(const QPointF& p) {
    return {int(std::floor(p.x())), int(std::floor(p.y()))};
}

// The section whose right-hand divider lies under x (viewport pixels), or -1. The same grip
// margin as the header's own hit test, so every spot that could start a resize is covered.
int dividerAt(const QHeaderView* header, int x) {
    const int visual = header->visualIndexAt(x);
    if (visual < 0)
        return -1;
    const int logical = header->logicalIndex(visual);
    const int start = header->sectionViewportPosition(logical);
    const int grip = header->style()->pixelMetric(QStyle::PM_HeaderGripMargin, nullptr, header);
    bool atStart = x < start + grip;
    bool atEnd = x > start + header->sectionSize(logical) - grip;
    if (header->isRightToLeft())
        std::swap(atStart, atEnd);
    if (atEnd)
        return logical;
    if (atStart) {
        for (int v = visual - 1; v >= 0; --v) {
            const int before = header->logicalIndex(v);
            if (!header->isSectionHidden(before))
                return before;
        }
    }
    return -1;
}

} // namespace

const QPixmap& MainWindow::Chrome::picture(chrome::Picture which) {
    const qreal ratio = m_window->devicePixelRatioF();
    if (ratio != m_picturesRatio) {
        Image10 = art::pixmap(QStringLiteral("frame"), ratio);
        Image9 = art::pixmap(QStringLiteral("buttons"), ratio);
        Image8 = art::pixmap(QStringLiteral("banner"), ratio);
        m_picturesRatio = ratio;
    }
    switch (which) {
    case chrome::Picture::FrameSkin:
        return Image10;
    case chrome::Picture::ButtonSprite:
        return Image9;
    case chrome::Picture::Banner:
        break;
    }
    return Image8;
}

void MainWindow::Chrome::showButtons(const ButtonImages& images) {
    if (images == m_buttons)
        return;
    m_buttons = images;
    m_window->update(chrome::titleButtonsRect(m_window->width()));
}

void MainWindow::Chrome::beginPanelDrag(QFrame* panel, const QPointF& globalPosition) {
    m_draggedPanel = panel;
    m_panelStart = panel->pos();
    m_panelGrab = m_window->mapFromGlobal(globalPosition).toPoint();
    panel->raise();
}

void MainWindow::teardownChrome() {
    delete m_chrome;
    m_chrome = nullptr;
}

bool MainWindow::Chrome::eventFilter(QObject* watched, QEvent* event) {
    MainWindow* w = m_window;
    if (watched == w->Picture3 || watched == w->Picture4 || watched == w->Picture5)
        return panelEvent(static_cast<QFrame*>(watched), event);
    if (watched == w->aicAlphaImage1 || watched == w->aicAlphaImage2 || watched == w->aicAlphaImage5)
        return closeImageEvent(static_cast<QLabel*>(watched), event);
    if (auto* header = qobject_cast<QHeaderView*>(watched->parent());
        header && watched == header->viewport() && header == w->ListView1->header())
        return ListViewWndProc(header, event);
    return QObject::eventFilter(watched, event);
}

// Presses reach a panel only from its background and its plain labels: its controls take their own.
bool MainWindow::Chrome::panelEvent(QFrame* panel, QEvent* event) {
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
        const QPointF global = static_cast<QMouseEvent*>(event)->globalPosition();
        if (panel == m_window->Picture3)
            m_window->Picture3_MouseDown(global);
        else if (panel == m_window->Picture4)
            m_window->Picture4_MouseDown(global);
        else
            m_window->Picture5_MouseDown(global);
        return true;
    }
    case QEvent::MouseMove:
        if (m_draggedPanel != panel)
            return false;
        {
            // The grabbed point stays inside the window, so the panel can always be taken back.
            const QPoint cursor = m_window->mapFromGlobal(static_cast<QMouseEvent*>(event)->globalPosition()).toPoint();
            const QRect inside = m_window->rect();
            const QPoint clamped(std::clamp(cursor.x(), inside.left(), inside.right()),
                                 std::clamp(cursor.y(), inside.top(), inside.bottom()));
            panel->move(m_panelStart + clamped - m_panelGrab);
        }
        return true;
    case QEvent::MouseButtonRelease:
        if (m_draggedPanel != panel)
            return false;
        if (static_cast<QMouseEvent*>(event)->buttons() == Qt::NoButton)
            m_draggedPanel = nullptr;
        return true;
    case QEvent::Hide:
        // A panel hidden while held (a command closing it) is let go.
        if (m_draggedPanel == panel)
            m_draggedPanel = nullptr;
        return false;
    default:
        return false;
    }
}

bool MainWindow::Chrome::closeImageEvent(QLabel* image, QEvent* event) {
    const auto clickImage = [this, image] {
        if (image == m_window->aicAlphaImage1)
            m_window->aicAlphaImage1_Click();
        else if (image == m_window->aicAlphaImage2)
            m_window->aicAlphaImage2_Click();
        else
            m_window->aicAlphaImage5_Click();
    };
    switch (event->type()) {
    case QEvent::KeyPress: {
        // Reached with Tab: Space or Enter is its click.
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key != Qt::Key_Space && key != Qt::Key_Return && key != Qt::Key_Enter)
            return false;
        clickImage();
        return true;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        // Taken here, so pressing the close image never starts a panel drag.
        return true;
    case QEvent::MouseButtonRelease: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton || !image->rect().contains(mouse->position().toPoint()))
            return true;
        clickImage();
        return true;
    }
    default:
        return false;
    }
}

// The header's viewport receives the mouse: a press or double click on a divider would start a
// resize or an auto-size, so it never reaches the header; everything else passes.
bool MainWindow::Chrome::ListViewWndProc(QHeaderView* header, QEvent* event) {
    if (event->type() != QEvent::MouseButtonPress && event->type() != QEvent::MouseButtonDblClick)
        return false;
    const auto* mouse = static_cast<QMouseEvent*>(event);
    return dividerAt(header, int(std::floor(mouse->position().x()))) >= 0;
}

void MainWindow::setupChrome() {
    m_chrome = new Chrome(this);
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

    const QPixmap closePicture = art::pixmap(QStringLiteral("panelclose"), devicePixelRatioF());
    for (QFrame* panel : {Picture3, Picture4, Picture5})
        panel->installEventFilter(m_chrome);
    for (QLabel* image : {aicAlphaImage1, aicAlphaImage2, aicAlphaImage5}) {
        image->setPixmap(closePicture);
        image->installEventFilter(m_chrome);
    }
}

void MainWindow::LockListViewColumns(QTreeWidget* listView) {
    QHeaderView* header = listView->header();
    header->setSectionResizeMode(QHeaderView::Fixed);
    header->setStretchLastSection(false);
    // The list's columns keep their order as well as their widths.
    header->setSectionsMovable(false);
    header->viewport()->installEventFilter(m_chrome);
}

void MainWindow::Form_Paint() {
    QPainter painter(this);
    for (const chrome::PaintStep& step : chrome::paintSteps(width(), height())) {
        QRect source = step.source;
        // A button redraw (hover, pressed) shows through until the next move says otherwise.
        if (step.picture == chrome::Picture::ButtonSprite) {
            const bool close = step.destination == chrome::buttonRect(TitleButton::Close, width());
            source = close ? chrome::spriteSource(TitleButton::Close, m_chrome->m_buttons.close)
                           : chrome::spriteSource(TitleButton::Minimise, m_chrome->m_buttons.minimise);
        }
        art::drawPiece(painter, step.destination, m_chrome->picture(step.picture), source);
    }
}

void MainWindow::paintEvent(QPaintEvent* event) {
    Q_UNUSED(event);
    Form_Paint();
}

void MainWindow::Form_MouseMove(Qt::MouseButtons button, Qt::KeyboardModifiers shift, int x, int y) {
    Q_UNUSED(button);
    Q_UNUSED(shift);
    m_chrome->showButtons(chrome::hoverImages(x, y, width()));
}

void MainWindow::Form_MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y) {
    Q_UNUSED(shift);
    ButtonImages images = m_chrome->m_buttons;
    switch (chrome::pressAction(button, x, y, width())) {
    case chrome::PressAction::Nothing:
        return;
    case chrome::PressAction::PressMinimise:
        images.minimise = ButtonImage::Pressed;
        m_chrome->showButtons(images);
        return;
    case chrome::PressAction::PressClose:
        images.close = ButtonImage::Pressed;
        m_chrome->showButtons(images);
        return;
    case chrome::PressAction::MoveWindow:
        break;
    }
    QWindow* handle = windowHandle();
    if (handle && handle->startSystemMove())
        return;
    // Without a window manager the window follows the mouse by hand until the button is released.
    m_chrome->m_movingWindow = true;
    m_chrome->m_moveStartWindow = pos();
    m_chrome->m_moveStartGlobal = mapToGlobal(QPointF(x, y));
}

void MainWindow::Form_MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y) {
    Q_UNUSED(button);
    Q_UNUSED(shift);
    switch (chrome::releaseAction(x, y, width())) {
    case chrome::ReleaseAction::Minimise:
        // The window shows its buttons normal when it comes back.
        m_chrome->showButtons({});
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
void MainWindow::mousePressEvent(QMouseEvent* event) {
    const QPoint p = flooredPoint(event->position());
    if (childAt(p)) {
        event->ignore();
        return;
    }
    Form_MouseDown(event->button(), event->modifiers(), p.x(), p.y());
}

void MainWindow::mouseMoveEvent(QMouseEvent* event) {
    if (m_chrome->m_movingWindow) {
        move(m_chrome->m_moveStartWindow + (event->globalPosition() - m_chrome->m_moveStartGlobal).toPoint());
        return;
    }
    const QPoint p = flooredPoint(event->position());
    if (childAt(p)) {
        m_chrome->showButtons({});
        event->ignore();
        return;
    }
    Form_MouseMove(event->buttons(), event->modifiers(), p.x(), p.y());
}

void MainWindow::mouseReleaseEvent(QMouseEvent* event) {
    if (m_chrome->m_movingWindow) {
        // As with the platform's own move, the release that ends the move is not a click.
        if (event->buttons() == Qt::NoButton)
            m_chrome->m_movingWindow = false;
        return;
    }
    const QPoint p = flooredPoint(event->position());
    if (childAt(p)) {
        event->ignore();
        return;
    }
    Form_MouseUp(event->button(), event->modifiers(), p.x(), p.y());
}

// Leaving the surface (for another window or a control) is a move away from both buttons.
void MainWindow::leaveEvent(QEvent* event) {
    m_chrome->showButtons({});
    QWidget::leaveEvent(event);
}

void MainWindow::Picture3_MouseDown(const QPointF& globalPosition) {
    m_chrome->beginPanelDrag(Picture3, globalPosition);
}

void MainWindow::Picture4_MouseDown(const QPointF& globalPosition) {
    m_chrome->beginPanelDrag(Picture4, globalPosition);
}

void MainWindow::Picture5_MouseDown(const QPointF& globalPosition) {
    m_chrome->beginPanelDrag(Picture5, globalPosition);
}

void MainWindow::aicAlphaImage1_Click() {
    Picture4->hide();
}

void MainWindow::aicAlphaImage2_Click() {
    Picture5->hide();
}

void MainWindow::aicAlphaImage5_Click() {
    Picture3->hide();
}

} // namespace zjx
