// The query command and the re-query of a saved parcel against an in-process tracking service.

#include "core/textcodec.h"
#include "core/trackingrequest.h"
#include "gui/platform/messagebox.h"
#include "gui/statusstrips.h"
#include "platform/httpclient.h"
#include "support/datatable.h"
#include "support/heldanswers.h"
#include "support/scriptedseams.h"
#include "support/testserver.h"
#include "support/windowcontrols.h"
#include "support/windowfixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include <csignal>
#include <sys/resource.h>

using namespace zjx;
using namespace zjx::test;

Q_DECLARE_METATYPE(zjx::HttpResult::Failure)

namespace {
enum class Entry { Typed, F8, CtrlV };
// Every write past one byte fails, as on a full disk (root included).
class FullDisk {
public:
    FullDisk() {
        signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit small = m_old;
        small.rlim_cur = 1;
        setrlimit(RLIMIT_FSIZE, &small);
    }
    ~FullDisk() { setrlimit(RLIMIT_FSIZE, &m_old); }

private:
    rlimit m_old{};
};
} // namespace
Q_DECLARE_METATYPE(Entry)

namespace {

const QString number = QStringLiteral("668031148649");
const QString note = QStringLiteral("爸爸衣服");
const QString record = number + QStringLiteral("|申通快递|") + note;

QByteArray page(int rows) {
    static const QStringList progress{QStringLiteral("已收件"), QStringLiteral("到达上海转运中心"),
                                      QStringLiteral("正在派件")};
    QString html = QStringLiteral("<html><body><table><tr><th>时间</th><th>地点和跟踪进度</th></tr>");
    for (int i = 0; i < rows; ++i)
        html += QStringLiteral("<tr><td>2014-05-0%1 10:00:00</td><td>%2</td></tr>").arg(i + 1).arg(progress.at(i % 3));
    return TestServer::gbk(html + QStringLiteral("</table>"));
}

CannedResponse answer(const QByteArray& body) {
    return {200, body, "text/html; charset=GBK"};
}

std::unique_ptr<MainWindow> openAddPanel(const WindowFixture& fx, const QString& num = number,
                                         const QString& company = QStringLiteral("申通快递"),
                                         const QString& text = note) {
    auto w = fx.makeWindow();
    w->show();
    if (!QTest::qWaitForWindowActive(w.get()))
        qWarning("window not active");
    w->addPanel().openEmpty();
    typeIntoAddPanel(*w, num, company, text);
    return w;
}

} // namespace

class TestMainWindowQuery : public QObject {
    Q_OBJECT
    // One server for all: each one started costs a second at its end (a kept-alive connection).
    std::unique_ptr<TestServer> m_server;
    std::unique_ptr<WindowFixture> m_fx; // each test's, on that server

private Q_SLOTS:
    void initTestCase() { m_server = std::make_unique<TestServer>(); }
    void init() {
        m_server->clearRequests();
        m_fx = std::make_unique<WindowFixture>(m_server->hostPort());
    }
    void cleanup() {
        m_fx.reset();
        HttpClient::instance().setTimeoutMs(60000);
        HttpClient::instance().setMaxBodyBytes(8 * 1024 * 1024);
    }

    void addPanelOpens_data() {
        QTest::addColumn<int>("companyBefore");
        QTest::newRow("other company") << 5;
        QTest::newRow("first company already") << 0;
    }
    void addPanelOpens() {
        QFETCH(int, companyBefore);
        auto w = m_fx->makeWindow();
        typeIntoAddPanel(*w, QStringLiteral("123"), companyBefore, QStringLiteral("书"));
        w->parcelQuery().setCompanyCode(QStringLiteral("stale"));
        schedulePanelFrame(*w)->show();
        parcelPanelFrame(*w)->show();
        w->addPanel().openEmpty();
        QCOMPARE(numberBox(*w)->currentText(), QString());
        QCOMPARE(noteBox(*w)->text(), QString());
        QCOMPARE(companyBox(*w)->currentIndex(), 0);
        QCOMPARE(w->parcelQuery().companyCode(), QStringLiteral("aae"));
        QVERIFY(addPanelFrame(*w)->isVisibleTo(w.get()));
        QVERIFY(!schedulePanelFrame(*w)->isVisibleTo(w.get()));
        QVERIFY(!parcelPanelFrame(*w)->isVisibleTo(w.get()));
        QCOMPARE(addPanelFrame(*w)->pos(), QPoint(186, 125));
    }

    void inputChecks_data() {
        addColumns<QString, QString, QString, QString, QString>("num", "company", "text", "hint", "focus");
        dataRow("no number", "", "申通快递", "书", "请输入快递单号!", "numberBox");
        dataRow("bar in number", "12|34", "申通快递", "书", "单号不正确,请您检查!", "noteBox");
        dataRow("no company", "123", "", "书", "请选择快递公司!", "companyBox");
        dataRow("no note", "123", "申通快递", "", "请输入快递备注信息,例如：爸爸衣服", "noteBox");
    }
    void inputChecks() {
        QFETCH(QString, num);
        QFETCH(QString, company);
        QFETCH(QString, text);
        QFETCH(QString, hint);
        QFETCH(QString, focus);
        auto w = openAddPanel(*m_fx, num, company, text);
        addProgressRow(*w, QStringLiteral("1"), QStringLiteral("T"), QStringLiteral("P"));
        noteBox(*w)->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), noteBox(*w));
        queryButton(*w)->click();
        QCOMPARE(w->strips().text(StatusStrips::Hint), hint);
        QTRY_COMPARE(QApplication::focusWidget()->objectName(), focus);
        QVERIFY(queryButton(*w)->isEnabled());
        QCOMPARE(progressRows(*w)->topLevelItemCount(), 1);
        QVERIFY(m_server->requests().isEmpty());
    }

    void goodAnswer_data() { addBoolRows("closes", "keep the panel open", "close after adding"); }
    void goodAnswer() {
        QFETCH(bool, closes);
        m_server->setResponse("/", answer(page(3)));
        auto w = openAddPanel(*m_fx);
        closeAfterAdding(*w)->setChecked(closes);
        queryButton(*w)->click();

        QCOMPARE(m_server->requests().size(), 1);
        const auto request = m_server->requests().first();
        QCOMPARE(request.param("com"), std::string("shentong"));
        QCOMPARE(request.param("nu"), number.toStdString());
        QCOMPARE(request.param("id"), TrackingRequest::accessKey().toStdString());
        QCOMPARE(request.param("type"), std::string("html"));
        QCOMPARE(w->strips().text(StatusStrips::Hint), QStringLiteral("快递单号已记录!"));
        QCOMPARE(m_fx->storeBytes(), codec::gbkLines({record}));
        QCOMPARE(w->bookKeeper().records(), QStringList{record});
        QCOMPARE(parcelSelector(*w)->itemText(0), note);
        QCOMPARE(addPanelFrame(*w)->isVisible(), !closes);
        QCOMPARE(numberBox(*w)->currentText(), number);
        QVERIFY(!queryButton(*w)->isEnabled());

        QTRY_VERIFY(queryButton(*w)->isEnabled());
        QCOMPARE(progressRows(*w)->topLevelItemCount(), 3);
        const QStringList progress{QStringLiteral("正在派件"), QStringLiteral("到达上海转运中心"),
                                   QStringLiteral("已收件")};
        for (int row = 0; row < 3; ++row) {
            const QTreeWidgetItem* item = progressRows(*w)->topLevelItem(row);
            QCOMPARE(item->text(0), QString::number(row + 1));
            QCOMPARE(item->text(1), QStringLiteral("2014-05-0%1 10:00:00").arg(3 - row));
            QCOMPARE(item->text(2), progress.at(row));
            QCOMPARE(item->foreground(1).color() == QColor(255, 0, 0), row == 0);
            QCOMPARE(item->foreground(2).color() == QColor(255, 0, 0), row == 0);
            QVERIFY(item->foreground(0).color() != QColor(255, 0, 0));
        }
        QCOMPARE(w->strips().text(StatusStrips::Hint), QStringLiteral("查询完毕..."));
        QCOMPARE(w->strips().text(StatusStrips::State), QStringLiteral("派件中"));
        QCOMPARE(w->strips().text(StatusStrips::Verdict), QStringLiteral("有更新"));
        QCOMPARE(w->parcelQuery().progressCount, qint16(3));
        QCOMPARE(w->parcelQuery().lastProgressCount, qint16(0));
        QVERIFY(w->parcelQuery().session().answerText.isEmpty());
        QCOMPARE(w->parcelQuery().session().rowCount, qint16(0));
        QVERIFY(!w->parcelQuery().parseTimer().isActive());
    }

    void requeryOfSavedParcel() {
        m_server->setResponse("/", answer(page(3)));
        m_fx->writeStore(codec::gbkLines({record}));
        auto w = m_fx->makeWindow();
        parcelSelector(*w)->setCurrentIndex(0);
        w->bookKeeper().chosenRecordText = record;
        w->bookKeeper().queryNumber = number;
        w->bookKeeper().companyName = QStringLiteral("申通快递");
        companyBox(*w)->setCurrentIndex(companyBox(*w)->findText(w->bookKeeper().companyName));
        w->parcelQuery().progressCount = 2;
        w->parcelQuery().askAgain(w->bookKeeper().queryNumber, w->bookKeeper().companyName, false);
        QCOMPARE(m_server->requests().last().param("nu"), number.toStdString());
        QTRY_VERIFY(queryButton(*w)->isEnabled());
        QCOMPARE(w->parcelQuery().lastProgressCount, qint16(2));
        QCOMPARE(w->parcelQuery().progressCount, qint16(3));
        QCOMPARE(m_fx->storeBytes(), codec::gbkLines({record}));
        QCOMPARE(parcelSelector(*w)->count(), 1);

        // A re-query before the parse of the one before replaces it: one row, not four.
        w->parcelQuery().askAgain(w->bookKeeper().queryNumber, w->bookKeeper().companyName, false);
        QVERIFY(w->parcelQuery().parseTimer().isActive());
        m_server->setResponse("/", answer(page(1)));
        w->parcelQuery().askAgain(w->bookKeeper().queryNumber, w->bookKeeper().companyName, false);
        QTRY_VERIFY(queryButton(*w)->isEnabled());
        QCOMPARE(progressRows(*w)->topLevelItemCount(), 1);
        QCOMPARE(w->strips().text(StatusStrips::State), QStringLiteral("运送中"));

        // The provider's own state, when the service sends it, stands instead of the text rule (which
        // reads 拒签 as signed for); the parcel's knowledge keeps it too.
        const QByteArray refused = TestServer::trackingPage({QStringLiteral("收件人拒签,快件退回")}, QDate(2014, 5, 10));
        for (const auto& [header, state] : {std::pair{"", "已签收"}, std::pair{"returned", "已退回"}}) {
            CannedResponse reply = answer(refused);
            if (*header)
                reply.headers = {{"X-Zjx-State", header}, {"X-Zjx-Backend", "kuaidi100"}};
            m_server->setResponse("/", reply);
            w->parcelQuery().askAgain(w->bookKeeper().queryNumber, w->bookKeeper().companyName, false);
            QTRY_VERIFY(queryButton(*w)->isEnabled());
            QCOMPARE(w->strips().text(StatusStrips::State), QString::fromUtf8(state));
        }
        QCOMPARE(w->watchKeeper().parcelStates().value({number, QStringLiteral("申通快递")}).state, QStringLiteral("已退回"));
    }

    // Another parcel chosen shows its own state over its empty list, never the one before it.
    void anotherParcelWithoutEventsHasItsOwnState_data() {
        addColumns<QByteArray, QString>("body", "state");
        dataRow("no record", TestServer::gbk("该单号不存在"), "无记录");
        dataRow("expired", TestServer::gbk("NULL"), "已失效");
        dataRow("bad format", TestServer::gbk("单号格式错误"), "查询失败");
    }
    void anotherParcelWithoutEventsHasItsOwnState() {
        QFETCH(QByteArray, body);
        QFETCH(QString, state);
        m_fx->writeStore(codec::gbkLines({record, QStringLiteral("222|申通快递|鞋")}));
        auto w = m_fx->makeWindow();
        m_server->setResponse("/", answer(page(3)));
        w->showRecord(record);
        QTRY_COMPARE(progressRows(*w)->topLevelItemCount(), 3);
        QCOMPARE(w->strips().text(StatusStrips::State), QStringLiteral("派件中"));
        m_server->setResponse("/", answer(body));
        test::ScriptedBoxes::setNextAnswer(MessageBox::Answer::No); // the question for a number without record
        w->showRecord(QStringLiteral("222|申通快递|鞋"));
        QCOMPARE(progressRows(*w)->topLevelItemCount(), 0);
        QCOMPARE(w->strips().text(StatusStrips::State), state);
        QCOMPARE(w->strips().text(StatusStrips::Verdict), QStringLiteral("未查询"));
    }

    void numberTravelsExactly_data() {
        QTest::addColumn<QString>("num");
        QTest::newRow("fragment") << "12#34";
        QTest::newRow("key injection") << "1&id=x";
        QTest::newRow("plus, space, percent") << "a b+c%41";
        QTest::newRow("three spaces") << "   ";
        QTest::newRow("chinese") << "单号1";
    }
    void numberTravelsExactly() {
        QFETCH(QString, num);
        m_server->setResponse("/", answer(page(1)));
        auto w = openAddPanel(*m_fx, num);
        queryButton(*w)->click();
        QCOMPARE(m_server->requests().size(), 1);
        const auto request = m_server->requests().first();
        QCOMPARE(QString::fromStdString(request.param("nu")), num);
        QCOMPARE(request.param("id"), TrackingRequest::accessKey().toStdString());
        QCOMPARE(request.params.size(), std::size_t(4));
    }

    void screenedAnswers_data() {
        addColumns<QByteArray, QString, bool>("body", "hint", "saved");
        dataRow("format", TestServer::gbk("单号格式错误"), "单号格式错误!请检查!", false);
        dataRow("NULL", TestServer::gbk("NULL"), "此快递单号已失效..", false);
        dataRow("unsupported", TestServer::gbk("不支持的快递公司"), "系统问题,暂不支持当前快递公司!", false);
        dataRow("enter", TestServer::gbk("请输入单号"), "请输入正确的单号!", false);
        dataRow("marker in a table", page(3).replace(TestServer::gbk("已收件"), TestServer::gbk("NULL")),
                "此快递单号已失效..", false);
        dataRow("empty", QByteArray(), "申通快递快递查询中...", false);
        dataRow("no rows, lower-case null", QByteArray("<table>null</table>"), "快递单号已记录!", true);
    }
    void screenedAnswers() {
        QFETCH(QByteArray, body);
        QFETCH(QString, hint);
        QFETCH(bool, saved);
        m_server->setResponse("/", answer(body));
        auto w = openAddPanel(*m_fx);
        queryButton(*w)->click();
        QCOMPARE(w->strips().text(StatusStrips::Hint), hint);
        QVERIFY(queryButton(*w)->isEnabled());
        QVERIFY(!w->parcelQuery().parseTimer().isActive());
        QCOMPARE(m_fx->storeBytes(), saved ? codec::gbkLines({record}) : QByteArray());
        QCOMPARE(progressRows(*w)->topLevelItemCount(), 0);
        QCOMPARE(w->strips().text(StatusStrips::State), QStringLiteral("未查询"));
        QVERIFY(test::ScriptedBoxes::shown().isEmpty());
    }

    // Why a number failed holds while that number is in the box: edited away, also behind a guess
    // that then lets go, the hint leaves the line.
    void aFailedNumbersHintGoesWithIt_data() {
        QTest::addColumn<QStringList>("edits");
        QTest::newRow("a digit more") << QStringList{QStringLiteral("12345")};
        QTest::newRow("a guessed number, then none") << QStringList{QStringLiteral("SF1234567890123"), QString()};
    }
    void aFailedNumbersHintGoesWithIt() {
        QFETCH(QStringList, edits);
        m_server->setResponse("/", answer(TestServer::gbk("单号格式错误")));
        auto w = openAddPanel(*m_fx, QStringLiteral("1234"));
        queryButton(*w)->click();
        const QString failed = QStringLiteral("单号格式错误!请检查!");
        QCOMPARE(w->strips().text(StatusStrips::Hint), failed);
        for (const QString& edit : edits)
            numberBox(*w)->setEditText(edit);
        QVERIFY2(w->strips().text(StatusStrips::Hint) != failed, qPrintable(w->strips().text(StatusStrips::Hint)));
    }

    // A failed query (here the provider refused the key) changes nothing on screen but the hint
    // line: the chosen parcel's events and state stay, and the add panel keeps what was typed.
    void aFailedQueryKeepsWhatIsShown() {
        m_server->setResponse("/", answer(page(3)));
        auto w = openAddPanel(*m_fx);
        queryButton(*w)->click();
        QTRY_COMPARE(progressRows(*w)->topLevelItemCount(), 3);
        const QString state = w->strips().text(StatusStrips::State);
        CannedResponse refused = answer(TestServer::gbk(QStringLiteral("refused")));
        refused.status = 502;
        refused.headers = {{"X-Zjx-Reason", "bad-key"}};
        m_server->setResponse("/", refused);
        const QString refusedHint = QStringLiteral("查询服务:密钥错误,请在查询服务设置中检查");
        w->parcelQuery().askAgain(w->bookKeeper().queryNumber, w->bookKeeper().companyName, false);
        QCOMPARE(w->strips().text(StatusStrips::Hint), refusedHint);
        QCOMPARE(progressRows(*w)->topLevelItemCount(), 3);
        QCOMPARE(w->strips().text(StatusStrips::State), state);
        w->addPanel().openEmpty();
        numberBox(*w)->setEditText(QStringLiteral("SF1234567890123"));
        noteBox(*w)->setText(QStringLiteral("新鞋"));
        queryButton(*w)->click();
        QCOMPARE(w->strips().text(StatusStrips::Hint), refusedHint);
        QVERIFY(addPanelFrame(*w)->isVisible());
        QCOMPARE(numberBox(*w)->currentText(), QStringLiteral("SF1234567890123"));
        QCOMPARE(noteBox(*w)->text(), QStringLiteral("新鞋"));
        QCOMPARE(progressRows(*w)->topLevelItemCount(), 3);
        QCOMPARE(w->bookKeeper().records(), QStringList{record});
    }

    void unknownNumber_data() { addBoolRows("yes", "do not save", "save it"); }
    void unknownNumber() {
        QFETCH(bool, yes);
        m_server->setResponse("/", answer(TestServer::gbk("该单号不存在 NULL")));
        auto w = openAddPanel(*m_fx);
        addProgressRow(*w, QStringLiteral("1"), QStringLiteral("T"), QStringLiteral("P"));
        test::ScriptedBoxes::setNextAnswer(yes ? MessageBox::Answer::Yes : MessageBox::Answer::No);
        queryButton(*w)->click();
        QStringList shown{QStringLiteral("您好,您当前输入的单号不存在有效信息,是否先进行保存?")};
        if (yes)
            shown << QStringLiteral("单号已成功保存");
        QCOMPARE(test::ScriptedBoxes::shownTexts(), shown);
        QCOMPARE(test::ScriptedBoxes::shown().first().buttons, MessageBox::Buttons::YesNo);
        QCOMPARE(m_fx->storeBytes(), yes ? codec::gbkLines({record}) : QByteArray());
        QCOMPARE(w->bookKeeper().records(), yes ? QStringList{record} : QStringList());
        QCOMPARE(parcelSelector(*w)->count(), yes ? 1 : 0);
        QCOMPARE(parcelSelector(*w)->currentIndex(), yes ? 0 : -1); // a parcel saved now is the chosen one
        // A parcel saved now has no events; not saved, what was on screen stays.
        QCOMPARE(progressRows(*w)->topLevelItemCount(), yes ? 0 : 1);
        QVERIFY(queryButton(*w)->isEnabled());
        QVERIFY(!w->parcelQuery().parseTimer().isActive());
    }

    // A number copied from a page ends with a line break; however it enters, the query and the
    // record use the number alone, on the good-answer and the "不存在" save path alike.
    void lineBreaksNeverEnterARecord_data() {
        addColumns<Entry, QString, QString, bool>("entry", "typedNumber", "typedNote", "found");
        QTest::newRow("F8, LF") << Entry::F8 << number + "\n" << note << true;
        QTest::newRow("Ctrl+V, CR LF") << Entry::CtrlV << number + "\r\n" << note << true;
        QTest::newRow("set text, not found") << Entry::Typed << number + "\r\n" << note << false;
        QTest::newRow("note with line breaks") << Entry::Typed << number << "爸爸\r\n衣服\n" << true;
    }
    void lineBreaksNeverEnterARecord() {
        QFETCH(Entry, entry);
        QFETCH(QString, typedNumber);
        QFETCH(QString, typedNote);
        QFETCH(bool, found);
        m_server->setResponse("/", answer(found ? page(1) : TestServer::gbk("该单号不存在")));
        auto w = openAddPanel(*m_fx, QString(), QStringLiteral("申通快递"), typedNote);
        QGuiApplication::clipboard()->setText(typedNumber);
        if (entry == Entry::F8) {
            QTest::keyClick(noteBox(*w), Qt::Key_F8);
        } else if (entry == Entry::CtrlV) {
            numberBox(*w)->setFocus();
            QTest::keyClick(numberBox(*w)->lineEdit(), Qt::Key_V, Qt::ControlModifier);
        } else {
            numberBox(*w)->setEditText(typedNumber);
        }
        if (!found)
            test::ScriptedBoxes::setNextAnswer(MessageBox::Answer::Yes);
        queryButton(*w)->click();
        QCOMPARE(test::ScriptedBoxes::shown().size(), found ? 0 : 2); // the question, then "单号已成功保存"
        QCOMPARE(QString::fromStdString(m_server->requests().last().param("nu")), number);
        QCOMPARE(m_fx->storeBytes(), codec::gbkLines({record}));
        QCOMPARE(w->bookKeeper().records(), QStringList{record});
    }

    // A parcel entered on the add panel is recorded unless the same number with the same company
    // is listed; the box "单号已成功保存" comes only with a save.
    void addPanelRecordsUnlessListed_data() {
        addColumns<QString, bool, bool>("listed", "found", "saved");
        const QString other = QStringLiteral("111|顺丰快递|书");
        QTest::newRow("another chosen, good answer") << other << true << true;
        QTest::newRow("another chosen, not found") << other << false << true;
        QTest::newRow("same number, other company") << number + "|顺丰快递|书" << true << true;
        QTest::newRow("listed, good answer") << number + "|申通快递|旧" << true << false;
        QTest::newRow("listed, not found") << number + "|申通快递|旧" << false << false;
    }
    void addPanelRecordsUnlessListed() {
        QFETCH(QString, listed);
        QFETCH(bool, found);
        QFETCH(bool, saved);
        m_server->setResponse("/", answer(found ? page(1) : TestServer::gbk("该单号不存在")));
        m_fx->writeStore(codec::gbkLines({listed}));
        auto w = openAddPanel(*m_fx);
        parcelSelector(*w)->setCurrentIndex(0);
        w->bookKeeper().chosenRecordText = listed; // chosen earlier
        w->bookKeeper().parcelIndexText = QStringLiteral("0");
        if (!found)
            test::ScriptedBoxes::setNextAnswer(MessageBox::Answer::Yes);
        queryButton(*w)->click();
        const QStringList book = saved ? QStringList{listed, record} : QStringList{listed};
        QCOMPARE(m_fx->storeBytes(), codec::gbkLines(book));
        QCOMPARE(w->bookKeeper().records(), book);
        QStringList shown;
        if (!found)
            shown << QStringLiteral("您好,您当前输入的单号不存在有效信息,是否先进行保存?");
        if (!found && saved)
            shown << QStringLiteral("单号已成功保存");
        QCOMPARE(test::ScriptedBoxes::shownTexts(), shown);
        if (found)
            QTRY_VERIFY(queryButton(*w)->isEnabled() && !w->parcelQuery().parseTimer().isActive());
        QCOMPARE(w->strips().text(StatusStrips::Hint).contains(QStringLiteral("已在快递列表中")), !saved);
        // The parcel asked about is the chosen one, in the selector too: "删除" takes it, not the other.
        QCOMPARE(parcelSelector(*w)->currentIndex(), saved ? 1 : 0);
        QCOMPARE(parcelSelector(*w)->currentText(), saved ? note : listed.section(u'|', 2));
        QCOMPARE(w->bookKeeper().queryNumber, number);
        test::ScriptedBoxes::setNextAnswer(MessageBox::Answer::Yes);
        if (!found && saved)
            test::ScriptedBoxes::setNextAnswer(MessageBox::Answer::No); // the parcel left, re-queried, is unknown too
        w->deleteParcel();
        QCOMPARE(w->bookKeeper().records(), saved ? QStringList{listed} : QStringList());
    }

    // A failed write keeps the parcel in memory and says so: a box once, then in every hint (the
    // parse's "查询完毕..." included) until a write succeeds.
    void failedSaveStaysVisible() {
        auto w = openAddPanel(*m_fx);
        {
            const FullDisk full;
            m_server->setResponse("/", answer(TestServer::gbk("该单号不存在")));
            test::ScriptedBoxes::setNextAnswer(MessageBox::Answer::Yes);
            queryButton(*w)->click();
            QCOMPARE(w->bookKeeper().records(), QStringList{record});
            QCOMPARE(parcelSelector(*w)->count(), 1);
            QVERIFY(w->strips().text(StatusStrips::Hint).startsWith(QStringLiteral("保存失败")));
            QCOMPARE(test::ScriptedBoxes::shown().size(), 2);
            QCOMPARE(test::ScriptedBoxes::shown().last().icon, MessageBox::Icon::Warning);
            QVERIFY(!test::ScriptedBoxes::shownTexts().contains(QStringLiteral("单号已成功保存")));

            m_server->setResponse("/", answer(page(2)));
            numberBox(*w)->setEditText(QStringLiteral("777"));
            queryButton(*w)->click();
            QTRY_VERIFY(w->strips().text(StatusStrips::Hint).contains(QStringLiteral("查询完毕...")));
            QVERIFY(w->strips().text(StatusStrips::Hint).contains(QStringLiteral("未保存")));
            QCOMPARE(test::ScriptedBoxes::shown().size(), 2); // the box came once
        }
        QVERIFY(!m_fx->storeExists());
        numberBox(*w)->setEditText(QStringLiteral("888"));
        queryButton(*w)->click();
        QTRY_COMPARE(w->strips().text(StatusStrips::Hint), QStringLiteral("查询完毕..."));
        QCOMPARE(codec::fromGbk(m_fx->storeBytes()).count(QStringLiteral("\r\n")), 3);
    }

    void transportFailures_data() {
        addColumns<HttpResult::Failure, QString>("failure", "hint");
        dataRow("refused", HttpResult::Failure::Refused, QStringLiteral("网络连接失败,请检查网络后重试!"));
        dataRow("timeout", HttpResult::Failure::Timeout, QStringLiteral("网络连接超时,请稍后重试!"));
        dataRow("reset", HttpResult::Failure::Reset, QStringLiteral("网络连接中断,请稍后重试!"));
        dataRow("too large", HttpResult::Failure::TooLarge, QStringLiteral("返回的数据过大,已停止接收,请稍后重试!"));
    }
    void transportFailures() {
        QFETCH(HttpResult::Failure, failure);
        QFETCH(QString, hint);
        CannedResponse canned = answer(page(3));
        if (failure == HttpResult::Failure::Timeout) {
            HttpClient::instance().setTimeoutMs(300);
            canned.delayMs = 3000;
        } else if (failure == HttpResult::Failure::Reset) {
            canned.fault = CannedResponse::Fault::ResetMidBody;
        } else if (failure == HttpResult::Failure::TooLarge) {
            HttpClient::instance().setMaxBodyBytes(canned.body.size() - 1);
        }
        m_server->setResponse("/", canned);
        const QString host = failure == HttpResult::Failure::Refused
                                 ? QStringLiteral("127.0.0.1:%1").arg(TestServer::unusedPort())
                                 : m_server->hostPort();
        m_fx.reset(); // one fixture at a time: its end resets the program folder
        m_fx = std::make_unique<WindowFixture>(host);
        auto w = openAddPanel(*m_fx);
        queryButton(*w)->click();
        QCOMPARE(w->strips().text(StatusStrips::Hint), hint);
        QVERIFY(queryButton(*w)->isEnabled());
        QVERIFY(!m_fx->storeExists());
        QCOMPARE(progressRows(*w)->topLevelItemCount(), 0);
        QVERIFY(!w->parcelQuery().parseTimer().isActive());
        QVERIFY(w->parcelQuery().session().answerText.isEmpty());
    }

    void noSecondQueryDuringTheWait() {
        HeldAnswers held; // the answer waits until the tick below has fallen into the wait
        const CannedResponse canned = answer(page(3));
        m_server->setHandler("/", held.holding([canned](const RecordedRequest&) { return canned; }));
        auto w = openAddPanel(*m_fx);
        w->bookKeeper().queryNumber = QStringLiteral("999");
        w->bookKeeper().companyName = QStringLiteral("申通快递");
        // A timer tick that falls into the wait, as a timed or loop query would.
        onceReady(w.get(), [this] { return !m_server->requests().isEmpty(); },
                  {[&w] {
                       w->parcelQuery().askAgain(w->bookKeeper().queryNumber, w->bookKeeper().companyName, false);
                       w->startQuery();
                   },
                   [&held] { held.release(); }});
        queryButton(*w)->click();
        QCOMPARE(m_server->requests().size(), 1);
        QTRY_VERIFY(queryButton(*w)->isEnabled());
        QCOMPARE(progressRows(*w)->topLevelItemCount(), 3);
        QCOMPARE(m_server->requests().size(), 1);
    }
};

QTEST_MAIN(TestMainWindowQuery)
#include "tst_mainwindow_query.moc"
