#include "book/store.h"
#include "core/catalogue.h"
#include "core/textcodec.h"
#include "gui/platform/alertplayer.h"
#include "gui/overviewwindow.h"
#include "gui/platform/messagebox.h"
#include "gui/statusstrips.h"
#include "support/datatable.h"
#include "support/fifo.h"
#include "support/scriptedseams.h"
#include "support/windowcontrols.h"
#include "support/windowfixture.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFontMetrics>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <sys/stat.h>

using namespace zjx;
using namespace zjx::test;

class TestMainWindowStartup : public QObject {
    Q_OBJECT
    std::unique_ptr<WindowFixture> m_fx; // each test's; its sites are on 127.0.0.1:9
private Q_SLOTS:
    void init() { m_fx = std::make_unique<WindowFixture>(); }
    void cleanup() { m_fx.reset(); }

    void startupState() {
        auto w = m_fx->makeWindow(false);
        QCOMPARE(w->size(), QSize(753, 473));
        QCOMPARE(w->windowTitle(), QStringLiteral("踪迹匣 V4.0 - Talvo全新版"));
        QCOMPARE(w->strips().text(StatusStrips::Version), QStringLiteral("4.0.181"));
        QCOMPARE(w->strips().text(StatusStrips::HintCaption), QStringLiteral("查询提示："));
        QCOMPARE(w->strips().text(StatusStrips::Hint), QStringLiteral("程序检测更新中..."));
        QCOMPARE(w->strips().text(StatusStrips::Maker), QStringLiteral("青檀坊出品"));
        for (int i : {0, 1, 2, 3})
            QCOMPARE(w->strips().colour(StatusStrips::Field(StatusStrips::StateHeading + i)), QColor(255, 255, 255));
        QCOMPARE(w->strips().text(StatusStrips::State), QStringLiteral("未查询"));
        QCOMPARE(w->strips().text(StatusStrips::Verdict), QStringLiteral("未查询"));

        QCOMPARE(companyBox(*w)->count(), CourierCatalogue::count);
        QCOMPARE(editCompanyBox(*w)->count(), CourierCatalogue::count);
        QCOMPARE(companyBox(*w)->currentIndex(), 0);
        QCOMPARE(companyBox(*w)->currentText(), QStringLiteral("AAE快递"));
        QCOMPARE(w->parcelQuery().companyCode(), QStringLiteral("aae"));
        QCOMPARE(editCompanyBox(*w)->currentIndex(), -1);

        QCOMPARE(hourBox(*w)->count(), 24);
        QCOMPARE(hourBox(*w)->currentText(), QStringLiteral("0"));
        QCOMPARE(hourBox(*w)->itemText(23), QStringLiteral("23"));
        QCOMPARE(minuteBox(*w)->count(), 60);
        QCOMPARE(minuteBox(*w)->currentText(), QStringLiteral("0"));
        QCOMPARE(intervalBox(*w)->count(), 360);
        QCOMPARE(intervalBox(*w)->itemText(0), QStringLiteral("1"));
        QCOMPARE(intervalBox(*w)->currentIndex(), -1);
        QCOMPARE(menuBox(*w)->count(), 8); // the six of old, the tracking-service settings, the overview
        QCOMPARE(menuBox(*w)->currentIndex(), -1);
        QCOMPARE(menuBox(*w)->itemText(5), QStringLiteral("神器!百宝工具箱"));
        QCOMPARE(menuBox(*w)->itemText(6), QStringLiteral("查询服务设置"));
        QCOMPARE(menuBox(*w)->itemText(7), QStringLiteral("全部快递"));

        QVERIFY(!queryButton(*w)->isEnabled());
        QVERIFY(!parcelSelector(*w)->isEnabled());
        QVERIFY(parcelSelector(*w)->currentText().isEmpty());
        QVERIFY(w->versionTimer().isActive());
        QVERIFY(w->strips().clock().isActive());
        QVERIFY(!w->parcelQuery().parseTimer().isActive() && !w->requerySchedule().timedClock().isActive() && !w->requerySchedule().loopClock().isActive());
        QVERIFY(closeAfterAdding(*w)->isChecked());
        QVERIFY(timedGroup(*w)->isVisibleTo(schedulePanelFrame(*w)));
        QVERIFY(!loopGroup(*w)->isVisibleTo(schedulePanelFrame(*w)));
        for (QFrame* panel : {addPanelFrame(*w), schedulePanelFrame(*w), parcelPanelFrame(*w)})
            QVERIFY(!panel->isVisibleTo(w.get()));

        QCOMPARE(progressRows(*w)->headerItem()->text(0), QStringLiteral("Num"));
        QCOMPARE(progressRows(*w)->headerItem()->text(2), QStringLiteral("物流进度 ( 双击列表可复制单条物流进度 )"));
        // Num 60 pixels; a whole time stamp fits its column; the three columns fit the list.
        QCOMPARE(progressRows(*w)->columnWidth(0), 60);
        const QFontMetrics metrics(progressRows(*w)->font());
        QVERIFY(metrics.horizontalAdvance(QStringLiteral("2013-05-20 08:00:00")) + 8 <= progressRows(*w)->columnWidth(1));
        QVERIFY(progressRows(*w)->columnWidth(0) + progressRows(*w)->columnWidth(1) + progressRows(*w)->columnWidth(2) <=
                progressRows(*w)->width() - 2 * progressRows(*w)->frameWidth());
        // The selector, then 操作 清空 添加 导出 设置 from left to right in one row, inside the window.
        QRect before = parcelSelector(*w)->geometry();
        for (QPushButton* b : {windowButton(*w, QStringLiteral("操作")), windowButton(*w, QStringLiteral("清空")), windowButton(*w, QStringLiteral("添加")), windowButton(*w, QStringLiteral("导出")), windowButton(*w, QStringLiteral("设置"))}) {
            QVERIFY2(b->geometry().left() > before.right(), qPrintable(b->text()));
            QCOMPARE(b->geometry().center().y(), parcelSelector(*w)->geometry().center().y());
            before = b->geometry();
        }
        QVERIFY(before.right() < 753);

        // The estimated delivery has room of its own beside the state, away from the frame's edge:
        // the longest range shows whole and touches no other control.
        QLabel* estimate = named<QLabel>(w.get(), QStringLiteral("预计送达"));
        w->strips().showEstimate(QStringLiteral("预计送达 12月29日-12月31日"));
        const QRect room(estimate->mapTo(w.get(), QPoint(0, 0)), estimate->size());
        QVERIFY(estimate->fontMetrics().horizontalAdvance(estimate->text()) <= estimate->contentsRect().width());
        QVERIFY(room.right() < w->width() - 3 - 8);
        for (QWidget* other : w->findChildren<QWidget*>())
            if (other != estimate && !other->isAncestorOf(estimate) && other->isVisibleTo(w.get()))
                QVERIFY2(!QRect(other->mapTo(w.get(), QPoint(0, 0)), other->size()).intersects(room),
                         qPrintable(other->objectName()));
    }

    // What a screen reader is told: the windows as windows, the panels as panels by their titles,
    // each chooser by its caption with its choice as its value and text.
    void accessibleNames() {
        auto w = m_fx->makeWindow();
        w->openOverview();
        typeIntoAddPanel(*w, QStringLiteral("123"), QStringLiteral("中通快递"), QStringLiteral("书"));
        editNumberBox(*w)->setText(QStringLiteral("456"));
        hourBox(*w)->setCurrentIndex(8);
        using Told = std::tuple<QWidget*, QAccessible::Role, const char16_t*, const char16_t*>;
        const Told told[] = {
            {w.get(), QAccessible::Window, u"踪迹匣 V4.0 - Talvo全新版", u""},
            {w->overview(), QAccessible::Window, u"全部快递", u""},
            {addPanelFrame(*w), QAccessible::Grouping, u"添加新快递", u""},
            {parcelPanelFrame(*w), QAccessible::Grouping, u"单号操作", u""},
            {schedulePanelFrame(*w), QAccessible::Grouping, u"相关设置", u""},
            {numberBox(*w), QAccessible::ComboBox, u"快递单号", u"123"},
            {companyBox(*w), QAccessible::ComboBox, u"快递公司", u"中通快递"},
            {noteBox(*w), QAccessible::EditableText, u"快递备注", u"书"},
            {editNumberBox(*w), QAccessible::EditableText, u"快递单号", u"456"},
            {editCompanyBox(*w), QAccessible::ComboBox, u"快递公司", u""},
            {editNoteBox(*w), QAccessible::EditableText, u"快递备注", u""},
            {parcelSelector(*w), QAccessible::ComboBox, u"已保存快递", u""},
            {menuBox(*w), QAccessible::ComboBox, u"菜单", u""},
            {hourBox(*w), QAccessible::ComboBox, u"时", u"8"},
            {minuteBox(*w), QAccessible::ComboBox, u"分", u"0"},
            {intervalBox(*w), QAccessible::ComboBox, u"间隔分钟", u""},
            {named<QComboBox>(w->overview(), QStringLiteral("状态")), QAccessible::ComboBox, u"状态", u"全部状态"},
        };
        for (const auto& [widget, role, name, value] : told) {
            QAccessibleInterface* face = QAccessible::queryAccessibleInterface(widget);
            QCOMPARE(face->role(), role);
            QCOMPARE(face->text(QAccessible::Name), QString::fromUtf16(name));
            QCOMPARE(face->text(QAccessible::Value), QString::fromUtf16(value));
            if (role == QAccessible::ComboBox)
                QCOMPARE(face->textInterface()->text(0, -1), QString::fromUtf16(value));
        }
    }

    void bookLoadsWithoutSelection() {
        m_fx->writeStore(codec::toGbk(QStringLiteral("111|申通快递|书\r\n333|圆通快递\r\n222|顺丰快递|鞋\r\n")));
        auto w = m_fx->makeWindow();
        QCOMPARE(parcelSelector(*w)->count(), 2);
        QCOMPARE(parcelSelector(*w)->itemText(0), QStringLiteral("书"));
        QCOMPARE(parcelSelector(*w)->itemText(1), QStringLiteral("鞋"));
        QCOMPARE(parcelSelector(*w)->currentIndex(), -1);
        QCOMPARE(w->bookKeeper().records(), (QStringList{QStringLiteral("111|申通快递|书"), QStringLiteral("222|顺丰快递|鞋")}));
        QVERIFY(w->bookKeeper().chosenRecordText.isEmpty());
    }

    void recordAppendsAndGuardsTheChosenParcel() {
        auto w = m_fx->makeWindow();
        typeIntoAddPanel(*w, QStringLiteral("123"), 90, QStringLiteral("爸爸衣服"));
        QCOMPARE(recordAddPanel(*w), BookKeeper::Recorded::Saved);
        QCOMPARE(w->strips().text(StatusStrips::Hint), QStringLiteral("快递单号已记录!"));
        // The same number with the same company is listed once, and the hint says so.
        QCOMPARE(recordAddPanel(*w), BookKeeper::Recorded::AlreadyListed);
        QCOMPARE(w->strips().text(StatusStrips::Hint), QStringLiteral("该单号已在快递列表中,未重复保存"));
        QCOMPARE(m_fx->storeBytes(), codec::toGbk(QStringLiteral("123|申通快递|爸爸衣服\r\n")));
        QCOMPARE(parcelSelector(*w)->count(), 1);
        QCOMPARE(parcelSelector(*w)->currentIndex(), -1);

        // A chosen parcel does not keep another one entered on the add panel out of the book.
        w->bookKeeper().chosenRecordText = w->bookKeeper().records().first();
        numberBox(*w)->setEditText(QStringLiteral("999"));
        QCOMPARE(recordAddPanel(*w), BookKeeper::Recorded::Saved);
        QCOMPARE(w->bookKeeper().records().size(), 2);
    }

    void recordKeepsTheBarCompany() {
        auto w = m_fx->makeWindow();
        typeIntoAddPanel(*w, QStringLiteral("55"), 40, QStringLiteral("灯"));
        recordAddPanel(*w);
        QCOMPARE(parcelSelector(*w)->itemText(0), QStringLiteral("灯"));
        auto again = m_fx->makeWindow();
        QCOMPARE(parcelSelector(*again)->itemText(0), QStringLiteral("灯"));
        QCOMPARE(again->bookKeeper().records().first(), QStringLiteral("55|共速达物流|快递|灯"));
    }

    void f8PastesWhereverTheFocusIs_data() {
        QTest::addColumn<QString>("clip");
        QTest::newRow("number") << QStringLiteral("SF1234567890");
        QTest::newRow("empty clipboard empties the box") << QString();
    }
    void f8PastesWhereverTheFocusIs() {
        QFETCH(QString, clip);
        auto w = m_fx->shownWindow();
        QVERIFY(w);
        numberBox(*w)->setEditText(QStringLiteral("old"));
        QGuiApplication::clipboard()->setText(clip);
        progressRows(*w)->setFocus();
        QTest::keyClick(progressRows(*w), Qt::Key_F8);
        QCOMPARE(numberBox(*w)->currentText(), clip);
        QVERIFY(!addPanelFrame(*w)->isVisible());
    }

    void farewellPrompt_data() {
        addColumns<int, bool, bool>("answer", "closes", "opensForum");
        QTest::newRow("yes") << int(MessageBox::Answer::Yes) << true << true;
        QTest::newRow("no") << int(MessageBox::Answer::No) << true << false;
        QTest::newRow("cancel") << int(MessageBox::Answer::Cancel) << false << false;
    }
    void farewellPrompt() {
        QFETCH(int, answer);
        QFETCH(bool, closes);
        QFETCH(bool, opensForum);
        auto w = m_fx->makeWindow();
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
        QCOMPARE(m_fx->openedUrls(), opensForum ? QStringList{QStringLiteral("http://127.0.0.1:9/forum")} : QStringList{});
    }

    // The real box: a screen reader reads its text with the line breaks shown, never a CR.
    void farewellReadsAsShown() {
        auto w = m_fx->makeWindow();
        w->show();
        test::ScriptedBoxes::uninstall();
        QStringList said;
        whenModalOpens<QMessageBox>([&said](QMessageBox* box) {
            for (QLabel* label : box->findChildren<QLabel*>())
                said << QAccessible::queryAccessibleInterface(label)->text(QAccessible::Name);
            box->button(QMessageBox::Cancel)->click();
        });
        const bool closed = w->close();
        test::ScriptedBoxes::install();
        QVERIFY(!closed);
        QVERIFY2(said.contains(QStringLiteral("感谢您对阿檀、对青檀坊系列的软件的支持!\n \n"
                                              "是否退出并到论坛可以下载更多青檀坊系列原创免费软件?")),
                 qPrintable(said.join(u'|')));
    }

    void menuOpensSites_data() {
        addColumns<int, QString>("entry", "url");
        QTest::newRow("feedback") << 1 << QStringLiteral("http://127.0.0.1:9/feedback");
        QTest::newRow("forum") << 2 << QStringLiteral("http://127.0.0.1:9/forum");
        QTest::newRow("home") << 3 << QStringLiteral("http://127.0.0.1:9/home");
        QTest::newRow("software") << 4 << QStringLiteral("http://127.0.0.1:9");
        QTest::newRow("toolbox is the feedback page") << 5 << QStringLiteral("http://127.0.0.1:9/feedback");
    }
    void menuOpensSites() {
        QFETCH(int, entry);
        QFETCH(QString, url);
        auto w = m_fx->makeWindow();
        w->menu().choose(entry);
        QCOMPARE(m_fx->openedUrls(), QStringList{url});
        QCOMPARE(menuBox(*w)->currentIndex(), -1); // back at rest, as the other entries leave it
    }

    void updateVerdict_data() {
        addColumns<int, int, QString, QString, bool>("last", "current", "state", "verdict", "alert");
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
        auto w = m_fx->makeWindow();
        w->parcelQuery().lastProgressCount = qint16(last);
        w->parcelQuery().progressCount = qint16(current);
        w->parcelQuery().showState(state);
        w->parcelQuery().judge(latestShown(*w));
        QCOMPARE(w->strips().text(StatusStrips::Verdict), verdict);
        QCOMPARE(w->strips().colour(StatusStrips::Verdict), alert ? QColor(255, 0, 0) : QColor(255, 255, 255));
        QCOMPARE(test::ScriptedAlerts::timesStarted(w->alertPlayer()), alert ? 1 : 0);
        if (alert)
            QCOMPARE(test::ScriptedAlerts::lastSource(w->alertPlayer()), m_fx->folder() + QStringLiteral("/ts.mp3"));
    }

    void clicksOnTheProgressList() {
        auto w = m_fx->shownWindow();
        QVERIFY(w);
        QWidget* viewport = progressRows(*w)->viewport();
        QTest::mouseClick(viewport, Qt::LeftButton, {}, QPoint(300, 200));
        QTRY_COMPARE(w->strips().text(StatusStrips::Hint), QStringLiteral("当前没有物流信息"));

        auto* row =
            addProgressRow(*w, QStringLiteral("1"), QStringLiteral("2013-05-20 08:00:00"), QStringLiteral("已签收"));
        const QPoint onRow = progressRows(*w)->visualItemRect(row).center();
        QTest::mouseDClick(viewport, Qt::LeftButton, {}, onRow);
        QTRY_COMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("2013-05-20 08:00:00 已签收"));
        QCOMPARE(w->strips().text(StatusStrips::Hint), QStringLiteral("单条物流进度已复制.."));
    }

    // A FIFO in place of a file read at start would block its open for good, before any window:
    // the program starts at once and takes the file as unreadable.
    void startsWithAFifoInPlaceOfAFile_data() {
        QTest::addColumn<QString>("file");
        for (const char* name : {"wlnum.ini", "wlnum-archive.ini", "parcels.json", "zjx-settings.ini", "skinh.she"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }
    void startsWithAFifoInPlaceOfAFile() {
        QFETCH(QString, file);
        FifoInPlace fifo(m_fx->folder() + u'/' + file);
        QVERIFY(fifo.made());
        QElapsedTimer started;
        started.start();
        auto w = m_fx->makeWindow();
        QVERIFY2(started.elapsed() < 2000, qPrintable(QStringLiteral("%1 ms").arg(started.elapsed())));
        if (file == Store::fileName()) {
            QVERIFY(w->strips().text(StatusStrips::Hint).contains(QStringLiteral("无法读取")));
            QVERIFY(fifo.stillThere());
        }
    }

    // Files an earlier version or another program left readable to others are the user's alone
    // from the start, before any of them is written again.
    void companionFilesAreTheOwnersAloneFromTheStart() {
        const QStringList names{"wlnum.ini",         "wlnum.ini.bak",         "wlnum.ini.bak.2", "wlnum.ini.lock",
                                "wlnum-archive.ini", "wlnum-archive.ini.bak", "parcels.json",    "zjx-settings.ini"};
        for (const QString& name : names) {
            const QString path = m_fx->folder() + u'/' + name;
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.close();
            QVERIFY(::chmod(QFile::encodeName(path).constData(), 0644) == 0);
        }
        auto w = m_fx->makeWindow();
        for (const QString& name : names)
            QCOMPARE(QFile::permissions(m_fx->folder() + u'/' + name) & 0x0077, QFile::Permissions());
    }

    void failedRewriteIsSaidAndKeptInMemory() {
        // The store path is a folder: no rewrite can succeed.
        QDir().mkpath(m_fx->storePath());
        auto broken = m_fx->makeWindow();
        numberBox(*broken)->setEditText(QStringLiteral("1"));
        noteBox(*broken)->setText(QStringLiteral("书"));
        recordAddPanel(*broken);
        QCOMPARE(broken->bookKeeper().records().size(), 1);
        QCOMPARE(parcelSelector(*broken)->count(), 1);
        QVERIFY(broken->strips().text(StatusStrips::Hint).startsWith(QStringLiteral("保存失败")));
        // Said once in a box, with the file named.
        QCOMPARE(test::ScriptedBoxes::shown().size(), 1);
        QCOMPARE(test::ScriptedBoxes::shown().first().icon, MessageBox::Icon::Warning);
        QVERIFY(test::ScriptedBoxes::shown().first().text.startsWith(QStringLiteral("快递列表文件无法读取: ") +
                                                                     m_fx->storePath()));
    }
};

QTEST_MAIN(TestMainWindowStartup)
#include "tst_mainwindow_startup.moc"
