// The tracking-service settings without a screen: the configuration file edited with every foreign
// line kept, the private write, the field checks and the texts for the service's verdicts.
#include "serviceconfig/serviceconfig.h"
#include "support/datarows.h"
#include "support/datatable.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <ctime>
#include <sys/stat.h>

using namespace Qt::StringLiterals;
using zjx::ServiceConfigFile;
using zjx::ServiceSettings;
using zjx::test::addColumns;
using zjx::test::addRows;
using zjx::test::dataRow;

namespace {

ServiceSettings kuaidi100(const QString& customer, const QString& key) {
    ServiceSettings s;
    s.backend = QStringLiteral("kuaidi100");
    s.kuaidi100Customer = customer;
    s.kuaidi100Key = key;
    return s;
}

mode_t modeOf(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

// The service's reason word, the hint for it, for the phone tail set.
using HintRow = std::tuple<const char*, QString, QString, QString>;

} // namespace

Q_DECLARE_METATYPE(ServiceSettings)

class ServiceConfigTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void applyKeepsForeignLines_data() {
        addColumns<QByteArray, ServiceSettings, QByteArray>("before", "settings", "after");
        const ServiceSettings k = kuaidi100("C1", "K1");
        dataRow("empty file", QByteArray(), k,
                QByteArray("[gateway]\nbackend = kuaidi100\n\n[kuaidi100]\ncustomer = C1\nkey = K1\n"));
        dataRow(
            "url and comments kept, keys added after the url",
            QByteArray("# mine\n[kuaidi100]\n; the local fake\nurl = http://127.0.0.1:1/poll/query.do\n"), k,
            QByteArray("# mine\n[kuaidi100]\n; the local fake\nurl = http://127.0.0.1:1/poll/query.do\ncustomer = C1\n"
                       "key = K1\n\n[gateway]\nbackend = kuaidi100\n"));
        ServiceSettings withTrack17 = k; // the window keeps the other providers' keys as read
        withTrack17.track17Key = QStringLiteral("T");
        dataRow("values replaced in place, unknown keys and other sections kept",
                QByteArray("[gateway]\nbackend = demo\ncolour = blue\n[kuaidi100]\nkey = old\ncustomer=old\n[17track]\n"
                           "key = T\n"),
                withTrack17,
                QByteArray("[gateway]\nbackend = kuaidi100\ncolour = blue\n[kuaidi100]\nkey = K1\ncustomer = C1\n"
                           "[17track]\nkey = T\n"));
        dataRow("CR LF line kept as CR LF, no final line break kept",
                QByteArray("[gateway]\r\nbackend = demo\r\n# end"), k,
                QByteArray("[gateway]\r\nbackend = kuaidi100\r\n# end\n\n[kuaidi100]\ncustomer = C1\nkey = K1\n"));
        ServiceSettings longerCache = k;
        longerCache.cacheMinutes = 45;
        longerCache.phoneTail = QString();
        dataRow("comments stay on the changed lines",
                QByteArray("[gateway]\nbackend = demo ; try first\ncache_minutes = 30 ; one question\r\n"
                           "phone_tail = 6420 # mine\n[kuaidi100]\ncustomer = C1\nkey = K1\n"),
                longerCache,
                QByteArray("[gateway]\nbackend = kuaidi100 ; try first\ncache_minutes = 45 ; one question\r\n"
                           "phone_tail =  # mine\n[kuaidi100]\ncustomer = C1\nkey = K1\n"));
        dataRow("nothing changed: bytes untouched",
                QByteArray("[gateway]\nbackend = kuaidi100   ; inline note\n[kuaidi100]\ncustomer = \"C1\"\nkey = K1"),
                k,
                QByteArray("[gateway]\nbackend = kuaidi100   ; inline note\n[kuaidi100]\ncustomer = \"C1\"\nkey = K1"));
        ServiceSettings demo;
        dataRow("defaults are not added", QByteArray("# only a comment\n"), demo, QByteArray("# only a comment\n"));
    }
    void applyKeepsForeignLines() {
        QFETCH(QByteArray, before);
        QFETCH(ServiceSettings, settings);
        QFETCH(QByteArray, after);
        ServiceConfigFile file;
        file.setText(before);
        file.apply(settings);
        QCOMPARE(file.text(), after);
        // What was written reads back as the settings.
        ServiceConfigFile again;
        again.setText(file.text());
        QCOMPARE(again.settings(), settings);
    }

    void privateWrite() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("new/zjx/zjx-service.conf"));
        const mode_t oldMask = ::umask(0); // the most open umask must not leak into the file
        const zjx::Result first = zjx::writePrivateFile(path, "[gateway]\nbackend = demo\n");
        ::umask(oldMask);
        QVERIFY2(first.ok(), qPrintable(first.errorText()));
        QCOMPARE(modeOf(path), mode_t(0600));
        QCOMPARE(modeOf(QFileInfo(path).absolutePath()), mode_t(0700));

        // A file others could read is replaced by a private one; no temporary file is left.
        QVERIFY(
            QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther));
        // So is the folder an earlier version left open to others.
        QVERIFY(::chmod(QFile::encodeName(QFileInfo(path).absolutePath()).constData(), 0755) == 0);
        QVERIFY(zjx::writePrivateFile(path, "x\n").ok());
        QCOMPARE(modeOf(path), mode_t(0600));
        QCOMPARE(modeOf(QFileInfo(path).absolutePath()), mode_t(0700));
    }

    // The calls a private write makes, and what a failing one leaves: the old file, no temporary file.
    void privateWriteCalls_data() {
        addColumns<QString, QStringList>("failing", "calls");
        const QStringList made{"open new beside 600", "fchmod 600", "write 2", "fsync"};
        QTest::newRow("written") << "" << made + QStringList{"close", "rename over the file"};
        QTest::newRow("fsync fails") << "fsync" << made + QStringList{"close", "unlink temporary"};
        QTest::newRow("rename fails") << "rename"
                                      << made + QStringList{"close", "rename over the file", "unlink temporary"};
    }
    void privateWriteCalls() {
        QFETCH(QString, failing);
        QFETCH(QStringList, calls);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("zjx-service.conf"));
        QVERIFY(zjx::writePrivateFile(path, "old\n").ok());
        const QByteArray file = QFile::encodeName(path);
        QByteArray temp;
        QStringList seen;
        const auto fails = [&](const QString& call) {
            seen << call;
            errno = EIO;
            return call.startsWith(failing) && !failing.isEmpty();
        };
        const zjx::PrivateWriteCalls real;
        zjx::PrivateWriteCalls recorded;
        recorded.open = [&](const char* p, int flags, mode_t mode) {
            temp = p;
            const bool fresh = (flags & O_CREAT) && (flags & O_EXCL);
            const QString where = temp.startsWith(QByteArray(file + ".tmp")) ? u" beside "_s : u" "_s;
            fails(u"open"_s + (fresh ? u" new"_s : u""_s) + where + QString::number(mode, 8));
            return real.open(p, flags, mode);
        };
        recorded.fchmod = [&](int fd, mode_t mode) {
            return fails(u"fchmod "_s + QString::number(mode, 8)) ? -1 : real.fchmod(fd, mode);
        };
        recorded.write = [&](int fd, const void* d, size_t n) {
            return fails(u"write "_s + QString::number(n)) ? -1 : real.write(fd, d, n);
        };
        recorded.fsync = [&](int fd) { return fails(u"fsync"_s) ? -1 : real.fsync(fd); };
        recorded.close = [&](int fd) { return fails(u"close"_s) ? -1 : real.close(fd); };
        recorded.rename = [&](const char* from, const char* to) {
            const bool over = temp == from && file == to;
            return fails(over ? u"rename over the file"_s : u"rename"_s) ? -1 : real.rename(from, to);
        };
        recorded.unlink = [&](const char* p) {
            return fails(temp == p ? u"unlink temporary"_s : u"unlink"_s) ? -1 : real.unlink(p);
        };
        QCOMPARE(zjx::writePrivateFile(path, "x\n", recorded).ok(), failing.isEmpty());
        QCOMPARE(seen, calls);
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), failing.isEmpty() ? QByteArray("x\n") : QByteArray("old\n"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"zjx-service.conf"});
    }

    void validation_data() {
        addColumns<ServiceSettings, QStringList>("settings", "wrongFields");
        QTest::newRow("demo") << ServiceSettings{} << QStringList{};
        QTest::newRow("kuaidi100 complete") << kuaidi100("C", "K") << QStringList{};
        QTest::newRow("empty key") << kuaidi100("C", "  ") << QStringList{"key"};
        QTest::newRow("key with a space") << kuaidi100("C", "a b") << QStringList{"key"};
        QTest::newRow("key with a comment sign") << kuaidi100("C#1", "k") << QStringList{"customer"};
        ServiceSettings s = kuaidi100("C", "K");
        s.cacheMinutes = 29; // kuaidi100 locks a number asked more often than every 30 minutes
        QTest::newRow("kuaidi100 cache below its minimum") << s << QStringList{"cache_minutes"};
        s.cacheMinutes = 30;
        QTest::newRow("kuaidi100 cache at its minimum") << s << QStringList{};
        s.backend = QStringLiteral("17track");
        s.track17Key = QStringLiteral("T");
        s.cacheMinutes = 1;
        QTest::newRow("1 minute is fine for 17TRACK") << s << QStringList{};
        s.track17Key.clear();
        QTest::newRow("17TRACK without its key") << s << QStringList{"key"};
        s.track17Key = QStringLiteral("T");
        s.cacheMinutes = 100000;
        QTest::newRow("cache at its longest") << s << QStringList{};
        s.cacheMinutes = 100001;
        QTest::newRow("cache past its longest") << s << QStringList{"cache_minutes"};
        s.cacheMinutes = 29;
        QTest::newRow("29 minutes are fine for 17TRACK") << s << QStringList{};
        s.phoneTail = QStringLiteral("123");
        QTest::newRow("phone tail of three digits") << s << QStringList{"phone_tail"};
        s.phoneTail = QStringLiteral("12a4");
        QTest::newRow("phone tail with a letter") << s << QStringList{"phone_tail"};
        s.phoneTail = QStringLiteral("12345");
        QTest::newRow("phone tail of five digits") << s << QStringList{"phone_tail"};
        s.phoneTail = QStringLiteral("0123");
        s.cacheMinutes = 0;
        QTest::newRow("cache of 0") << s << QStringList{"cache_minutes"};
        ServiceSettings kd;
        kd.backend = QStringLiteral("kdniao");
        kd.kdniaoRequestType = QStringLiteral("8002");
        QTest::newRow("kdniao: both secrets missing, unknown request type")
            << kd << QStringList{"business_id", "app_key", "request_type"};
    }
    void validation() {
        QFETCH(ServiceSettings, settings);
        QFETCH(QStringList, wrongFields);
        QStringList found;
        for (const zjx::FieldProblem& p : zjx::validate(settings)) {
            found << p.key;
            QVERIFY(!p.message.isEmpty());
        }
        QCOMPARE(found, wrongFields);
    }

    void checkVerdicts_data() {
        // detail: the technical words, never in the Chinese text
        addColumns<QByteArray, QByteArray, bool, QString, QString, QString>("output", "errors", "good", "text",
                                                                            "detail", "phoneTail");
        dataRow("events",
                QByteArray("back-end: kuaidi100\n  1  x\nlatest: 2026-12-02 11:47:00  已签收\nverdict: events 4\n"),
                QByteArray(), true, "找到 4 条物流信息,最新:2026-12-02 11:47:00  已签收", "", "");
        dataRow("no record", QByteArray("verdict: notfound\n"), QByteArray(), true, "无此单号记录", "", "");
        dataRow("signature",
                QByteArray("message: signature refused: kuaidi100 returnCode 503\nverdict: fault signature\n"),
                QByteArray(), false, "密钥错误", "signature refused: kuaidi100 returnCode 503", "");
        dataRow("bad key", QByteArray("verdict: fault bad-key"), QByteArray(), false, "密钥错误",
                "verdict: fault bad-key", "");
        dataRow("quota", QByteArray("verdict: fault quota\n"), QByteArray(), false, "额度已用完",
                "verdict: fault quota", "");
        dataRow(
            "phone tail missing",
            QByteArray("message: kuaidi100 status 408 (set phone_tail in [gateway] ...)\nverdict: fault phone-tail\n"),
            QByteArray(), false, "需要手机尾号:请填写收件人或寄件人手机号码的后四位",
            "kuaidi100 status 408 (set phone_tail in [gateway] ...)", "");
        dataRow("phone tail wrong", QByteArray("verdict: fault phone-tail\n"), QByteArray(), false,
                "手机尾号 1234 不对:请改为收件人或寄件人手机号码的后四位", "verdict: fault phone-tail", "1234");
        dataRow("timeout", QByteArray("verdict: fault timeout\n"), QByteArray(), false, "无法连接服务商",
                "verdict: fault timeout", "");
        dataRow("顺丰 not ordered through kdniao", QByteArray("verdict: notfound needs-8001\n"), QByteArray(), true,
                "无此单号记录:快递鸟即时查询(1002)只查得到经快递鸟下单的顺丰单号,其他顺丰单号请把请求指令改为 8001", "",
                "");
        dataRow("tls", QByteArray("verdict: fault tls\n"), QByteArray(), false, "证书无效", "verdict: fault tls", "");
        dataRow("a fault word added later", QByteArray("verdict: fault gremlins\n"), QByteArray(), false,
                "服务商暂时不可用", "verdict: fault gremlins", "");
        dataRow("refused configuration", QByteArray(),
                QByteArray("zjx-service: /tmp/x.conf:3: expected \"key = value\"\n"), false,
                "检查未能完成:查询服务不接受这些设置", "/tmp/x.conf:3: expected \"key = value\"", "");
    }
    void checkVerdicts() {
        QFETCH(QByteArray, output);
        QFETCH(QByteArray, errors);
        QFETCH(bool, good);
        QFETCH(QString, text);
        QFETCH(QString, detail);
        QFETCH(QString, phoneTail);
        const zjx::CheckVerdict v = zjx::checkVerdict(output, errors, phoneTail);
        QCOMPARE(v.text, text);
        QCOMPARE(v.detail, detail);
        QCOMPARE(v.good, good);
    }

    void hints_data() {
        // Every word the service sends without a phone tail: tst_gateway's everyFaultReachesTheUserInItsOwnWords.
        const HintRow rows[] = {
            {"phone tail wrong", "phone-tail",
             "查询服务:手机尾号 1234 不对,请在查询服务设置中改为收件人或寄件人手机号码的后四位", "1234"},
            {"unknown word keeps today's hint", "gremlins", "", ""},
        };
        addRows(rows);
    }
    void hints() {
        QFETCH(HintRow, row);
        const auto& [name, reason, hint, phoneTail] = row;
        QCOMPARE(zjx::reasonHint(reason, phoneTail), hint);
    }

    void savedSettingsAnswerHints_data() {
        addColumns<QString, ServiceSettings, bool>("reason", "now", "answered");
        const ServiceSettings before = kuaidi100("C1", "K1");
        ServiceSettings tail = before, cache = before, other = before;
        tail.phoneTail = QStringLiteral("6420");
        cache.cacheMinutes = 60;
        other.backend = QStringLiteral("17track");
        QTest::newRow("new key, key fault") << "bad-key" << kuaidi100("C1", "K2") << true;
        QTest::newRow("new customer, account fault") << "account" << kuaidi100("C2", "K1") << true;
        QTest::newRow("new tail, key fault") << "signature" << tail << false;
        QTest::newRow("new tail, tail fault") << "phone-tail" << tail << true;
        QTest::newRow("new key, tail fault") << "phone-tail" << kuaidi100("C1", "K2") << false;
        QTest::newRow("cache, key fault") << "bad-key" << cache << false;
        QTest::newRow("new key, network fault") << "network" << kuaidi100("C1", "K2") << false;
        QTest::newRow("other provider, network fault") << "network" << other << true;
    }
    void savedSettingsAnswerHints() {
        QFETCH(QString, reason);
        QFETCH(ServiceSettings, now);
        QFETCH(bool, answered);
        QCOMPARE(zjx::settingsAnswer(reason, kuaidi100("C1", "K1"), now), answered);
    }

    // The fetch time is shown in the user's own zone, whatever zone the machine runs in.
    void staleMarkerShowsTheLocalTimeOfTheFetch_data() {
        addColumns<QByteArray, QString>("zone", "shown");
        QTest::newRow("UTC") << QByteArray("UTC0") << "01:05";
        QTest::newRow("China") << QByteArray("CST-8") << "09:05";
    }
    void staleMarkerShowsTheLocalTimeOfTheFetch() {
        QFETCH(QByteArray, zone);
        QFETCH(QString, shown);
        const QByteArray before = qgetenv("TZ");
        qputenv("TZ", zone);
        tzset();
        const QString hint = zjx::staleHint(QStringLiteral("2026-12-07T01:05:00Z"));
        before.isNull() ? qunsetenv("TZ") : qputenv("TZ", before);
        tzset();
        QCOMPARE(hint, QStringLiteral("查询完毕...(服务商暂不可用,显示 %1 的结果)").arg(shown));
        QCOMPARE(zjx::staleHint(QStringLiteral("yesterday")), QString());
    }
};

QTEST_GUILESS_MAIN(ServiceConfigTest)
#include "tst_serviceconfig.moc"
