#include "gui/chrome.h"
#include "gui/platform/messagebox.h"
#include "gui/statusstrips.h"
#include "support/datatable.h"
#include "support/scriptedseams.h"
#include "support/windowcontrols.h"
#include "support/windowfixture.h"

#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

using namespace zjx;
using namespace zjx::chrome;
using namespace zjx::test;

Q_DECLARE_METATYPE(zjx::chrome::TitleButton)
Q_DECLARE_METATYPE(zjx::chrome::ButtonImage)
Q_DECLARE_METATYPE(zjx::chrome::PressAction)
Q_DECLARE_METATYPE(zjx::chrome::ReleaseAction)

namespace {

const QString farewell = QStringLiteral("感谢您对阿檀、对青檀坊系列的软件的支持!\r \r"
                                        "是否退出并到论坛可以下载更多青檀坊系列原创免费软件?");

} // namespace

class TestChrome : public QObject {
    Q_OBJECT
    std::unique_ptr<WindowFixture> m_fx; // each test's
private Q_SLOTS:
    void init() { m_fx = std::make_unique<WindowFixture>(); }
    void cleanup() { m_fx.reset(); }

    void hitTesting_data() {
        addColumns<int, int, int, TitleButton, ReleaseAction>("x", "y", "width", "button", "release");
        const auto none = TitleButton::None;
        const auto min = TitleButton::Minimise;
        const auto close = TitleButton::Close;
        QTest::newRow("left of minimise") << 672 << 10 << 753 << none << ReleaseAction::Nothing;
        QTest::newRow("minimise left end") << 673 << 10 << 753 << min << ReleaseAction::Minimise;
        QTest::newRow("shared column W-51") << 702 << 10 << 753 << min << ReleaseAction::Minimise;
        QTest::newRow("close left end") << 703 << 10 << 753 << close << ReleaseAction::Close;
        QTest::newRow("close right end") << 743 << 10 << 753 << close << ReleaseAction::Close;
        QTest::newRow("right of close") << 744 << 10 << 753 << none << ReleaseAction::Nothing;
        QTest::newRow("y 1") << 690 << 1 << 753 << none << ReleaseAction::Nothing;
        QTest::newRow("y 2") << 690 << 2 << 753 << min << ReleaseAction::Minimise;
        QTest::newRow("y 22") << 720 << 22 << 753 << close << ReleaseAction::Close;
        QTest::newRow("y 23") << 720 << 23 << 753 << none << ReleaseAction::Nothing;
        QTest::newRow("band elsewhere") << 200 << 10 << 753 << none << ReleaseAction::Nothing;
        QTest::newRow("narrow, shared column") << 349 << 22 << 400 << min << ReleaseAction::Minimise;
        QTest::newRow("narrow, close") << 350 << 2 << 400 << close << ReleaseAction::Close;
        QTest::newRow("narrow, right end") << 391 << 2 << 400 << none << ReleaseAction::Nothing;
    }
    void hitTesting() {
        QFETCH(int, x);
        QFETCH(int, y);
        QFETCH(int, width);
        QFETCH(TitleButton, button);
        QFETCH(ReleaseAction, release);
        QCOMPARE(buttonAt(x, y, width), button);
        QCOMPARE(releaseAction(x, y, width), release);
        const ButtonImages hover = hoverImages(x, y, width);
        QCOMPARE(hover.minimise, button == TitleButton::Minimise ? ButtonImage::Hover : ButtonImage::Normal);
        QCOMPARE(hover.close, button == TitleButton::Close ? ButtonImage::Hover : ButtonImage::Normal);
    }

    void pressActions_data() {
        addColumns<int, int, int, PressAction>("button", "x", "y", "action");
        const int left = Qt::LeftButton;
        QTest::newRow("minimise") << left << 690 << 10 << PressAction::PressMinimise;
        QTest::newRow("shared column") << left << 702 << 22 << PressAction::PressMinimise;
        QTest::newRow("close") << left << 703 << 2 << PressAction::PressClose;
        QTest::newRow("band elsewhere") << left << 200 << 40 << PressAction::MoveWindow;
        QTest::newRow("under a button") << left << 702 << 23 << PressAction::MoveWindow;
        QTest::newRow("top row") << left << 720 << 0 << PressAction::MoveWindow;
        QTest::newRow("y 68") << left << 200 << 68 << PressAction::MoveWindow;
        QTest::newRow("y 69") << left << 200 << 69 << PressAction::Nothing;
        QTest::newRow("right button on close") << int(Qt::RightButton) << 720 << 10 << PressAction::Nothing;
        QTest::newRow("middle button in band") << int(Qt::MiddleButton) << 200 << 40 << PressAction::Nothing;
    }
    void pressActions() {
        QFETCH(int, button);
        QFETCH(int, x);
        QFETCH(int, y);
        QFETCH(PressAction, action);
        QCOMPARE(pressAction(Qt::MouseButton(button), x, y, 753), action);
    }

    void spriteRows_data() {
        addColumns<TitleButton, ButtonImage, QRect>("button", "image", "source");
        QTest::newRow("minimise normal") << TitleButton::Minimise << ButtonImage::Normal << QRect(0, 0, 29, 20);
        QTest::newRow("minimise hover") << TitleButton::Minimise << ButtonImage::Hover << QRect(0, 21, 29, 20);
        QTest::newRow("minimise pressed") << TitleButton::Minimise << ButtonImage::Pressed << QRect(0, 41, 29, 20);
        QTest::newRow("close normal") << TitleButton::Close << ButtonImage::Normal << QRect(29, 0, 41, 20);
        QTest::newRow("close hover") << TitleButton::Close << ButtonImage::Hover << QRect(29, 21, 41, 20);
        QTest::newRow("close pressed") << TitleButton::Close << ButtonImage::Pressed << QRect(29, 42, 41, 20);
    }
    void spriteRows() {
        QFETCH(TitleButton, button);
        QFETCH(ButtonImage, image);
        QFETCH(QRect, source);
        QCOMPARE(spriteSource(button, image), source);
    }

    // The eleven pieces in order; the destinations written out for two window sizes.
    void paintOrder_data() {
        addColumns<int, int, QList<QRect>>("w", "h", "destinations");
        QTest::newRow("window at start") << 753 << 473
                                         << QList<QRect>{{0, 0, 6, 88},    {6, 0, 741, 88},   {747, 0, 6, 88},
                                                         {0, 68, 3, 400},  {750, 68, 3, 400}, {0, 468, 6, 5},
                                                         {6, 468, 741, 5}, {747, 468, 6, 5},  {673, 2, 29, 20},
                                                         {702, 2, 41, 20}, {10, 12, 347, 70}};
        QTest::newRow("other size") << 400 << 300 << QList<QRect>{{0, 0, 6, 88},    {6, 0, 388, 88},   {394, 0, 6, 88},
                                                                  {0, 68, 3, 227},  {397, 68, 3, 227}, {0, 295, 6, 5},
                                                                  {6, 295, 388, 5}, {394, 295, 6, 5},  {320, 2, 29, 20},
                                                                  {349, 2, 41, 20}, {10, 12, 347, 70}};
    }
    void paintOrder() {
        QFETCH(int, w);
        QFETCH(int, h);
        QFETCH(QList<QRect>, destinations);
        const auto frame = Picture::FrameSkin;
        const QList<QRect> sources{{0, 0, 6, 88},   {6, 0, 1, 88},   {7, 0, 6, 88},  {0, 68, 3, 28},
                                   {10, 68, 3, 28}, {0, 96, 6, 5},   {6, 96, 1, 5},  {7, 96, 6, 5},
                                   {0, 0, 29, 20},  {29, 0, 41, 20}, {0, 0, 347, 70}};
        QList<PaintStep> expected;
        for (int i = 0; i < 11; ++i)
            expected.append({i < 8    ? frame
                             : i < 10 ? Picture::ButtonSprite
                                      : Picture::Banner,
                             destinations[i], sources[i]});
        const QList<PaintStep> steps = paintSteps(w, h);
        QCOMPARE(steps.size(), expected.size());
        for (int i = 0; i < steps.size(); ++i) {
            QCOMPARE(int(steps[i].picture), int(expected[i].picture));
            QCOMPARE(steps[i].destination, expected[i].destination);
            QCOMPARE(steps[i].source, expected[i].source);
        }
    }

    // Press and release on the window's own surface: the release alone decides.
    void titleButtons_data() {
        addColumns<QPoint, QPoint, bool, bool>("press", "release", "minimised", "prompted");
        QTest::newRow("minimise") << QPoint(690, 10) << QPoint(690, 10) << true << false;
        QTest::newRow("close") << QPoint(720, 10) << QPoint(720, 10) << false << true;
        QTest::newRow("shared column") << QPoint(702, 10) << QPoint(702, 10) << true << false;
        QTest::newRow("close, released away") << QPoint(720, 10) << QPoint(720, 30) << false << false;
        QTest::newRow("pressed below, released on close") << QPoint(400, 90) << QPoint(720, 22) << false << true;
    }
    void titleButtons() {
        QFETCH(QPoint, press);
        QFETCH(QPoint, release);
        QFETCH(bool, minimised);
        QFETCH(bool, prompted);
        auto w = m_fx->shownWindow();
        QVERIFY(w);
        test::ScriptedBoxes::setNextAnswer(MessageBox::Answer::Cancel);
        QTest::mousePress(w.get(), Qt::LeftButton, {}, press);
        QTest::mouseMove(w.get(), release);
        QTest::mouseRelease(w.get(), Qt::LeftButton, {}, release);
        QCOMPARE(w->isMinimized(), minimised);
        QCOMPARE(test::ScriptedBoxes::shownTexts(), prompted ? QStringList{farewell} : QStringList{});
        QVERIFY(w->isVisible()); // the close request was cancelled
    }

    // Without a window manager the window and the panels are moved by hand.
    void dragging_data() {
        addColumns<QString, QPoint, QPoint>("target", "from", "moved");
        const QPoint followed(50, 30);
        QTest::newRow("window by the top band") << QStringLiteral("MainWindow") << QPoint(200, 40) << followed;
        QTest::newRow("window below the band") << QStringLiteral("MainWindow") << QPoint(400, 90) << QPoint();
        QTest::newRow("add panel by its background") << QStringLiteral("添加新快递") << QPoint(300, 12) << followed;
        QTest::newRow("add panel by its title") << QStringLiteral("添加新快递") << QPoint(20, 12) << followed;
        QTest::newRow("add panel by a control") << QStringLiteral("添加新快递") << QPoint(150, 120) << QPoint();
    }
    void dragging() {
        QFETCH(QString, target);
        QFETCH(QPoint, from);
        QFETCH(QPoint, moved);
        auto w = m_fx->shownWindow();
        QVERIFY(w);
        w->addPanel().centre();
        w->addPanel().show();
        QWidget* widget = target == w->objectName() ? static_cast<QWidget*>(w.get()) : panelNamed(*w, target);
        QVERIFY(widget);
        const QPoint before = widget->pos();
        // The events go where the platform would send them: to the widget under the press point,
        // which keeps the mouse until the release.
        const QPoint at = widget == w.get() ? from : widget->mapTo(w.get(), from);
        QWidget* receiver = w->childAt(at) ? w->childAt(at) : w.get();
        const QPoint local = receiver->mapFrom(w.get(), at);
        QTest::mousePress(receiver, Qt::LeftButton, {}, local);
        QTest::mouseMove(receiver, local + QPoint(50, 30));
        QTest::mouseRelease(receiver, Qt::LeftButton, {}, local + QPoint(50, 30));
        QTRY_COMPARE(widget->pos(), before + moved);
    }

    void panelClosedByItsImage_data() {
        addColumns<QString, QString>("image", "panel");
        QTest::newRow("settings") << QStringLiteral("关闭相关设置") << QStringLiteral("相关设置");
        QTest::newRow("edit") << QStringLiteral("关闭单号操作") << QStringLiteral("单号操作");
        QTest::newRow("add") << QStringLiteral("关闭添加新快递") << QStringLiteral("添加新快递");
    }
    void panelClosedByItsImage() {
        QFETCH(QString, image);
        QFETCH(QString, panel);
        auto w = m_fx->shownWindow();
        QVERIFY(w);
        const QList<QFrame*> panels{addPanelFrame(*w), schedulePanelFrame(*w), parcelPanelFrame(*w)};
        for (QFrame* p : panels)
            p->show();
        // An armed timed query and a running loop query go on.
        w->requerySchedule().timedClock().start();
        w->requerySchedule().loopClock().start();
        auto* label = test::named<QLabel>(w.get(), image);
        QVERIFY(label);
        QVERIFY(!label->pixmap().isNull());
        const QPoint panelPos = label->parentWidget()->pos();
        QTest::mouseClick(label, Qt::LeftButton);
        for (QFrame* p : panels)
            QCOMPARE(p->isVisible(), p->accessibleName() != panel);
        QCOMPARE(label->parentWidget()->pos(), panelPos);
        QVERIFY(w->requerySchedule().timedClock().isActive());
        QVERIFY(w->requerySchedule().loopClock().isActive());
    }

    // From the keyboard: Shift+Tab from the panel's first field reaches its close image, which has
    // a name of its own and closes the panel with Space; Escape closes the panel from any field.
    void panelsFromTheKeyboard_data() {
        addColumns<QString, QString, QString>("panel", "firstField", "name");
        QTest::newRow("add") << QStringLiteral("添加新快递") << QStringLiteral("快递单号") << QStringLiteral("关闭添加新快递");
        QTest::newRow("edit") << QStringLiteral("单号操作") << QStringLiteral("快递单号") << QStringLiteral("关闭单号操作");
        QTest::newRow("settings") << QStringLiteral("相关设置") << QStringLiteral("时") << QStringLiteral("关闭相关设置");
    }
    void panelsFromTheKeyboard() {
        QFETCH(QString, panel);
        QFETCH(QString, firstField);
        QFETCH(QString, name);
        auto w = m_fx->shownWindow(true);
        QVERIFY(w);
        FloatingPanel* frame = panelNamed(*w, panel);
        auto* close = test::named<QLabel>(frame, name);
        auto* field = test::named<QWidget>(frame, firstField);
        QVERIFY(frame && close && field);
        QCOMPARE(close->accessibleName(), name);
        frame->showAlone();
        field->setFocus();
        QTest::keyClick(field, Qt::Key_Backtab);
        QCOMPARE(QApplication::focusWidget(), close);
        QTest::keyClick(close, Qt::Key_Space);
        QVERIFY(!frame->isVisible());
        frame->showAlone();
        field->setFocus();
        QTest::keyClick(field, Qt::Key_Escape);
        QVERIFY(!frame->isVisible());
    }

    // Enter in any field of the add panel runs "开始查询" (here its first check answers).
    void enterInTheAddPanelQueries_data() {
        QTest::addColumn<QString>("field");
        QTest::newRow("number") << QStringLiteral("快递单号");
        QTest::newRow("company") << QStringLiteral("快递公司");
        QTest::newRow("note") << QStringLiteral("快递备注");
    }
    void enterInTheAddPanelQueries() {
        QFETCH(QString, field);
        auto w = m_fx->shownWindow(true);
        QVERIFY(w);
        w->addPanel().openEmpty();
        auto* widget = test::named<QWidget>(&w->addPanel(), field);
        widget->setFocus();
        QTest::keyClick(widget == numberBox(*w) ? numberBox(*w)->lineEdit() : widget, Qt::Key_Return);
        QCOMPARE(w->strips().text(StatusStrips::Hint), QStringLiteral("请输入快递单号!"));
        QCOMPARE(numberBox(*w)->count(), 0); // the number box took no entry of its own
    }

    // The second pair also switches the header back to interactive: the lock alone must hold.
    void columnLock_data() {
        addColumns<bool, bool>("doubleClick", "interactive");
        QTest::newRow("divider drag") << false << false;
        QTest::newRow("divider double click") << true << false;
        QTest::newRow("divider drag, interactive header") << false << true;
        QTest::newRow("divider double click, interactive header") << true << true;
    }
    void columnLock() {
        QFETCH(bool, doubleClick);
        QFETCH(bool, interactive);
        auto w = m_fx->shownWindow();
        QVERIFY(w);
        QHeaderView* header = progressRows(*w)->header();
        if (interactive)
            header->setSectionResizeMode(QHeaderView::Interactive);
        const QList<int> widths{header->sectionSize(0), header->sectionSize(1), header->sectionSize(2)};
        QWidget* viewport = header->viewport();
        for (int section : {0, 1}) {
            const QPoint divider(header->sectionViewportPosition(section) + header->sectionSize(section) - 1,
                                 header->height() / 2);
            if (doubleClick) {
                QTest::mouseDClick(viewport, Qt::LeftButton, {}, divider);
            } else {
                QTest::mousePress(viewport, Qt::LeftButton, {}, divider);
                QTest::mouseMove(viewport, divider + QPoint(40, 0));
                QTest::mouseRelease(viewport, Qt::LeftButton, {}, divider + QPoint(40, 0));
            }
        }
        QCOMPARE((QList<int>{header->sectionSize(0), header->sectionSize(1), header->sectionSize(2)}), widths);
        QCOMPARE(widths, (QList<int>{60, 145, 495}));
    }
};

QTEST_MAIN(TestChrome)
#include "tst_chrome.moc"
