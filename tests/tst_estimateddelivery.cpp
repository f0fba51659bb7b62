// The estimated delivery the program shows beside a parcel's state, from the service's header.

#include "core/estimateddelivery.h"
#include "support/datatable.h"

#include <QtTest>

class EstimatedDeliveryTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void text_data() {
        zjx::test::addColumns<QByteArray, bool, QString>("header", "delivered", "shown");
        // Today is 2026-12-07 in every row.
        QTest::newRow("one day") << QByteArray("2026-12-09") << false << "预计送达 12月9日";
        QTest::newRow("range") << QByteArray("2026-12-09/2026-12-11") << false << "预计送达 12月9日-12月11日";
        QTest::newRow("range of one day") << QByteArray("2026-12-09/2026-12-09") << false << "预计送达 12月9日";
        QTest::newRow("into the new year")
            << QByteArray("2026-12-30/2027-01-02") << false << "预计送达 12月30日-2027年1月2日";
        QTest::newRow("next year") << QByteArray("2027-01-03") << false << "预计送达 2027年1月3日";
        QTest::newRow("a year ahead") << QByteArray("2027-12-07") << false << "预计送达 2027年12月7日";
        QTest::newRow("a year and a day ahead") << QByteArray("2027-12-08") << false << "";
        QTest::newRow("placeholder") << QByteArray("9999-12-31") << false << "";
        QTest::newRow("range into the far future") << QByteArray("2026-12-09/9999-12-31") << false << "";
        QTest::newRow("last year, overdue") << QByteArray("2025-12-31") << false << "已超过预计送达";
        QTest::newRow("today") << QByteArray("2026-12-07") << false << "预计送达 12月7日";
        QTest::newRow("range ending today")
            << QByteArray("2026-12-01/2026-12-07") << false << "预计送达 12月1日-12月7日";
        QTest::newRow("yesterday") << QByteArray("2026-12-06") << false << "已超过预计送达";
        QTest::newRow("range past") << QByteArray("2026-12-01/2026-12-06") << false << "已超过预计送达";
        QTest::newRow("delivered") << QByteArray("2026-12-09") << true << "";
        QTest::newRow("delivered late") << QByteArray("2026-12-01") << true << "";
        QTest::newRow("absent") << QByteArray() << false << "";
        QTest::newRow("spaces around") << QByteArray(" 2026-12-09 ") << false << "预计送达 12月9日";
        QTest::newRow("not a date") << QByteArray("soon") << false << "";
        QTest::newRow("no such day") << QByteArray("2026-02-30") << false << "";
        QTest::newRow("with a time") << QByteArray("2026-12-09 12:00") << false << "";
        QTest::newRow("short form") << QByteArray("2026-12-9") << false << "";
        QTest::newRow("backwards range") << QByteArray("2026-12-11/2026-12-09") << false << "";
        QTest::newRow("three parts") << QByteArray("2026-12-09/2026-12-10/2026-12-11") << false << "";
        QTest::newRow("half a range") << QByteArray("2026-12-09/") << false << "";
    }
    void text() {
        QFETCH(QByteArray, header);
        QFETCH(bool, delivered);
        QFETCH(QString, shown);
        QCOMPARE(zjx::estimatedDeliveryText(header, QDate(2026, 12, 7), delivered), shown);
    }
};

QTEST_GUILESS_MAIN(EstimatedDeliveryTest)
#include "tst_estimateddelivery.moc"
