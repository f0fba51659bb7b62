#pragma once

#include <QList>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <QWidget>

namespace zjx {

// A balloon tooltip over one control: a bold title line above a text, shown while the pointer
// rests over the control. Title and text may be set at any time; `create` (re)attaches the
// balloon to the control set last, so that only one balloon ever belongs to this object.
class BalloonTip : public QObject {
    Q_OBJECT
public:
    explicit BalloonTip(QObject* owner = nullptr);
    ~BalloonTip() override;

    void setControl(QWidget* control); // takes effect at the next create
    void setTitle(const QString& value);
    void setText(const QString& value); // a balloon on screen changes at once
    void create();

    // Read-only views for tests.
    QString title() const { return m_title; }
    QString text() const { return m_text; }
    bool isCreated() const { return !m_attached.isNull(); }
    int createCount() const { return m_createCount; }
    QWidget* attachedControl() const { return m_attached; }
    QString balloonText() const { return richText(m_title, m_text); }
    bool isShowing() const; // this object's balloon is on screen

    // The balloon as rich text: the title in bold, then the text; both escaped, line breaks kept.
    static QString richText(const QString& title, const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void attach(QWidget* control);
    void detach();
    void showAt(QWidget* widget, const QPoint& globalPos);

    QPointer<QWidget> m_parent;         // as last set
    QPointer<QWidget> m_attached;       // what the balloon covers since the last create
    QList<QPointer<QWidget>> m_watched; // the control and its inner widgets (viewport, header)
    QPointer<QWidget> m_shownOn;
    QPoint m_shownAt;
    QString m_shownText;
    QString m_title;
    QString m_text;
    int m_createCount = 0;
};

} // namespace zjx
