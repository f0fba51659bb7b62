#include "core/catalogue.h"
#include "support/datatable.h"

#include <QSet>
#include <QTest>

using zjx::CourierCatalogue;

class TestCatalogue : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void codeByPosition_data() {
        zjx::test::addColumns<int, QString, QString>("index", "name", "code");
        // Names that do not spell their codes: the code must come from the position.
        const QList<std::tuple<int, const char16_t*, const char*>> rows = {
            {0, u"AAE快递", "aae"},
            {3, u"Aramex国际快递", "aramex"},
            {13, u"东方快递", "coe"},
            {25, u"百福东方物流", "ees"},
            {26, u"EMS快递", "ems"},
            {40, u"共速达物流|快递", "gongsuda"},
            {49, u"天地华宇物流", "huayu"},
            {52, u"海外环球快递", "hwhq"},
            {62, u"顺鑫(KCS)快递", "kcs"},
            {72, u"港中能达快递", "nengda"},
            {75, u"中国邮政平邮", "pingyou"},
            {86, u"伟邦(SCS)快递", "scs"},
            {90, u"申通快递", "shentong"},
            {119, u"源伟丰", "ywfex"},
            {125, u"忠信达快递", "zhongxinda"},
            {126, u"中邮物流", "zhongyou"},
            {127, u"极兔速递", "jtexpress"},
            {129, u"京东物流", "jd"},
            {141, u"众邮快递", "zhongyouex"},
            {142, u"国际邮政包裹", "youzhengguoji"},
        };
        for (const auto& [index, name, code] : rows)
            QTest::addRow("%d", index) << index << QString::fromUtf16(name) << QString::fromLatin1(code);
    }
    void codeByPosition() {
        QFETCH(int, index);
        QFETCH(QString, name);
        QFETCH(QString, code);
        QCOMPARE(CourierCatalogue::displayName(index), name);
        QCOMPARE(CourierCatalogue::serviceCode(index), code);
        QCOMPARE(CourierCatalogue::indexOfName(name), index);
        QCOMPARE(CourierCatalogue::indexOfCode(code), index);
    }

    void tableIsOneToOneAndSortedByCode() {
        QSet<QString> names, codes;
        QString previous;
        for (int i = 0; i < CourierCatalogue::count; ++i) {
            const QString code = CourierCatalogue::serviceCode(i);
            QVERIFY2(!code.isEmpty(), qPrintable(QString::number(i)));
            // Only the original entries are sorted; the added ones follow them.
            QVERIFY2(i >= CourierCatalogue::firstAddedIndex || previous < code, qPrintable(code));
            for (QChar c : code)
                QVERIFY(c.isDigit() || (c >= u'a' && c <= u'z'));
            previous = code;
            names << CourierCatalogue::displayName(i);
            codes << code;
        }
        QCOMPARE(names.size(), CourierCatalogue::count);
        QCOMPARE(codes.size(), CourierCatalogue::count);
        QCOMPARE(CourierCatalogue::displayNames().size(), CourierCatalogue::count);
    }

    void outsideTheTable() {
        QCOMPARE(CourierCatalogue::serviceCode(-1), QString());
        QCOMPARE(CourierCatalogue::serviceCode(CourierCatalogue::count), QString());
        QCOMPARE(CourierCatalogue::indexOfName(QStringLiteral("ems快递")), -1);
    }
};

QTEST_GUILESS_MAIN(TestCatalogue)
#include "tst_catalogue.moc"
