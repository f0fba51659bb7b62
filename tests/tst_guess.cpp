#include "core/catalogue.h"
#include "guess/numberguess.h"
#include "guess/onlineguess.h"
#include "gui/statusstrips.h"
#include "support/datatable.h"
#include "support/testserver.h"
#include "support/windowcontrols.h"
#include "support/windowfixture.h"

#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

using namespace zjx;
using namespace zjx::test;
using namespace Qt::StringLiterals;

namespace {

QStringList codesOf(const QList<int>& indices) {
    QStringList codes;
    for (int i : indices)
        codes << CourierCatalogue::serviceCode(i);
    return codes;
}

} // namespace

class TestGuess : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void formats_data();
    void formats();
    void bookRanksEqualCandidates();
    void addPanel_data();
    void addPanel();
    void handPickIsKept();
    void onlineAfterTypingStops();
    void lateOnlineAnswerAfterHandPick();

private:
    void typeNumber(MainWindow* w, const QString& number);
};

void TestGuess::formats_data() {
    addColumns<QString, int, QStringList>("number", "verdict", "codes");
    using V = NumberGuess::Verdict;
    const auto row = [](const char* name, const char* number, V verdict, QStringList codes) {
        QTest::newRow(name) << QString::fromUtf8(number) << int(verdict) << codes;
    };
    // Examples from the published formats (UPU S10 standard, UPS, FedEx, DHL and USPS documentation)
    // and the prefixes the Chinese couriers print; one digit changed makes the mistyped twin.
    row("S10 CN letter post", "RA473124829CN", V::Known, {"gnxb", "pingyou", "youzhengguoji"});
    row("S10 CN EMS", "EE473124829CN", V::Known, {"ems"});
    row("S10 foreign EMS", "EE473124829GB", V::Known, {"ems"});
    row("S10 foreign post", "RA473124829GB", V::Known, {"youzhengguoji"});
    row("S10 foreign registered", "RB123456785GB", V::Known, {"youzhengguoji"});
    row("S10 wrong check", "RA473124828CN", V::Mistyped, {});
    row("S10 check 10 written 0", "RA473124090CN", V::Known, {"gnxb", "pingyou", "youzhengguoji"});
    row("S10 check 11 written 5", "RA473124015CN", V::Known, {"gnxb", "pingyou", "youzhengguoji"});
    row("S10 shape, a letter for the check digit", "RA47312482XCN", V::Open, {});
    row("UPS", "1Z999AA10123456784", V::Known, {"ups"});
    row("UPS printed with spaces", "1z 999 aa1 01 2345 678 4", V::Known, {"ups"});
    row("UPS wrong check", "1Z999AA10123456785", V::Mistyped, {});
    row("UPS too short", "1Z999AA1012345678", V::Mistyped, {});
    row("FedEx 12", "986578788855", V::Known, {"fedex", "fedexcn"});
    row("FedEx 12 second example", "012345678983", V::Known, {"fedex", "fedexcn"});
    row("FedEx 12 wrong check: plain digits stay open", "012345678984", V::Open, {});
    row("FedEx 12 remainder 10 written 0", "123456789090", V::Known, {"fedex", "fedexcn"});
    row("FedEx 15", "041441760228964", V::Known, {"fedex", "fedexcn"});
    row("FedEx 15 wrong check", "041441760228965", V::Open, {});
    row("FedEx 22 (96 + 15 digits)", "9612019041441760228964", V::Known, {"fedex"});
    row("DHL Express", "8564385550", V::Known, {"dhl"});
    row("DHL wrong check", "8564385551", V::Open, {});
    row("USPS 22", "9205590164917312751089", V::Known, {"usps"});
    row("USPS 22 wrong check", "9205590164917312751088", V::Open, {});
    row("USPS 20", "70160910000108310009", V::Known, {"usps"});
    row("SF", "SF1234567890123", V::Known, {"shunfeng"});
    row("JD", "JD0001234567890", V::Known, {"jd"});
    row("JDV", "JDVA12345678901", V::Known, {"jd"});
    row("JDX", "JDX012345678901", V::Known, {"jd"});
    row("JT + 13 digits", "JT1234567890123", V::Known, {"jtexpress"});
    row("JT + 12 digits", "JT123456789012", V::Open, {});
    row("YT + 13 digits", "YT1234567890123", V::Known, {"yuantong"});
    row("YT + 16 digits is not 圆通", "YT1234567890123456", V::Open, {});
    row("DPK", "DPK123456789012", V::Known, {"debangkuaidi"});
    row("plain Chinese digits", "7730123456789", V::Open, {});
    row("too short", "SF123", V::NotANumber, {});
    row("other characters", "SF12345|67890123", V::NotANumber, {});
}

void TestGuess::formats() {
    QFETCH(QString, number);
    QFETCH(int, verdict);
    QFETCH(QStringList, codes);
    const NumberGuess guess = guessNumber(number);
    QCOMPARE(int(guess.verdict), verdict);
    QCOMPARE(codesOf(guess.candidates), codes);
}

void TestGuess::bookRanksEqualCandidates() {
    const QList<int> fedex = guessNumber(u"986578788855").candidates;
    QCOMPARE(codesOf(rankCandidates(fedex, {})), (QStringList{"fedex", "fedexcn"}));
    const QStringList book{QStringLiteral("1|Fedex国内|a"), QStringLiteral("2|Fedex国内|b"),
                           QStringLiteral("3|国际Fedex|c"), QStringLiteral("4|共速达物流|快递|d")};
    const QHash<QString, int> uses = countBookCompanies(book);
    QCOMPARE(uses.value(QStringLiteral("Fedex国内")), 2);
    QCOMPARE(uses.value(QStringLiteral("共速达物流|快递")), 1);
    QCOMPARE(codesOf(rankCandidates(fedex, uses)), (QStringList{"fedexcn", "fedex"}));
    QCOMPARE(guessHint(rankCandidates(fedex, uses)), QStringLiteral("根据单号推测:Fedex国内(或国际Fedex)"));
    // The service's answer: one code a line; an error's text names no company.
    QCOMPARE(OnlineGuess::codesOf(200, " zhongtong\r\n\nyunda\n"), (QStringList{"zhongtong", "yunda"}));
    QCOMPARE(OnlineGuess::codesOf(404, "zhongtong\n"), QStringList());
}

void TestGuess::typeNumber(MainWindow* w, const QString& number) {
    QLineEdit* edit = numberBox(*w)->lineEdit();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, number);
}

void TestGuess::addPanel_data() {
    // company: the chooser's company and its service code afterwards
    // hint empty: the hint line stays as it was
    addColumns<QString, QString, QString, QString>("number", "company", "code", "hint");
    QTest::newRow("SF") << "SF1234567890123" << "顺丰快递" << "shunfeng" << "根据单号推测:顺丰快递";
    QTest::newRow("UPS") << "1Z999AA10123456784" << "UPS" << "ups" << "根据单号推测:UPS";
    QTest::newRow("UPS wrong check") << "1Z999AA10123456785" << "AAE快递" << "aae" << "";
    QTest::newRow("JT") << "JT1234567890123" << "极兔速递" << "jtexpress" << "根据单号推测:极兔速递";
    QTest::newRow("fits nothing") << "7730123456789" << "AAE快递" << "aae" << "";
    QTest::newRow("S10 of another country")
        << "RB123456785GB" << "国际邮政包裹" << "youzhengguoji" << "根据单号推测:国际邮政包裹";
    // Plain digits that fit a foreign check digit are only named: kuaidi100's sample 圆通 number
    // passes DHL's check.
    QTest::newRow("plain digits, FedEx check")
        << "123456789012" << "AAE快递" << "aae" << "根据单号推测:可能是国际Fedex(或Fedex国内)";
    QTest::newRow("plain digits, DHL check") << "2234014274" << "AAE快递" << "aae" << "根据单号推测:可能是DHL快递";
}

void TestGuess::addPanel() {
    QFETCH(QString, number);
    QFETCH(QString, company);
    QFETCH(QString, code);
    QFETCH(QString, hint);
    test::WindowFixture fx;
    auto w = fx.makeWindow();
    w->addPanel().openEmpty();
    w->setHint(QStringLiteral("before"));
    typeNumber(w.get(), number);
    QCOMPARE(companyBox(*w)->currentText(), company);
    QCOMPARE(w->parcelQuery().companyCode(), code);
    QCOMPARE(w->strips().text(StatusStrips::Hint), hint.isEmpty() ? u"before"_s : hint);
    // The guess goes with its number: a digit more that fits nothing brings the earlier company
    // and hint back.
    QTest::keyClick(numberBox(*w)->lineEdit(), Qt::Key_3);
    QCOMPARE(companyBox(*w)->currentText(), u"AAE快递"_s);
    QCOMPARE(w->strips().text(StatusStrips::Hint), u"before"_s);
    // F8 pastes the same number with the line break a copied number often carries.
    w->addPanel().openEmpty();
    QGuiApplication::clipboard()->setText(number + QStringLiteral("\r\n"));
    w->addPanel().pasteNumber();
    QCOMPARE(companyBox(*w)->currentText(), company);
}

void TestGuess::handPickIsKept() {
    test::WindowFixture fx;
    auto w = fx.makeWindow();
    w->addPanel().openEmpty();
    companyBox(*w)->setFocus();
    QTest::keyClick(companyBox(*w), Qt::Key_Down); // the user picks 安捷快递 by hand
    QCOMPARE(companyBox(*w)->currentIndex(), 1);
    typeNumber(w.get(), QStringLiteral("SF1234567890123"));
    QCOMPARE(companyBox(*w)->currentIndex(), 1);
    QCOMPARE(w->strips().text(StatusStrips::Hint), QStringLiteral("单号看起来像顺丰快递"));
    QTest::keyClick(numberBox(*w)->lineEdit(), Qt::Key_Backspace); // editing keeps the hand pick
    QTest::keyClick(numberBox(*w)->lineEdit(), Qt::Key_3);
    QCOMPARE(companyBox(*w)->currentIndex(), 1);
    // An emptied box starts a new number, which is guessed again; so does a new add panel.
    typeNumber(w.get(), QStringLiteral("JT1234567890123"));
    QCOMPARE(companyBox(*w)->currentText(), QStringLiteral("极兔速递"));
}

void TestGuess::onlineAfterTypingStops() {
    test::TestServer server;
    server.setResponse("/autonumber", {200, "zhongtong\nyunda\n", "text/plain; charset=utf-8"});
    test::WindowFixture fx(server.hostPort());
    auto w = fx.makeWindow();
    auto* online = w->findChild<OnlineGuess*>();
    QVERIFY(online);
    w->addPanel().openEmpty();
    typeNumber(w.get(), QStringLiteral("SF1234567890123")); // decided offline: never asked
    QVERIFY(!online->pending());
    typeNumber(w.get(), QString());
    QTest::keyClicks(numberBox(*w)->lineEdit(), QStringLiteral("7730123456789")); // asked once typing stops
    QVERIFY(online->pending());
    QTRY_COMPARE(companyBox(*w)->currentText(), QStringLiteral("中通快递"));
    QCOMPARE(w->strips().text(StatusStrips::Hint), QStringLiteral("根据单号推测:中通快递(或韵达快递)"));
    QCOMPARE(server.requests().size(), 1);
    QCOMPARE(server.requests().first().param("nu"), std::string("7730123456789"));
    // Plain digits that fit FedEx's check digit leave the chooser to the provider's answer.
    typeNumber(w.get(), QString());
    QCOMPARE(companyBox(*w)->currentIndex(), 0);
    typeNumber(w.get(), QStringLiteral("986578788855"));
    QCOMPARE(companyBox(*w)->currentIndex(), 0);
    QTRY_COMPARE(companyBox(*w)->currentText(), QStringLiteral("中通快递"));
}

void TestGuess::lateOnlineAnswerAfterHandPick() {
    test::TestServer server;
    server.setResponse("/autonumber", {200, "zhongtong\n", "text/plain; charset=utf-8", 5000}); // answered below
    test::WindowFixture fx(server.hostPort());
    auto w = fx.makeWindow();
    auto* online = w->findChild<OnlineGuess*>();
    w->addPanel().openEmpty();
    typeNumber(w.get(), QStringLiteral("7730123456789"));
    QTRY_COMPARE(server.requests().size(), 1);
    companyBox(*w)->setFocus();
    QTest::keyClick(companyBox(*w), Qt::Key_Down); // picked by hand while the answer is on its way
    QVERIFY(!online->pending());
    Q_EMIT online->answered(QStringLiteral("7730123456789"), {QStringLiteral("zhongtong")}); // it arrives
    QCOMPARE(companyBox(*w)->currentIndex(), 1);
    // Nor does an answer that was still to be asked come later: the hand pick cancelled it.
    typeNumber(w.get(), QStringLiteral("7730123456780"));
    QVERIFY(online->pending());
    QTest::keyClick(companyBox(*w), Qt::Key_Up);
    QVERIFY(!online->pending());
}

QTEST_MAIN(TestGuess)
#include "tst_guess.moc"
