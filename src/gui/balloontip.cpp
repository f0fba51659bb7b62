#include "gui/balloontip.h"

#include "core/textutil.h"

#include <QApplication>
#include <QCursor>
#include <QHelpEvent>
#include <QToolTip>
#include <QWidget>

namespace zjx {
namespace {

QString htmlLines(const QString& plain) {
    // A progress cell may be megabytes long: laying that out froze every click on its row.
    QString html = readableText(plain).toHtmlEscaped();
    html.replace(QStringLiteral("\r\n"), QStringLiteral("<br>"));
    html.replace(u'\r', QStringLiteral("<br>"));
    html.replace(u'\n', QStringLiteral("<br>"));
    return html;
}

} // namespace

BalloonTip::BalloonTip(QObject* owner) : QObject(owner) {}

BalloonTip::~BalloonTip() {
    if (isShowing())
        QToolTip::hideText();
    detach();
}

QString BalloonTip::richText(const QString& title, const QString& text) {
    // <qt> marks the whole balloon as rich text even when neither part holds a tag. Lines break
    // where the text breaks them and spaces stay as typed, as in a plain balloon; a line wider than
    // the balloon wraps instead of running off the screen.
    QString html = QStringLiteral("<qt><p style=\"white-space:pre-wrap\">");
    if (!title.isEmpty())
        html += QStringLiteral("<b>") + htmlLines(title) + QStringLiteral("</b><br>");
    html += htmlLines(text) + QStringLiteral("</p></qt>");
    return html;
}

void BalloonTip::setControl(QWidget* control) {
    m_parent = control;
}

void BalloonTip::setTitle(const QString& value) {
    m_title = value;
    if (isShowing())
        showAt(m_shownOn, m_shownAt);
}

void BalloonTip::setText(const QString& value) {
    m_text = value;
    if (isShowing())
        showAt(m_shownOn, m_shownAt);
}

void BalloonTip::create() {
    ++m_createCount;
    if (isShowing())
        QToolTip::hideText();
    detach();
    if (!m_parent)
        return;
    attach(m_parent);

    // The gesture that asked for the balloon happened over the control: show it there at once
    // instead of waiting for the pointer to move and rest again.
    const QPoint cursor = QCursor::pos();
    QWidget* under = QApplication::widgetAt(cursor);
    if (under && m_attached->isVisible() && (under == m_attached || m_attached->isAncestorOf(under)))
        showAt(under, cursor);
}

bool BalloonTip::isShowing() const {
    return !m_shownText.isEmpty() && QToolTip::isVisible() && QToolTip::text() == m_shownText;
}

void BalloonTip::attach(QWidget* control) {
    m_attached = control;
    m_watched.append(control);
    // A scrolled control receives the pointer in its inner widgets; the balloon covers them all.
    const QList<QWidget*> inner = control->findChildren<QWidget*>();
    for (QWidget* w : inner)
        m_watched.append(w);
    for (const QPointer<QWidget>& w : std::as_const(m_watched))
        w->installEventFilter(this);
}

void BalloonTip::detach() {
    for (const QPointer<QWidget>& w : std::as_const(m_watched))
        if (w)
            w->removeEventFilter(this);
    m_watched.clear();
    m_attached = nullptr;
    m_shownText.clear();
}

void BalloonTip::showAt(QWidget* widget, const QPoint& globalPos) {
    if (!widget)
        return;
    if (m_title.isEmpty() && m_text.isEmpty()) {
        // Nothing to say: a tooltip with no text stays away.
        if (isShowing())
            QToolTip::hideText();
        m_shownText.clear();
        return;
    }
    m_shownOn = widget;
    m_shownAt = globalPos;
    m_shownText = balloonText();
    QToolTip::showText(globalPos, m_shownText, widget, widget->rect());
}

bool BalloonTip::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ToolTip && watched->isWidgetType() && m_attached) {
        auto* widget = static_cast<QWidget*>(watched);
        showAt(widget, static_cast<QHelpEvent*>(event)->globalPos());
        return true;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace zjx
