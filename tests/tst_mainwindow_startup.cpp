#include "core/catalogue.h"
#include "core/textcodec.h"
#include "gui/platform/alertplayer.h"
#include "gui/platform/messagebox.h"
#include "support/scriptedseams.h"
#include "support/windowfixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFontMetrics>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

using namespace zjx;
using zjx::test::WindowFixture;

class TestMainWindowStartup : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void startupState() {
        WindowFixture fx;
        auto w = fx.makeWindow(false);
        QCOMPARE(w->size(), QSize(753, 473));
        QCOMPARE(w->windowTitle(), QStringLiteral("踪迹匣 V4.0 - Talvo全新版"));
        QCOMPARE(w->Label11[3]->text(), QStringLiteral("4.0.181"));
        QCOMPARE(w->Label11[0]->text(), QStringLiteral("查询提示："));
        QCOMPARE(w->Label11[2]->text(), QStringLiteral("程序检测更新中..."));
        QCOMPARE(w->Label11[4]->text(), QStringLiteral("青檀坊出品"));
        for (int i : {0, 1, 2, 3})
            QCOMPARE(MainWindow::labelColour(w->Label12[i]), QColor(255, 255, 255));
        QCOMPARE(w->Label12[2]->text(), QStringLiteral("未查询"));
        QCOMPARE(w->Label12[3]->text(), QStringLiteral("未查询"));

        QCOMPARE(w->Combo1->count(), CourierCatalogue::count);
        QCOMPARE(w->Text5->count(), CourierCatalogue::count);
        QCOMPARE(w->Combo1->currentIndex(), 0);
        QCOMPARE(w->Combo1->currentText(), QStringLiteral("AAE快递"));
        QCOMPARE(w->companyCode, QStringLiteral("aae"));
        QCOMPARE(w->Text5->currentIndex(), -1);

        QCOMPARE(w->Combo2->count(), 24);
        QCOMPARE(w->Combo2->currentText(), QStringLiteral("0"));
        QCOMPARE(w->Combo2->itemText(23), QStringLiteral("23"));
        QCOMPARE(w->Combo3->count(), 60);
        QCOMPARE(w->Combo3->currentText(), QStringLiteral("0"));
        QCOMPARE(w->Combo4->count(), 360);
        QCOMPARE(w->Combo4->itemText(0), QStringLiteral("1"));
        QCOMPARE(w->Combo4->currentIndex(), -1);
        QCOMPARE(w->Combo5->count(), 8); // the six of old, the tracking-service settings, the overview
        QCOMPARE(w->Combo5->currentIndex(), -1);
        QCOMPARE(w->Combo5->itemText(5), QStringLiteral("神器!百宝工具箱"));
        QCOMPARE(w->Combo5->itemText(6), QStringLiteral("查询服务设置"));
        QCOMPARE(w->Combo5->itemText(7), QStringLiteral("全部快递"));

        QVERIFY(!w->Command1->isEnabled());
        QVERIFY(!w->Text1->isEnabled());
        QVERIFY(w->Text1->currentText().isEmpty());
        QVERIFY(w->Timer3->isActive());
        QVERIFY(w->Timer5->isActive());
        QVERIFY(!w->Timer1->isActive() && !w->Timer4->isActive() && !w->Timer6->isActive());
        QVERIFY(w->Check1->isChecked());
        QVERIFY(w->Frame4->isVisibleTo(w->Picture4));
        QVERIFY(!w->Frame6->isVisibleTo(w->Picture4));
        for (QFrame* panel : {w->Picture3, w->Picture4, w->Picture5})
            QVERIFY(!panel->isVisibleTo(w.get()));

        QCOMPARE(w->ListView1->headerItem()->text(0), QStringLiteral("Num"));
        QCOMPARE(w->ListView1->headerItem()->text(2), QStringLiteral("物流进度 ( 双击列表可复制单条物流进度 )"));
        // Num 60 pixels; a whole time stamp fits its column; the three columns fit the list.
        QCOMPARE(w->ListView1->columnWidth(0), 60);
        const QFontMetrics metrics(w->ListView1->font());
        QVERIFY(metrics.horizontalAdvance(QStringLiteral("2013-05-20 08:00:00")) + 8 <= w->ListView1->columnWidth(1));
        QVERIFY(w->ListView1->columnWidth(0) + w->ListView1->columnWidth(1) + w->ListView1->columnWidth(2) <=
                w->ListView1->width() - 2 * w->ListView1->frameWidth());
        // The selector, then 操作 清空 添加 导出 设置 from left to right in one row, inside the window.
        QRect before = w->Text1->geometry();
        for (QPushButton* b : {w->Command14, w->Command7, w->Command3, w->Command6, w->Command4}) {
            QVERIFY2(b->geometry().left() > before.right(), qPrintable(b->text()));
            QCOMPARE(b->geometry().center().y(), w->Text1->geometry().center().y());
            before = b->geometry();
        }
        QVERIFY(before.right() < 753);
    }

    void accessibleNames() {
        WindowFixture fx;
        auto w = fx.makeWindow();
        const QList<std::pair<QWidget*, const char16_t*>> names = {
            {w->Text3, u"快递单号"},    {w->Combo1, u"快递公司"},   {w->Text2, u"快递备注"},
            {w->Text4, u"快递单号"},    {w->Text5, u"快递公司"},    {w->Text6, u"快递备注"},
            {w->Text1, u"已保存快递"},  {w->Combo5, u"菜单"},       {w->Combo2, u"时"},
            {w->Combo3, u"分"},         {w->Combo4, u"间隔分钟"},   {w->Picture3, u"添加新快递"},
            {w->Picture5, u"单号操作"}, {w->Picture4, u"相关设置"},
        };
        for (const auto& [widget, name] : names)
            QCOMPARE(widget->accessibleName(), QString::fromUtf16(name));
    }

    void bookLoadsWithoutSelection() {
        WindowFixture fx;
        fx.writeStore(codec::toGbk(QStringLiteral("111|申通快递|书\r\n333|圆通快递\r\n222|顺丰快递|鞋\r\n")));
        auto w = fx.makeWindow();
        QCOMPARE(w->Text1->count(), 2);
        QCOMPARE(w->Text1->itemText(0), QStringLiteral("书"));
        QCOMPARE(w->Text1->itemText(1), QStringLiteral("鞋"));
        QCOMPARE(w->Text1->currentIndex(), -1);
        QCOMPARE(w->Combo6, (QStringList{QStringLiteral("111|申通快递|书"), QStringLiteral("222|顺丰快递|鞋")}));
        QVERIFY(w->chosenRecordText.isEmpty());
    }

    void recordAppendsAndGuardsTheChosenParcel() {
        WindowFixture fx;
        auto w = fx.makeWindow();
        w->Text3->setEditText(QStringLiteral("123"));
        w->Combo1->setCurrentIndex(90);
        w->Text2->setText(QStringLiteral("爸爸衣服"));
        QCOMPARE(w->xr(), MainWindow::Recorded::Saved);
        QCOMPARE(w->Label11[2]->text(), QStringLiteral("快递单号已记录!"));
        // The same number with the same company is listed once, and the hint says so.
        QCOMPARE(w->xr(), MainWindow::Recorded::AlreadyListed);
        QCOMPARE(w->Label11[2]->text(), QStringLiteral("该单号已在快递列表中,未重复保存"));
        QCOMPARE(fx.storeBytes(), codec::toGbk(QStringLiteral("123|申通快递|爸爸衣服\r\n")));
        QCOMPARE(w->Text1->count(), 1);
        QCOMPARE(w->Text1->currentIndex(), -1);

        // A chosen parcel does not keep another one entered on the add panel out of the book.
        w->chosenRecordText = w->Combo6.first();
        w->Text3->setEditText(QStringLiteral("999"));
        QCOMPARE(w->xr(), MainWindow::Recorded::Saved);
        QCOMPARE(w->Combo6.size(), 2);
    }

    void recordKeepsTheBarCompany() {
        WindowFixture fx;
        auto w = fx.makeWindow();
        w->Text3->setEditText(QStringLiteral("55"));
        w->Combo1->setCurrentIndex(40);
        w->Text2->setText(QStringLiteral("灯"));
        w->xr();
        QCOMPARE(w->Text1->itemText(0), QStringLiteral("灯"));
        auto again = fx.makeWindow();
        QCOMPARE(again->Text1->itemText(0), QStringLiteral("灯"));
        QCOMPARE(again->Combo6.first(), QStringLiteral("55|共速达物流|快递|灯"));
    }

    void f8PastesWhereverTheFocusIs_data() {
        QTest::addColumn<QString>("clip");
        QTest::newRow("number") << QStringLiteral("SF1234567890");
        QTest::newRow("empty clipboard empties the box") << QString();
    }
    void f8PastesWhereverTheFocusIs() {
        QFETCH(QString, clip);
        WindowFixture fx;
        auto w = fx.makeWindow();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        w->Text3->setEditText(QStringLiteral("old"));
        QGuiApplication::clipboard()->setText(clip);
        w->ListView1->setFocus();
        QTest::keyClick(w->ListView1, Qt::Key_F8);
        QCOMPARE(w->Text3->currentText(), clip);
        QVERIFY(!w->Picture3->isVisible());
    }

    void farewellPrompt_data() {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("closes");
        QTest::addColumn<bool>("opensForum");
        QTest::newRow("yes") << int(MessageBox::Answer::Yes) << true << true;
        QTest::newRow("no") << int(MessageBox::Answer::No) << true << false;
        QTest::newRow("cancel") << int(MessageBox::Answer::Cancel) << false << false;
    }
    void farewellPrompt() {
        QFETCH(int, answer);
        QFETCH(bool, closes);
        QFETCH(bool, opensForum);
        WindowFixture fx(QStringLiteral("127.0.0.1:9"));
        auto w = fx.makeWindow();
        w->show();
        test::ScriptedBoxes::clearShown();
        test::ScriptedBoxes::setNextAnswer(MessageBox::Answer(answer));
        QCOMPARE(w->close(), closes);
        QCOMPARE(w->isVisible(), !closes);
        const QList<test::ScriptedBoxes::Shown> shown = test::ScriptedBoxes::shown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown.first().buttons, MessageBox::Buttons::YesNoCancel);
        QCOMPARE(shown.first().text, QStringLiteral("感谢您对阿檀、对青檀坊系列的软件的支持!\r \r"
                                                    "是否退出并到论坛可以下载更多青檀坊系列原创免费软件?"));
        QCOMPARE(fx.openedUrls(), opensForum ? QStringList{QStringLiteral("http://127.0.0.1:9/forum")} : QStringList{});
    }

    void menuOpensSites_data() {
        QTest::addColumn<int>("entry");
        QTest::addColumn<QString>("url");
        QTest::newRow("feedback") << 1 << QStringLiteral("http://127.0.0.1:9/feedback");
        QTest::newRow("forum") << 2 << QStringLiteral("http://127.0.0.1:9/forum");
        QTest::newRow("home") << 3 << QStringLiteral("http://127.0.0.1:9/home");
        QTest::newRow("software") << 4 << QStringLiteral("http://127.0.0.1:9");
        QTest::newRow("toolbox is the feedback page") << 5 << QStringLiteral("http://127.0.0.1:9/feedback");
    }
    void menuOpensSites() {
        QFETCH(int, entry);
        QFETCH(QString, url);
        WindowFixture fx(QStringLiteral("127.0.0.1:9"));
        auto w = fx.makeWindow();
        w->Combo5->setCurrentIndex(entry);
        w->Combo5_Click();
        QCOMPARE(fx.openedUrls(), QStringList{url});
        QCOMPARE(w->Combo5->currentIndex(), entry);
    }

    void updateVerdict_data() {
        QTest::addColumn<int>("last");
        QTest::addColumn<int>("current");
        QTest::addColumn<QString>("state");
        QTest::addColumn<QString>("verdict");
        QTest::addColumn<bool>("alert");
        QTest::newRow("first answer") << 0 << 3 << QStringLiteral("运送中") << QStringLiteral("有更新") << true;
        QTest::newRow("same count") << 3 << 3 << QStringLiteral("运送中") << QStringLiteral("无更新") << false;
        QTest::newRow("fewer") << 3 << 2 << QStringLiteral("派件中") << QStringLiteral("无更新") << false;
        QTest::newRow("more") << 3 << 4 << QStringLiteral("派件中") << QStringLiteral("有更新") << true;
        QTest::newRow("signed never updates")
            << 3 << 9 << QStringLiteral("已签收") << QStringLiteral("无更新") << false;
    }
    void updateVerdict() {
        QFETCH(int, last);
        QFETCH(int, current);
        QFETCH(QString, state);
        QFETCH(QString, verdict);
        QFETCH(bool, alert);
        WindowFixture fx;
        auto w = fx.makeWindow();
        w->lastProgressCount = qint16(last);
        w->progressCount = qint16(current);
        w->Label12[2]->setText(state);
        w->gxtj();
        QCOMPARE(w->Label12[3]->text(), verdict);
        QCOMPARE(MainWindow::labelColour(w->Label12[3]), alert ? QColor(255, 0, 0) : QColor(255, 255, 255));
        QCOMPARE(test::ScriptedAlerts::timesStarted(w->W1), alert ? 1 : 0);
        if (alert)
            QCOMPARE(test::ScriptedAlerts::lastSource(w->W1), fx.folder() + QStringLiteral("/ts.mp3"));
    }

    void clicksOnTheProgressList() {
        WindowFixture fx;
        auto w = fx.makeWindow();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        QWidget* viewport = w->ListView1->viewport();
        QTest::mouseClick(viewport, Qt::LeftButton, {}, QPoint(300, 200));
        QTRY_COMPARE(w->Label11[2]->text(), QStringLiteral("当前没有物流信息"));

        auto* row = new QTreeWidgetItem(
            w->ListView1, {QStringLiteral("1"), QStringLiteral("2013-05-20 08:00:00"), QStringLiteral("已签收")});
        const QPoint onRow = w->ListView1->visualItemRect(row).center();
        QTest::mouseDClick(viewport, Qt::LeftButton, {}, onRow);
        QTRY_COMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("2013-05-20 08:00:00 已签收"));
        QCOMPARE(w->Label11[2]->text(), QStringLiteral("单条物流进度已复制.."));
    }

    void failedRewriteIsSaidAndKeptInMemory() {
        WindowFixture fx;
        // The store path is a folder: no rewrite can succeed.
        QDir().mkpath(fx.storePath());
        auto broken = fx.makeWindow();
        broken->Text3->setEditText(QStringLiteral("1"));
        broken->Text2->setText(QStringLiteral("书"));
        broken->xr();
        QCOMPARE(broken->Combo6.size(), 1);
        QCOMPARE(broken->Text1->count(), 1);
        QVERIFY(broken->Label11[2]->text().startsWith(QStringLiteral("保存失败")));
        // Said once in a box, with the file named.
        QCOMPARE(test::ScriptedBoxes::shown().size(), 1);
        QCOMPARE(test::ScriptedBoxes::shown().first().icon, MessageBox::Icon::Warning);
        QVERIFY(test::ScriptedBoxes::shown().first().text.startsWith(QStringLiteral("快递列表文件无法读取: ") +
                                                                     fx.storePath()));
    }
};

QTEST_MAIN(TestMainWindowStartup)
#include "tst_mainwindow_startup.moc"
