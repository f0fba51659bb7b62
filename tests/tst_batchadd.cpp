#include "core/catalogue.h"
#include "core/textcodec.h"
#include "gui/batchaddwindow.h"
#include "support/datarows.h"
#include "support/scriptedseams.h"
#include "support/testserver.h"
#include "support/windowcontrols.h"
#include "support/windowfixture.h"

#include <QClipboard>
#include <QFile>
#include <QSignalSpy>
#include <QStringEncoder>
#include <QTableWidget>
#include <QTest>

using namespace zjx;
using namespace zjx::test;
using namespace Qt::StringLiterals;

namespace {

// The service's recognition as the demo gives it: plain digits starting with 7 are 中通's, other
// numbers nobody knows.
CannedResponse recognise(const RecordedRequest& request) {
    const std::string number = request.param("nu");
    return {200, number.rfind('7', 0) == 0 ? "zhongtong\n" : "", "text/plain; charset=utf-8", 0,
            CannedResponse::Fault::None, {{"X-Zjx-Backend", "demo"}}};
}

QStringList tableRows(const BatchAddWindow& window) {
    QStringList rows;
    for (int r = 0; r < window.table()->rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < window.table()->columnCount(); ++c)
            cells << window.table()->item(r, c)->text();
        rows << cells.join(u'|');
    }
    return rows;
}

bool recognitionDone(const BatchAddWindow& window) {
    for (const IntakeBatch::Row& row : window.batch().rows())
        if (row.found == IntakeBatch::Found::Waiting || row.found == IntakeBatch::Found::Asking)
            return false;
    return true;
}

} // namespace

class TestBatchAdd : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() {
        m_server = std::make_unique<TestServer>();
        m_server->setHandler("/autonumber", recognise);
        m_server->setResponse("/", {200, TestServer::trackingPage({u"已揽收"_s}), "text/html; charset=GBK", 0, {}, {}});
        m_fx = std::make_unique<WindowFixture>(m_server->hostPort());
    }
    void cleanup() {
        m_fx.reset();
        m_server.reset();
    }

    void pastedListIsOneChange();
    void orderFilesImport_data();
    void orderFilesImport();
    void companyNobodyChoseIsRecognised_data();
    void companyNobodyChoseIsRecognised();
    void pastingAListOpensTheWindow();
    void clipboardIsOfferedOnce();
    void chooserFindsByInitials();

private:
    std::unique_ptr<TestServer> m_server;
    std::unique_ptr<WindowFixture> m_fx;
};

void TestBatchAdd::pastedListIsOneChange() {
    m_fx->writeStore(codec::gbkLines({u"7730000000099|中通快递|旧的"_s}));
    auto w = m_fx->makeWindow();
    QSignalSpy changes(&w->bookKeeper().book(), &ParcelBook::notesAppended);
    w->openBatchAdd();
    BatchAddWindow* window = w->batchAddWindow();
    QString list = u"本周要发的快递:\n"_s; // a line without a number
    for (int i = 1; i <= 8; ++i) // plain digits: the service recognises them
        list += u"773000000000%1 礼物%1\n"_s.arg(i);
    for (int i = 1; i <= 6; ++i) // their own format names 顺丰
        list += u"SF100000000000%1\t\t耳机\n"_s.arg(i);
    for (int i = 1; i <= 6; ++i) // the list names the company
        list += u"4612345678901%1,韵达,台灯\n"_s.arg(i);
    list += u"\n\n  \n";                                                       // blank lines
    list += u"7730000000001 又一次\nSF1000000000002\n7730000000099 已有\n"_s; // twice, and in the book
    list += u"ABCD12345671 包\nABCD12345672 包\nABCD12345673\n"_s;             // nobody knows them
    QCOMPARE(list.count(u'\n'), 30);
    window->setListText(list);
    QTRY_VERIFY(recognitionDone(*window));
    QCOMPARE(window->table()->rowCount(), 26);
    QCOMPARE(tableRows(*window).first(), u"7730000000001|中通快递|礼物1|已按演示数据识别"_s);
    QCOMPARE(tableRows(*window).at(8), u"SF1000000000001|顺丰快递|耳机|按单号推测"_s);
    QCOMPARE(tableRows(*window).at(14), u"46123456789011|韵达快递|台灯|列表所写"_s);
    QCOMPARE(tableRows(*window).at(21), u"SF1000000000002|顺丰快递||重复"_s);
    QCOMPARE(tableRows(*window).at(22), u"7730000000099||已有|已在快递列表中"_s);
    QCOMPARE(tableRows(*window).at(23), u"ABCD12345671||包|未识别,请选择快递公司"_s);
    // Asked once per number that needed it, one after another.
    QCOMPARE(m_server->requests().size(), 8 + 3);

    window->chooseCompany(24, CourierCatalogue::indexOfName(u"德邦快递"_s));
    changes.clear();
    window->addRows();
    QCOMPARE(changes.size(), 1);
    QCOMPARE(changes.first().first().toStringList().size(), 21);
    QCOMPARE(window->summary(), u"已添加21个快递,跳过3个(已在列表中或重复),2个未选择快递公司,仍在表中"_s);
    QCOMPARE(w->strips().text(StatusStrips::Hint), window->summary());
    const QStringList records = w->bookKeeper().records();
    QCOMPARE(records.size(), 22);
    QCOMPARE(records.at(1), u"7730000000001|中通快递|礼物1"_s);
    QCOMPARE(records.at(21), u"ABCD12345672|德邦快递|包"_s);
    QVERIFY(!records.join(u'\n').contains(u"AAE快递"));
    QCOMPARE(m_fx->storeBytes(), codec::gbkLines(records));
    QCOMPARE(tableRows(*window), QStringList({u"ABCD12345671||包|未识别,请选择快递公司"_s,
                                              u"ABCD12345673|||未识别,请选择快递公司"_s}));
}

using FileRow = std::tuple<const char*, QByteArray, QStringList, QString>;

void TestBatchAdd::orderFilesImport_data() {
    const QString csv = u"订单编号,收货人姓名,物流公司,物流单号,宝贝标题\r\n"
                        u"\"3312345678901\",张三,中通快递,=\"7730000000001\",毛衣\r\n"
                        u"\"3312345678902\",李四,申通快递,7730000000002,台灯\r\n"_s;
    const QStringList rows = {u"7730000000001|中通快递|毛衣|列表所写"_s, u"7730000000002|申通快递|台灯|列表所写"_s};
    addRows<FileRow>({
        {"GB18030", QStringEncoder("GB18030").encode(csv), rows, {}},
        {"UTF-8 with BOM", "\xEF\xBB\xBF" + csv.toUtf8(), rows, {}},
        {"no number column", QStringEncoder("GB18030").encode(u"订单编号,收货人\r\n1,张三\r\n"_s), {},
         u"文件中没有找到单号列(表头应有“运单号”、“物流单号”或“快递单号”)"_s},
    });
}

void TestBatchAdd::orderFilesImport() {
    QFETCH(FileRow, row);
    const auto& [name, bytes, expected, problem] = row;
    QFile file(m_fx->folder() + u"/orders.csv"_s);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();
    auto w = m_fx->makeWindow();
    w->openBatchAdd();
    ScriptedSaveDialog::setNextFileName(file.fileName());
    w->batchAddWindow()->importFile();
    QCOMPARE(tableRows(*w->batchAddWindow()), expected);
    QCOMPARE(ScriptedBoxes::shownTexts(), problem.isEmpty() ? QStringList() : QStringList{problem});
    ScriptedBoxes::clearShown();
}

using RecogniseRow = std::tuple<const char*, QString, bool, QString, QStringList, std::string>;

void TestBatchAdd::companyNobodyChoseIsRecognised_data() {
    addRows<RecogniseRow>({
        // number, picked by hand, hint at the end, the book after, company asked under ("" none)
        {"recognised", u"7730123456789"_s, false, u"查询完毕...已按演示数据识别为中通快递"_s,
         {u"7730123456789|中通快递|书"_s}, "zhongtong"},
        {"nobody knows it", u"ABCD12345678"_s, false, u"请选择快递公司"_s, {}, ""},
        {"picked by hand: not asked", u"7730123456789"_s, true, u"查询完毕..."_s, {u"7730123456789|AAE快递|书"_s}, "aae"},
    });
}

void TestBatchAdd::companyNobodyChoseIsRecognised() {
    QFETCH(RecogniseRow, row);
    const auto& [name, number, byHand, hint, book, asked] = row;
    auto w = m_fx->makeWindow();
    w->addPanel().openEmpty();
    closeAfterAdding(*w)->setChecked(false);
    numberBox(*w)->setEditText(number);
    noteBox(*w)->setText(u"书"_s);
    if (byHand)
        Q_EMIT companyBox(*w)->activated(companyBox(*w)->currentIndex()); // AAE快递, chosen on purpose
    queryButton(*w)->click();
    QTRY_COMPARE(w->strips().text(StatusStrips::Hint), hint);
    QCOMPARE(w->bookKeeper().records(), book);
    std::string askedUnder;
    for (const RecordedRequest& request : m_server->requests())
        if (request.path == "/")
            askedUnder = request.param("com");
    QCOMPARE(askedUnder, asked);
    // Nothing recognised: what was typed stays for the choice.
    QCOMPARE(numberBox(*w)->currentText(), asked.empty() ? number : QString());
    QCOMPARE(noteBox(*w)->text(), asked.empty() ? u"书"_s : QString());
}

void TestBatchAdd::pastingAListOpensTheWindow() {
    auto w = m_fx->shownWindow(true);
    QVERIFY(w);
    w->addPanel().openEmpty();
    QGuiApplication::clipboard()->setText(u"7730000000001\r\nSF1000000000001\r\n"_s);
    QTest::keyClick(numberBox(*w)->lineEdit(), Qt::Key_V, Qt::ControlModifier);
    QVERIFY(w->batchAddWindow());
    QCOMPARE(numberBox(*w)->currentText(), QString()); // not run together into one number
    QCOMPARE(w->batchAddWindow()->table()->rowCount(), 2);
}

void TestBatchAdd::clipboardIsOfferedOnce() {
    m_fx->writeStore(codec::gbkLines({u"SF1000000000009|顺丰快递|旧的"_s}));
    auto w = m_fx->shownWindow(true);
    QVERIFY(w);
    const auto activate = [&] {
        QEvent change(QEvent::ActivationChange);
        QApplication::sendEvent(w.get(), &change);
        return w->strips().text(StatusStrips::Hint);
    };
    QGuiApplication::clipboard()->setText(u"SF1234567890123\n"_s);
    QCOMPARE(activate(), u"剪贴板中有单号 SF1234567890123,按 F8 添加"_s);
    w->setHint(u"别的"_s);
    QCOMPARE(activate(), u"别的"_s); // the same content is offered once
    for (const QString& notOffered : {u"SF1000000000009"_s, u"明天下午三点见 13812345678"_s}) {
        QGuiApplication::clipboard()->setText(notOffered);
        QCOMPARE(activate(), u"别的"_s);
    }
    QGuiApplication::clipboard()->setText(u"SF1000000000009\n7730000000001\n7730000000002\n"_s);
    QCOMPARE(activate(), u"剪贴板中有2个单号,按 F8 批量添加"_s);
}

void TestBatchAdd::chooserFindsByInitials() {
    auto w = m_fx->shownWindow(true);
    QVERIFY(w);
    w->addPanel().openEmpty();
    companyBox(*w)->setFocus();
    companyBox(*w)->lineEdit()->selectAll();
    QTest::keyClicks(companyBox(*w)->lineEdit(), u"jt"_s);
    QTest::keyClick(companyBox(*w)->lineEdit(), Qt::Key_Return);
    QCOMPARE(w->addPanel().company(), u"极兔速递"_s);
    QVERIFY(w->addPanel().companyChosen());
}

QTEST_MAIN(TestBatchAdd)
#include "tst_batchadd.moc"
