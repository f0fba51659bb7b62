#include "gui/balloontip.h"
#include "support/datatable.h"

#include <QApplication>
#include <QCursor>
#include <QHeaderView>
#include <QHelpEvent>
#include <QTest>
#include <QToolTip>
#include <QTreeWidget>
#include <memory>

using namespace zjx;

namespace {

const QString title = QStringLiteral("物流跟踪信息");
const QString text = QStringLiteral("时间:2013-05-20 08:00:00\r\n物流进度:已签收");
const QString shown = QStringLiteral("<qt><p style=\"white-space:pre-wrap\"><b>物流跟踪信息</b><br>时间:2013-05-20 "
                                     "08:00:00<br>物流进度:已签收</p></qt>");

// What the application does when the pointer has rested over `widget`.
void restPointerOver(QWidget* widget) {
    const QPoint local = widget->rect().center();
    QHelpEvent event(QEvent::ToolTip, local, widget->mapToGlobal(local));
    QApplication::sendEvent(widget, &event);
}

int visibleBalloons() {
    int n = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == QLatin1String("qtooltip_label") && w->isVisible())
            ++n;
    return n;
}

} // namespace

class TestBalloon : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() {
        QCursor::setPos(0, 0);
        m_window = std::make_unique<QWidget>();
        m_window->setGeometry(200, 200, 400, 300);
        m_list = new QTreeWidget(m_window.get());
        m_list->setGeometry(10, 10, 180, 200);
        m_other = new QWidget(m_window.get());
        m_other->setGeometry(210, 10, 180, 200);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }

    void cleanup() {
        QToolTip::hideText();
        QTRY_VERIFY(!QToolTip::isVisible());
        m_window.reset();
    }

    void richText_data() {
        test::addColumns<QString, QString, QString>("title", "text", "expected");
        test::dataRow("two lines", title, text, shown);
        test::dataRow(
            "markup is shown as typed", QStringLiteral("<i>&"), QStringLiteral("a<b>c"),
            QStringLiteral("<qt><p style=\"white-space:pre-wrap\"><b>&lt;i&gt;&amp;</b><br>a&lt;b&gt;c</p></qt>"));
        test::dataRow("no title", QString(), QStringLiteral("x\ny"),
                      QStringLiteral("<qt><p style=\"white-space:pre-wrap\">x<br>y</p></qt>"));
        test::dataRow("spaces kept", QStringLiteral("t"), QStringLiteral("a   b"),
                      QStringLiteral("<qt><p style=\"white-space:pre-wrap\"><b>t</b><br>a   b</p></qt>"));
    }
    void richText() {
        QFETCH(QString, title);
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(BalloonTip::richText(title, text), expected);
    }

    void nothingBeforeItIsCreated() {
        BalloonTip balloon;
        prepare(balloon, text, title);
        restPointerOver(m_list->viewport());
        QVERIFY(!QToolTip::isVisible());
        QVERIFY(!balloon.isCreated());

        // The values written before are what the first create shows.
        balloon.create();
        QCOMPARE(balloon.text(), text); // kept as given, CR LF included
        restPointerOver(m_list->viewport());
        QVERIFY(balloon.isShowing());
        QCOMPARE(QToolTip::text(), shown);
    }

    void coversTheWholeControl() {
        BalloonTip balloon;
        prepare(balloon, text);
        balloon.create();
        const QList<QWidget*> parts{m_list, m_list->viewport(), m_list->header()};
        for (QWidget* part : parts) {
            QToolTip::hideText();
            QTRY_VERIFY(!QToolTip::isVisible());
            restPointerOver(part);
            QVERIFY2(balloon.isShowing(), qPrintable(part->metaObject()->className()));
        }
        QToolTip::hideText();
        QTRY_VERIFY(!QToolTip::isVisible());
        restPointerOver(m_other);
        QVERIFY(!QToolTip::isVisible());
    }

    void twoCreationsLeaveOneBalloon() {
        BalloonTip balloon;
        prepare(balloon, text, title);
        balloon.create();
        balloon.create();
        QCOMPARE(balloon.createCount(), 2);
        restPointerOver(m_list->viewport());
        QCOMPARE(visibleBalloons(), 1);
        QCOMPARE(QToolTip::text(), shown);
    }

    void textAfterCreateChangesTheShownBalloon() {
        BalloonTip balloon;
        prepare(balloon, QStringLiteral("old"), title);
        balloon.create();
        restPointerOver(m_list->viewport());
        QCOMPARE(QToolTip::text(),
                 QStringLiteral("<qt><p style=\"white-space:pre-wrap\"><b>物流跟踪信息</b><br>old</p></qt>"));

        balloon.setText(text);
        QCOMPARE(QToolTip::text(), shown);
        QCOMPARE(visibleBalloons(), 1);
        QCOMPARE(balloon.createCount(), 1);
    }

    void parentFollowsAtNextCreate() {
        BalloonTip balloon;
        prepare(balloon, text);
        balloon.create();
        balloon.setControl(m_other);
        restPointerOver(m_other);
        QVERIFY(!QToolTip::isVisible());
        restPointerOver(m_list->viewport());
        QVERIFY(balloon.isShowing());

        balloon.create();
        QTRY_VERIFY(!QToolTip::isVisible());
        QCOMPARE(balloon.attachedControl(), m_other.data());
        restPointerOver(m_list->viewport());
        QVERIFY(!QToolTip::isVisible());
        restPointerOver(m_other);
        QVERIFY(balloon.isShowing());
    }

    void createShowsAtOnceUnderThePointer() {
        BalloonTip balloon;
        prepare(balloon, text, title);
        QCursor::setPos(m_list->viewport()->mapToGlobal(QPoint(20, 20)));
        balloon.create();
        QVERIFY(balloon.isShowing());
        QCOMPARE(QToolTip::text(), shown);
    }

private:
    // The balloon on the list with `body`, and `heading` when there is one; not created yet.
    void prepare(BalloonTip& balloon, const QString& body, const QString& heading = QString()) {
        balloon.setControl(m_list);
        if (!heading.isNull())
            balloon.setTitle(heading);
        balloon.setText(body);
    }

    std::unique_ptr<QWidget> m_window;
    QPointer<QTreeWidget> m_list;
    QPointer<QWidget> m_other;
};

QTEST_MAIN(TestBalloon)
#include "tst_balloon.moc"
