#pragma once

#include <QFrame>
#include <QPoint>
#include <QPointer>
#include <QString>

class QLabel;

namespace zjx {

// A panel that floats over the main window: a bold title, a close image (reachable with Tab;
// Space, Enter or a click closes the panel), and a background that drags the panel with the mouse
// while the grabbed point stays inside the window. It starts hidden.
class FloatingPanel : public QFrame {
    Q_OBJECT
public:
    FloatingPanel(const QString& objectName, const QString& title, const QSize& size, QWidget* window);

    // Hides the other panels of the window, centres this one in it and shows it on top.
    void showAlone();
    void centre();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool dragEvent(QEvent* event);
    bool closeImageEvent(QEvent* event);

    QLabel* m_closeImage = nullptr;
    bool m_dragging = false;
    QPoint m_dragStart;
    QPoint m_grab; // the pressed point, in window pixels
};

} // namespace zjx
