#include "core/catalogue.h"
#include "intake/companysearch.h"
#include "intake/intakebatch.h"
#include "intake/parcellist.h"
#include "intake/tablefile.h"
#include "support/datarows.h"

#include <QStringEncoder>
#include <QTest>

using namespace zjx;
using namespace zjx::test;
using namespace Qt::StringLiterals;

namespace {

// Rows as "number|company|note" lines, the company as the catalogue names it ("" for none).
QStringList shown(const QList<IntakeRow>& rows) {
    QStringList lines;
    for (const IntakeRow& row : rows)
        lines << row.number + u'|' + CourierCatalogue::displayName(row.company) + u'|' + row.note;
    return lines;
}

QByteArray encoded(const char* encoding, const QString& text) {
    QStringEncoder encoder(encoding);
    return encoder.encode(text);
}

} // namespace

class TestIntake : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void pastedList_data();
    void pastedList();
    void pastedListLimit();
    void tableFile_data();
    void tableFile();
    void recognitionOrder();
    void chooserSearch();
};

using PastedRow = std::tuple<const char*, const char16_t*, QStringList, int>;

void TestIntake::pastedList_data() {
    addRows<PastedRow>({
        {"one number a line", u"773012345678901\r\nYT7770001112223\r\nJT0007770001111\r\n",
         {u"773012345678901||"_s, u"YT7770001112223||"_s, u"JT0007770001111||"_s}, 0},
        {"number and note, spaces", u"SF1234567890123 妈妈的 毛衣\n  2234014274\u3000鞋\n",
         {u"SF1234567890123||妈妈的 毛衣"_s, u"2234014274||鞋"_s}, 0},
        {"number, company, note", u"773012345678901,中通,书\n75123456789012，圆通速递，台灯\n",
         {u"773012345678901|中通快递|书"_s, u"75123456789012|圆通快递|台灯"_s}, 0},
        {"spreadsheet cells with header", u"物流单号\t快递公司\t商品名称\t订单号\n"
                                          u"778899001122\t韵达\t充电器\t2026120812345678\n"
                                          u"\t\t\t\n"
                                          u"'462233445566\tYUNDA\t数据线\t2026120812345679\n",
         {u"778899001122|韵达快递|充电器"_s, u"462233445566|韵达快递|数据线"_s}, 0},
        {"spreadsheet cells without header", u"顺丰速运\tSF1234567890123\t耳机\n",
         {u"SF1234567890123|顺丰快递|耳机"_s}, 0},
        {"the book's own lines", u"SF1234567890123|顺丰快递|耳机\n", {u"SF1234567890123|顺丰快递|耳机"_s}, 0},
        {"note with a comma after a space", u"773012345678901 衣服,鞋\n", {u"773012345678901||衣服 鞋"_s}, 0},
        {"text without a number", u"这是一些说明\nabc\n773012345678901\n", {u"773012345678901||"_s}, 2},
        {"full-width separators, brand alias", u"JD0012345678901；京东；键盘\n", {u"JD0012345678901|京东物流|键盘"_s}, 0},
    });
}

void TestIntake::pastedList() {
    QFETCH(PastedRow, row);
    const auto& [name, text, expected, withoutNumber] = row;
    const ReadParcels read = readPastedList(QString::fromUtf16(text));
    QCOMPARE(shown(read.rows), expected);
    QCOMPARE(read.withoutNumber, withoutNumber);
}

void TestIntake::pastedListLimit() {
    QString text;
    for (int i = 0; i < 1005; ++i)
        text += QStringLiteral("ZT%1\n").arg(100000000 + i);
    const ReadParcels read = readPastedList(text);
    QCOMPARE(read.rows.size(), 1000);
    QCOMPARE(read.overLimit, 5);
    QCOMPARE(read.rows.last().number, u"ZT100000999"_s);
}

using TableRow = std::tuple<const char*, QByteArray, QString, QStringList, QString>;

void TestIntake::tableFile_data() {
    // A shop's order export as the platforms write it: a title line, the order number first, the
    // tracking number kept as text by the spreadsheet, an order not shipped yet.
    const QString shopExport = u"订单导出 2026-12-08\r\n"
                               u"订单编号,买家会员名,收货人姓名,物流公司,物流单号,宝贝标题\r\n"
                               u"\"3312345678901\",tb_a,张三,中通快递,=\"773012345678901\",\"毛衣, 红色\"\r\n"
                               u"\"3312345678902\",tb_b,李四,,,\"台灯\"\r\n"
                               u"\"3312345678903\",tb_c,王五,圆通速递,\t75123456789012,\"多行\n标题\"\r\n"_s;
    const QStringList shopRows = {u"773012345678901|中通快递|毛衣, 红色"_s, u"75123456789012|圆通快递|多行 标题"_s};
    const QString plainList = u"快递单号\t备注\n9876543210123\t书\n"_s;
    addRows<TableRow>({
        {"GB18030", encoded("GB18030", shopExport), u"GB18030"_s, shopRows, {}},
        {"UTF-8 with BOM", "\xEF\xBB\xBF" + shopExport.toUtf8(), u"UTF-8"_s, shopRows, {}},
        {"UTF-8", shopExport.toUtf8(), u"UTF-8"_s, shopRows, {}},
        {"UTF-16 tab-separated", "\xFF\xFE" + encoded("UTF-16LE", plainList), u"UTF-16"_s, {u"9876543210123||书"_s}, {}},
        {"no number column", encoded("GB18030", u"订单编号,收货人\n123,张三\n"_s), u"GB18030"_s, {},
         u"文件中没有找到单号列(表头应有“运单号”、“物流单号”或“快递单号”)"_s},
    });
}

void TestIntake::tableFile() {
    QFETCH(TableRow, row);
    const auto& [name, bytes, encoding, expected, problem] = row;
    const TableFile file = readTableFile(bytes);
    QCOMPARE(file.encoding, encoding);
    QCOMPARE(file.problem, problem);
    QStringList lines = shown(file.parcels.rows);
    for (QString& line : lines)
        line.replace(u'\n', u' ');
    QCOMPARE(lines, expected);
}

void TestIntake::recognitionOrder() {
    IntakeBatch batch;
    batch.setBook({u"2234014274"_s}, {{u"圆通快递"_s, 3}});
    batch.add(readPastedList(u"773012345678901,中通,书\n"   // named by the list
                             u"SF1234567890123 耳机\n"       // its format names 顺丰
                             u"2234014274 鞋\n"              // in the book already: not asked
                             u"46123456789012 台灯\n"        // plain digits: asked first
                             u"ABCD12345678 包\n"            // asked second
                             u"46123456789012 又一行\n"_s)   // the same number again: not asked
                  .rows);
    using F = IntakeBatch::Found;
    QCOMPARE(batch.rows().at(0).found, F::Listed);
    QCOMPARE(batch.rows().at(1).found, F::Guessed);
    QCOMPARE(batch.takeNextAsk(), u"46123456789012"_s);
    // Candidates are ranked by the book's use: 圆通 before 韵达.
    batch.recognised(u"46123456789012"_s, {u"yunda"_s, u"yuantong"_s});
    QCOMPARE(batch.rows().at(3).parcel.company, CourierCatalogue::indexOfName(u"圆通快递"_s));
    QCOMPARE(batch.rows().at(3).found, F::Recognised);
    QCOMPARE(batch.takeNextAsk(), u"ABCD12345678"_s);
    batch.recognised(u"ABCD12345678"_s, {});
    QCOMPARE(batch.takeNextAsk(), QString());
    QCOMPARE(batch.statusText(4), u"未识别,请选择快递公司"_s);
    QCOMPARE(batch.statusText(2), u"已在快递列表中"_s);
    QCOMPARE(batch.statusText(5), u"重复"_s);

    IntakeBatch::Taken taken = batch.take();
    QCOMPARE(taken.records, QStringList({u"773012345678901|中通快递|书"_s, u"SF1234567890123|顺丰快递|耳机"_s,
                                         u"46123456789012|圆通快递|台灯"_s}));
    QCOMPARE(taken.skipped, 2);
    QCOMPARE(taken.withoutCompany, 1);
    // The row left waits for a choice; added numbers are the book's now.
    QCOMPARE(batch.rows().size(), 1);
    batch.choose(0, CourierCatalogue::indexOfName(u"德邦快递"_s));
    batch.add(readPastedList(u"SF1234567890123\n"_s).rows);
    taken = batch.take();
    QCOMPARE(taken.records, QStringList({u"ABCD12345678|德邦快递|包"_s}));
    QCOMPARE(taken.skipped, 1);

    // Without recognition by the service an open number waits for the user at once.
    IntakeBatch offline;
    offline.setRecognition(false);
    offline.add(readPastedList(u"46123456789012\n"_s).rows);
    QCOMPARE(offline.takeNextAsk(), QString());
    QCOMPARE(offline.rows().at(0).found, F::Unknown);
}

void TestIntake::chooserSearch() {
    QCOMPARE(pinyinInitials(u"极兔速递"_s), u"jtsd"_s);
    QCOMPARE(pinyinInitials(u"EMS快递"_s), u"emskd"_s);
    const auto found = [](const QString& typed) {
        QStringList names;
        for (int i : findCompanies(companiesByUse({{u"中通快运"_s, 2}, {u"圆通快递"_s, 1}}), typed))
            names << CourierCatalogue::displayName(i);
        return names;
    };
    // Initials, name or code that begin with what was typed come first (全际通快递 "qjtkd" after).
    QCOMPARE(found(u"jt"_s).first(), u"极兔速递"_s);
    QVERIFY(found(u"jt"_s).contains(u"全际通快递"_s));
    // Used companies first, then catalogue order.
    QCOMPARE(found(u"zt"_s).first(), u"中通快运"_s);
    QVERIFY(found(u"ZT"_s).contains(u"中通快递"_s));
    QCOMPARE(found(u"shunfeng"_s), QStringList({u"顺丰快递"_s, u"顺丰快运"_s}));
    QCOMPARE(found(u"圆通"_s), QStringList({u"圆通快递"_s}));
    QCOMPARE(companiesByUse({{u"圆通快递"_s, 1}}).first(), CourierCatalogue::indexOfName(u"圆通快递"_s));
}

QTEST_GUILESS_MAIN(TestIntake)
#include "tst_intake.moc"
