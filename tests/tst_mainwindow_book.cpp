#include "core/catalogue.h"
#include "core/textcodec.h"
#include "gui/balloontip.h"
#include "gui/platform/messagebox.h"
#include "gui/statusstrips.h"
#include "support/datarows.h"
#include "support/datatable.h"
#include "support/files.h"
#include "support/scriptedseams.h"
#include "support/testserver.h"
#include "support/windowcontrols.h"
#include "support/windowfixture.h"

#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QTreeWidget>
#include <memory>

using namespace zjx;
using namespace zjx::test;

namespace {

const QString book = QStringLiteral("111|申通快递|书\r\n222|顺丰快递|鞋\r\n");
const QString answer = QStringLiteral("<table><tr><th>时间</th><th>地点和跟踪进度</th></tr>"
                                      "<tr><td>2013-05-19 20:00:00</td><td>到达 上海</td></tr>"
                                      "<tr><td>2013-05-20 08:00:00</td><td>已签收</td></tr></table>");

QByteArray gbk(const QString& s) {
    return codec::toGbk(s);
}

QStringList selectorEntries(const QComboBox* box) {
    QStringList out;
    for (int i = 0; i < box->count(); ++i)
        out << box->itemText(i);
    return out;
}

// The user chooses the book's second parcel (222, 鞋) and the window asks about it.
void chooseSecond(MainWindow& w) {
    parcelSelector(w)->setCurrentIndex(1);
    w.askAboutChosen();
}

// The book, the entry chosen, the parcel's number, company and note as read, the add panel's company
// then, and the service code asked for.
using ChooseRow = std::tuple<const char*, QByteArray, int, QString, QString, QString, QString, QString>;
// The edit panel's number, company (its index) and note, and the box they bring.
using ModifyCheckRow = std::tuple<const char*, QString, int, QString, QString>;

} // namespace

class TestMainWindowBook : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() {
        m_server = std::make_unique<TestServer>();
        m_server->setResponse("/", {200, gbk(answer)});
    }
    void cleanupTestCase() { m_server.reset(); }

    void init() {
        m_server->clearRequests();
        m_fx = std::make_unique<WindowFixture>(m_server->hostPort());
        m_fx->writeStore(gbk(book));
        m_w = m_fx->makeWindow();
        QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    }
    void cleanup() {
        m_w.reset();
        m_fx.reset();
    }

    void chooseFlow_data() {
        // An unknown company leaves the add panel's company (the first one after start-up) selected.
        // A note holding "|" is the whole rest of the line.
        const ChooseRow rows[] = {
            {"second entry", gbk(book), 1, "222", "顺丰快递", "鞋", "顺丰快递", "shunfeng"},
            {"first entry", gbk(book), 0, "111", "申通快递", "书", "申通快递", "shentong"},
            {"company not in the catalogue", gbk(QStringLiteral("9 9|火星快递|帽|旧\r\n")), 0, "9 9", "火星快递",
             "帽|旧", "AAE快递", "aae"},
            {"company with a bar", gbk(QStringLiteral("5|共速达物流|快递|箱\r\n")), 0, "5", "共速达物流|快递", "箱",
             "共速达物流|快递", "gongsuda"},
        };
        addRows(rows);
    }
    void chooseFlow() {
        QFETCH(ChooseRow, row);
        const auto& [name, store, entry, number, company, note, combo1, code] = row;
        m_fx->writeStore(store);
        m_w = m_fx->makeWindow();
        m_w->parcelQuery().progressCount = 5;
        m_w->parcelQuery().lastProgressCount = 4;

        parcelSelector(*m_w)->setCurrentIndex(entry);
        Q_EMIT parcelSelector(*m_w)->activated(entry);

        QCOMPARE(m_w->bookKeeper().queryNumber, number);
        QCOMPARE(m_w->bookKeeper().companyName, company);
        QCOMPARE(m_w->bookKeeper().parcelNote, note);
        QCOMPARE(m_w->bookKeeper().parcelIndexText, QString::number(entry));
        QCOMPARE(m_w->bookKeeper().chosenRecordText, codec::fromGbk(store).split(QStringLiteral("\r\n")).at(entry));
        QCOMPARE(companyBox(*m_w)->currentText(), combo1);
        QCOMPARE(m_w->parcelQuery().progressCount, qint16(0));
        QCOMPARE(m_w->parcelQuery().lastProgressCount, qint16(0));

        const QList<test::RecordedRequest> requests = m_server->requests();
        QCOMPARE(requests.size(), 1);
        QCOMPARE(QString::fromStdString(requests.first().param("nu")), number);
        QCOMPARE(QString::fromStdString(requests.first().param("com")), code);
        // A re-query never adds a record.
        QCOMPARE(m_fx->storeBytes(), store);

        // Choosing the same entry again asks again.
        Q_EMIT parcelSelector(*m_w)->activated(entry);
        QCOMPARE(m_server->requests().size(), 2);
    }

    // Each button of the command row does its own work, clicked by its name: the panel it opens (its
    // name; none for the others), the boxes it shows (清空's question, answered No; 导出's save dialog,
    // cancelled), the save dialogs it opens.
    void commandButtons_data() {
        addColumns<QString, QStringList, int>("panel", "boxes", "dialogs");
        QTest::newRow("操作") << QStringLiteral("单号操作") << QStringList() << 0;
        QTest::newRow("清空") << QString() << QStringList{QStringLiteral("确定要清空查询列表吗?")} << 0;
        QTest::newRow("添加") << QStringLiteral("添加新快递") << QStringList() << 0;
        QTest::newRow("导出") << QString() << QStringList{QStringLiteral("已取消保存")} << 1;
        QTest::newRow("设置") << QStringLiteral("相关设置") << QStringList() << 0;
    }
    void commandButtons() {
        QFETCH(QString, panel);
        QFETCH(QStringList, boxes);
        QFETCH(int, dialogs);
        chooseSecond(*m_w);
        QTRY_COMPARE(progressRows(*m_w)->topLevelItemCount(), 2);
        const int dialogsBefore = test::ScriptedSaveDialog::timesShown();
        test::ScriptedSaveDialog::setNextFileName(QString());
        test::ScriptedBoxes::setNextAnswer(MessageBox::Answer::No);
        windowButton(*m_w, QString::fromUtf8(QTest::currentDataTag()))->click();
        QCOMPARE(test::ScriptedBoxes::shownTexts(), boxes);
        QCOMPARE(test::ScriptedSaveDialog::timesShown() - dialogsBefore, dialogs);
        for (QFrame* frame : {addPanelFrame(*m_w), parcelPanelFrame(*m_w), schedulePanelFrame(*m_w)})
            QCOMPARE(frame->isVisibleTo(m_w.get()), frame->accessibleName() == panel);
        QCOMPARE(m_w->bookKeeper().records().size(), 2);
    }

    void copyChosenParcel() {
        chooseSecond(*m_w);
        editNoteBox(*m_w)->setText(QStringLiteral("not this"));
        m_w->copyParcel();
        QCOMPARE(QGuiApplication::clipboard()->text(),
                 QStringLiteral("快递物品：鞋\r\n快递公司：顺丰快递\r\n快递单号：222"));
        QCOMPARE(m_w->strips().text(StatusStrips::Hint), QStringLiteral("当前快递信息已复制.."));
    }

    void nothingChosen() {
        m_w->openParcelPanel();
        QCOMPARE(m_w->strips().text(StatusStrips::Hint), QStringLiteral("请先选择快递.."));
        QVERIFY(parcelPanelFrame(*m_w)->isHidden());
        m_w->setHint(QString());
        m_w->copyParcel();
        QCOMPARE(m_w->strips().text(StatusStrips::Hint), QStringLiteral("请先选择快递.."));
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("before"));
    }

    void panels() {
        chooseSecond(*m_w);
        m_w->schedulePanel().showAlone();
        QVERIFY(!schedulePanelFrame(*m_w)->isHidden());
        m_w->openParcelPanel();
        QVERIFY(schedulePanelFrame(*m_w)->isHidden());
        QVERIFY(!parcelPanelFrame(*m_w)->isHidden());
        QCOMPARE(parcelPanelFrame(*m_w)->geometry(), QRect(186, 136, 380, 200)); // centred in 753 × 473
        QCOMPARE(editNumberBox(*m_w)->text(), QStringLiteral("222"));
        QCOMPARE(editCompanyBox(*m_w)->currentText(), QStringLiteral("顺丰快递"));
        QCOMPARE(editNoteBox(*m_w)->text(), QStringLiteral("鞋"));
        m_w->schedulePanel().showAlone();
        QVERIFY(parcelPanelFrame(*m_w)->isHidden());
        QVERIFY(!schedulePanelFrame(*m_w)->isHidden());
        QCOMPARE(schedulePanelFrame(*m_w)->geometry(), QRect(206, 158, 340, 156));
    }

    void modifyChecks_data() {
        const ModifyCheckRow rows[] = {
            {"no number", QString(), 3, "n", "请输入单号!"},
            {"no company", "1", -1, "n", "请输入快递公司!"},
            {"no note", "1", 3, QString(), "请输入备注信息!"},
            {"bar in the number", "SF1234567890|X", 3, "n", "单号不正确,请您检查!"},
            {"only a line break", "\r\n", 3, "n", "请输入单号!"},
        };
        addRows(rows);
    }
    void modifyChecks() {
        QFETCH(ModifyCheckRow, row);
        const auto& [name, number, company, note, message] = row;
        chooseSecond(*m_w);
        m_w->openParcelPanel();
        editNumberBox(*m_w)->setText(number);
        editCompanyBox(*m_w)->setCurrentIndex(company);
        editNoteBox(*m_w)->setText(note);
        m_w->parcelPanel().requestChange();
        QCOMPARE(test::ScriptedBoxes::shownTexts(), QStringList{message});
        QCOMPARE(m_fx->storeBytes(), gbk(book));
        QCOMPARE(m_server->requests().size(), 1);
        QVERIFY(!parcelPanelFrame(*m_w)->isHidden());
    }

    void modify_data() {
        addColumns<bool, QString, QStringList>("yes", "after", "entries");
        QTest::newRow("yes") << true << "111|申通快递|书\r\n222|顺丰快递|靴\r\n" << QStringList{"书", "靴"};
        QTest::newRow("no") << false << book << QStringList{"书", "鞋"};
    }
    void modify() {
        QFETCH(bool, yes);
        QFETCH(QString, after);
        QFETCH(QStringList, entries);
        chooseSecond(*m_w);
        m_w->openParcelPanel();
        editNoteBox(*m_w)->setText(QStringLiteral("靴"));
        test::ScriptedBoxes::setNextAnswer(yes ? MessageBox::Answer::Yes : MessageBox::Answer::No);
        m_w->parcelPanel().requestChange();

        checkBookAfterAnswer(QStringLiteral("确定要修改[鞋]此单号码?"), after, entries);
        // The panel closes either way.
        QCOMPARE(m_w->bookKeeper().parcelIndexText, QStringLiteral("0"));
        QCOMPARE(m_server->requests().size(), 2);
        QVERIFY(parcelPanelFrame(*m_w)->isHidden());
    }

    // The edit panel's texts go into the record on one line, and a note holding "|" reads back whole.
    void modifiedRecordReadsBackWhole() {
        chooseSecond(*m_w);
        m_w->openParcelPanel();
        editNumberBox(*m_w)->setText(QStringLiteral("SF1234567890\r\n"));
        editNoteBox(*m_w)->setText(QStringLiteral("爸爸衣服|冬\n"));
        test::ScriptedBoxes::setNextAnswer(MessageBox::Answer::Yes);
        m_w->parcelPanel().requestChange();
        const QString changed = QStringLiteral("SF1234567890|顺丰快递|爸爸衣服|冬");
        QCOMPARE(m_fx->storeBytes(), gbk(QStringLiteral("111|申通快递|书\r\n") + changed + QStringLiteral("\r\n")));
        auto again = m_fx->makeWindow();
        QCOMPARE(selectorEntries(parcelSelector(*again)), (QStringList{QStringLiteral("书"), QStringLiteral("爸爸衣服|冬")}));
        chooseSecond(*again);
        QCOMPARE(again->bookKeeper().queryNumber, QStringLiteral("SF1234567890"));
        QCOMPARE(again->bookKeeper().companyName, QStringLiteral("顺丰快递"));
    }

    // A book that exists but cannot be read is never overwritten: the window says so, and changes
    // live in memory until the user clears the book.
    void unreadableBookIsNeverOverwritten() {
        m_w.reset();
        QFile::remove(m_fx->storePath());
        QVERIFY(QDir().mkpath(m_fx->storePath() + QStringLiteral("/inside")));
        m_w = m_fx->makeWindow();
        QVERIFY(m_w->strips().text(StatusStrips::Hint).contains(QStringLiteral("无法读取")));
        numberBox(*m_w)->setEditText(QStringLiteral("9"));
        noteBox(*m_w)->setText(QStringLiteral("伞"));
        QCOMPARE(recordAddPanel(*m_w), BookKeeper::Recorded::NotSaved);
        QCOMPARE(m_w->bookKeeper().records().size(), 1);
        QVERIFY(QFileInfo(m_fx->storePath() + QStringLiteral("/inside")).isDir());
        QCOMPARE(test::ScriptedBoxes::shown().size(), 1);
        QVERIFY(test::ScriptedBoxes::shownTexts().first().contains(m_fx->storePath()));
        numberBox(*m_w)->setEditText(QStringLiteral("10"));
        recordAddPanel(*m_w);
        QCOMPARE(test::ScriptedBoxes::shown().size(), 1);
        QVERIFY(m_w->strips().text(StatusStrips::Hint).contains(QStringLiteral("无法读取")));
        // Once the file can be read, its parcels come first and those added meanwhile follow.
        QVERIFY(QDir(m_fx->storePath()).removeRecursively());
        m_fx->writeStore(gbk(QStringLiteral("111|申通快递|书\r\n")));
        numberBox(*m_w)->setEditText(QStringLiteral("11"));
        QCOMPARE(recordAddPanel(*m_w), BookKeeper::Recorded::Saved);
        QCOMPARE(m_fx->storeBytes(),
                 gbk(QStringLiteral("111|申通快递|书\r\n9|AAE快递|伞\r\n10|AAE快递|伞\r\n11|AAE快递|伞\r\n")));
        QCOMPARE(m_w->strips().text(StatusStrips::Hint), QStringLiteral("快递单号已记录!"));
    }

    // A UTF-8 book, or one with lines that cannot be read: everything readable loads, the hint
    // counts the rest, and the first rewrite keeps the file as it was in wlnum.ini.bak.
    void foreignBookIsKeptBeforeTheFirstRewrite_data() {
        addColumns<QByteArray, int>("bytes", "unreadable");
        QTest::newRow("UTF-8") << (QStringLiteral("\xFEFF") + book).toUtf8() << 0;
        QTest::newRow("damaged lines") << QByteArray("\x81\xff|\r\n") + gbk(book) + "x|y\r\n" << 2;
    }
    void foreignBookIsKeptBeforeTheFirstRewrite() {
        QFETCH(QByteArray, bytes);
        QFETCH(int, unreadable);
        m_w.reset();
        m_fx->writeStore(bytes);
        m_w = m_fx->makeWindow();
        QCOMPARE(selectorEntries(parcelSelector(*m_w)), (QStringList{QStringLiteral("书"), QStringLiteral("鞋")}));
        QCOMPARE(m_w->strips().text(StatusStrips::Hint).contains(QStringLiteral("%1行无法完整读取").arg(unreadable)), unreadable > 0);
        numberBox(*m_w)->setEditText(QStringLiteral("333"));
        noteBox(*m_w)->setText(QStringLiteral("伞"));
        QCOMPARE(recordAddPanel(*m_w), BookKeeper::Recorded::Saved);
        QFile kept(m_fx->storePath() + QStringLiteral(".bak"));
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), bytes);
        // The book itself is GBK again.
        QCOMPARE(m_fx->storeBytes(), gbk(book + QStringLiteral("333|AAE快递|伞\r\n")));
        m_w->bookKeeper().writeStore();
        QCOMPARE(QDir(m_fx->folder()).entryList({QStringLiteral("wlnum.ini.bak*")}).size(), 1);
    }

    void remove_data() {
        addColumns<bool, QString, QStringList>("yes", "after", "entries");
        QTest::newRow("yes") << true << "111|申通快递|书\r\n" << QStringList{"书"};
        QTest::newRow("no") << false << book << QStringList{"书", "鞋"};
    }
    void remove() {
        QFETCH(bool, yes);
        QFETCH(QString, after);
        QFETCH(QStringList, entries);
        chooseSecond(*m_w);
        m_w->openParcelPanel();
        test::ScriptedBoxes::setNextAnswer(yes ? MessageBox::Answer::Yes : MessageBox::Answer::No);
        m_w->deleteParcel();

        checkBookAfterAnswer(QStringLiteral("确定要删除[鞋]此单号码?"), after, entries);
        QCOMPARE(parcelPanelFrame(*m_w)->isHidden(), yes);
    }

    void removeOnlyParcel() {
        m_fx->writeStore(gbk(QStringLiteral("7|申通快递|书\r\n")));
        m_w = m_fx->makeWindow();
        parcelSelector(*m_w)->setCurrentIndex(0);
        m_w->askAboutChosen();
        test::ScriptedBoxes::setNextAnswer(MessageBox::Answer::Yes);
        m_w->deleteParcel();
        QCOMPARE(test::ScriptedBoxes::shownTexts(), QStringList{QStringLiteral("确定要删除[书]此单号码?")});
        QVERIFY(m_fx->storeExists());
        QCOMPARE(m_fx->storeBytes(), QByteArray());
        QCOMPARE(parcelSelector(*m_w)->count(), 0);
        QCOMPARE(parcelSelector(*m_w)->currentIndex(), -1);
        QVERIFY(m_w->bookKeeper().records().isEmpty());
        QCOMPARE(m_server->requests().size(), 1); // nothing left to ask about
        QCOMPARE(m_w->bookKeeper().queryNumber, QStringLiteral("7"));
    }

    void clear_data() {
        // olderBackup: wlnum.ini.bak is there from an earlier clear
        addColumns<bool, bool>("yes", "olderBackup");
        QTest::newRow("yes") << true << false;
        QTest::newRow("yes, an older backup stays") << true << true;
        QTest::newRow("no") << false << false;
    }
    void clear() {
        QFETCH(bool, yes);
        QFETCH(bool, olderBackup);
        const QString backup = m_fx->storePath() + QStringLiteral(".bak");
        if (olderBackup) {
            QFile older(backup);
            QVERIFY(older.open(QIODevice::WriteOnly) && older.write("older") == 5);
        }
        chooseSecond(*m_w);
        QTRY_COMPARE(progressRows(*m_w)->topLevelItemCount(), 2);
        numberBox(*m_w)->setEditText(QStringLiteral("333"));
        m_w->setHint(QStringLiteral("x"));
        test::ScriptedBoxes::setNextAnswer(yes ? MessageBox::Answer::Yes : MessageBox::Answer::No);
        m_w->clearBook();

        QCOMPARE(test::ScriptedBoxes::shownTexts(), QStringList{QStringLiteral("确定要清空查询列表吗?")});
        QCOMPARE(test::ScriptedBoxes::shown().first().defaultAnswer, MessageBox::Answer::No);
        QCOMPARE(m_fx->storeExists(), !yes);
        // The book as it was is kept beside it, an older backup untouched.
        QCOMPARE(fileBytes(backup, "(none)"), olderBackup ? QByteArray("older")
                                              : yes       ? gbk(book)
                                                          : QByteArray("(none)"));
        QCOMPARE(fileBytes(backup + QStringLiteral(".2"), "(none)"), olderBackup ? gbk(book) : QByteArray("(none)"));
        QCOMPARE(parcelSelector(*m_w)->count(), yes ? 0 : 2);
        QCOMPARE(m_w->bookKeeper().records().size(), yes ? 0 : 2);
        QCOMPARE(m_w->bookKeeper().chosenRecordText, yes ? QString() : QStringLiteral("222|顺丰快递|鞋"));
        QCOMPARE(progressRows(*m_w)->topLevelItemCount(), yes ? 0 : 2);
        QCOMPARE(numberBox(*m_w)->currentText(), yes ? QString() : QStringLiteral("333"));
        QCOMPARE(m_w->strips().text(StatusStrips::Hint), yes ? QStringLiteral("查询列表已清空...") : QStringLiteral("x"));
        QCOMPARE(m_w->bookKeeper().queryNumber, QStringLiteral("222"));
        if (!yes)
            QCOMPARE(m_fx->storeBytes(), gbk(book));
    }

    void progressRowGestures() {
        chooseSecond(*m_w);
        QTRY_COMPARE(progressRows(*m_w)->topLevelItemCount(), 2);
        progressRows(*m_w)->setCurrentItem(progressRows(*m_w)->topLevelItem(0));
        m_w->progressList().rowClicked();
        BalloonTip* balloon = m_w->progressList().balloon();
        QVERIFY(balloon);
        QCOMPARE(balloon->title(), QStringLiteral("物流跟踪信息"));
        QCOMPARE(balloon->text(), QStringLiteral("时间:2013-05-20 08:00:00\r\n物流进度:已签收"));
        QCOMPARE(balloon->attachedControl(), progressRows(*m_w));

        progressRows(*m_w)->setCurrentItem(progressRows(*m_w)->topLevelItem(1));
        m_w->progressList().rowClicked();
        QCOMPARE(m_w->progressList().balloon(), balloon); // one balloon for the window's life
        QCOMPARE(balloon->createCount(), 2);
        QCOMPARE(balloon->text(), QStringLiteral("时间:2013-05-19 20:00:00\r\n物流进度:到达 上海"));

        progressRows(*m_w)->setCurrentItem(progressRows(*m_w)->topLevelItem(0));
        m_w->progressList().rowDoubleClicked();
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("2013-05-20 08:00:00 已签收"));
        QCOMPARE(m_w->strips().text(StatusStrips::Hint), QStringLiteral("单条物流进度已复制.."));
    }

    void noProgressRow_data() {
        addColumns<bool, bool>("rows", "doubleClick");
        QTest::newRow("empty list, click") << false << false;
        QTest::newRow("empty list, double click") << false << true;
        QTest::newRow("nothing selected, click") << true << false;
        QTest::newRow("nothing selected, double click") << true << true;
    }
    void noProgressRow() {
        QFETCH(bool, rows);
        QFETCH(bool, doubleClick);
        if (rows)
            addProgressRow(*m_w, QStringLiteral("1"), QStringLiteral("t"), QStringLiteral("p"));
        if (doubleClick)
            m_w->progressList().rowDoubleClicked();
        else
            m_w->progressList().rowClicked();
        QCOMPARE(m_w->strips().text(StatusStrips::Hint), QStringLiteral("当前没有物流信息"));
        QVERIFY(!m_w->progressList().balloon());
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("before"));
    }

private:
    // After the user answered `question` about the second parcel: the book holds `after` on disk and in
    // memory, the selector lists `entries`, and the first parcel is chosen and asked about.
    void checkBookAfterAnswer(const QString& question, const QString& after, const QStringList& entries) {
        QCOMPARE(test::ScriptedBoxes::shownTexts(), QStringList{question});
        QCOMPARE(m_fx->storeBytes(), gbk(after));
        QCOMPARE(m_w->bookKeeper().records().join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"), after);
        QCOMPARE(selectorEntries(parcelSelector(*m_w)), entries);
        QCOMPARE(parcelSelector(*m_w)->currentIndex(), 0);
        QCOMPARE(m_w->bookKeeper().queryNumber, QStringLiteral("111"));
        QCOMPARE(m_server->requests().last().param("nu"), std::string("111"));
    }

    std::unique_ptr<TestServer> m_server;
    std::unique_ptr<WindowFixture> m_fx;
    std::unique_ptr<MainWindow> m_w;
};

QTEST_MAIN(TestMainWindowBook)
#include "tst_mainwindow_book.moc"
