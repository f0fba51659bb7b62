#include "book/export.h"
#include "core/textcodec.h"
#include "gui/platform/filedialog.h"
#include "gui/platform/messagebox.h"
#include "gui/statusstrips.h"
#include "support/datatable.h"
#include "support/files.h"
#include "support/scriptedseams.h"
#include "support/windowcontrols.h"
#include "support/windowfixture.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

using namespace zjx;
using namespace zjx::test;

namespace {

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

} // namespace

class TestExport : public QObject {
    Q_OBJECT
    std::unique_ptr<WindowFixture> m_fx; // each test's
private Q_SLOTS:
    void init() { m_fx = std::make_unique<WindowFixture>(); }
    void cleanup() { m_fx.reset(); }

    void fixedLength_data() {
        addColumns<QString, int, QString>("in", "width", "out");
        QTest::newRow("two digits") << QStringLiteral("12") << 8 << QStringLiteral("12      ");
        QTest::newRow("trimmed first") << QStringLiteral(" 3 ") << 8 << QStringLiteral("3       ");
        QTest::newRow("Chinese counts two") << QStringLiteral("申通") << 8 << QStringLiteral("申通    ");
        QTest::newRow("wider is not cut") << QStringLiteral("123456789") << 8 << QStringLiteral("123456789");
        QTest::newRow("exactly wide") << QStringLiteral("申通快递") << 8 << QStringLiteral("申通快递");
        QTest::newRow("empty stays empty") << QString() << 8 << QString();
        QTest::newRow("spaces only") << QStringLiteral("   ") << 8 << QString();
        QTest::newRow("no width") << QStringLiteral("7") << 0 << QStringLiteral("7");
        QTest::newRow("negative width") << QStringLiteral("7") << -3 << QStringLiteral("7");
        QTest::newRow("tab is not trimmed") << QStringLiteral("\t1") << 4 << QStringLiteral("\t1  ");
    }
    void fixedLength() {
        QFETCH(QString, in);
        QFETCH(int, width);
        QFETCH(QString, out);
        QCOMPARE(SetStringFixedLength(in, width), out);
    }

    void cellLimit_data() {
        addColumns<QString, int>("cell", "bytes");
        const QString han = QStringLiteral("签");
        QTest::newRow("1023 ASCII kept") << QString(1023, u'a') << 1023;
        QTest::newRow("1024 ASCII cut") << QString(1024, u'a') << 1023;
        QTest::newRow("ends on a whole character") << QStringLiteral("a") + han.repeated(511) << 1023;
        QTest::newRow("half a character left out") << QStringLiteral("ab") + han.repeated(511) << 1022;
    }
    void cellLimit() {
        QFETCH(QString, cell);
        QFETCH(int, bytes);
        const QString taken = ListExport::cellText(cell);
        QCOMPARE(codec::gbkWidth(taken), bytes);
        QVERIFY(cell.startsWith(taken));
    }

    void twelveRows() {
        auto w = m_fx->makeWindow();
        const QString time = QStringLiteral("2013-05-20 08:00:00");
        for (int i = 1; i <= 12; ++i)
            addProgressRow(*w, QString::number(i), time,
                           i == 1 ? QStringLiteral("已签收") : QStringLiteral("到达 上海"));
        const QString path = m_fx->folder() + QStringLiteral("/进度.txt");
        test::ScriptedSaveDialog::setNextFileName(path);
        w->progressList().exportRows();

        const QByteArray bytes = fileBytes(path);
        const QList<QByteArray> lines = bytes.split('\n');
        QCOMPARE(lines.size(), 13); // twelve lines, each ended by CR LF, nothing after the last
        QVERIFY(lines.last().isEmpty());
        QCOMPARE(lines.at(0),
                 QByteArray("1          2013-05-20 08:00:00   ") + codec::toGbk(QStringLiteral("已签收")) + '\r');
        QCOMPARE(lines.at(8),
                 QByteArray("9          2013-05-20 08:00:00   ") + codec::toGbk(QStringLiteral("到达 上海")) + '\r');
        for (int i = 10; i <= 12; ++i)
            QCOMPARE(lines.at(i - 1), QByteArray::number(i) + QByteArray("         2013-05-20 08:00:00   ") +
                                          codec::toGbk(QStringLiteral("到达 上海")) + '\r');
        QCOMPARE(test::ScriptedBoxes::shownTexts(), QStringList{QStringLiteral("成功导出全部数据!")});
        QCOMPARE(w->strips().text(StatusStrips::Hint), QStringLiteral("成功导出全部数据.."));
        QCOMPARE(progressRows(*w)->topLevelItemCount(), 12);

        // The dialog offers the last name again.
        test::ScriptedSaveDialog::setNextFileName(QString());
        w->progressList().exportRows();
        QCOMPARE(test::ScriptedSaveDialog::lastSuggestedPath(), path);
        QCOMPARE(test::ScriptedBoxes::shownTexts().last(), QStringLiteral("已取消保存"));
    }

    // The dialog opens in the documents folder (or home), never the program's; a name without a
    // suffix gets ".txt".
    void dialogPlaceAndSuffix_data() {
        addColumns<bool, QString, QString>("documents", "chosen", "written");
        QTest::newRow("documents, no suffix") << true << QStringLiteral("进度") << QStringLiteral("进度.txt");
        QTest::newRow("no documents folder, .txt") << false << QStringLiteral("a.txt") << QStringLiteral("a.txt");
        QTest::newRow("another suffix stays") << true << QStringLiteral("a.log") << QStringLiteral("a.log");
    }
    void dialogPlaceAndSuffix() {
        QFETCH(bool, documents);
        QFETCH(QString, chosen);
        QFETCH(QString, written);
        const QString home = m_fx->folder() + QStringLiteral("/home");
        QVERIFY(QDir().mkpath(home + (documents ? QStringLiteral("/Documents") : QString())));
        const QByteArray oldHome = qgetenv("HOME"), oldConfig = qgetenv("XDG_CONFIG_HOME");
        qputenv("HOME", home.toUtf8());
        qputenv("XDG_CONFIG_HOME", (home + QStringLiteral("/.config")).toUtf8()); // no user-dirs.dirs
        auto w = m_fx->makeWindow();
        addProgressRow(*w, QStringLiteral("1"), QStringLiteral("t"), QStringLiteral("p"));
        test::ScriptedSaveDialog::setNextFileName(m_fx->folder() + u'/' + chosen);
        w->progressList().exportRows();
        qputenv("HOME", oldHome);
        qputenv("XDG_CONFIG_HOME", oldConfig);
        QCOMPARE(test::ScriptedSaveDialog::lastSuggestedPath(),
                 home + (documents ? QStringLiteral("/Documents") : QString()));
        QCOMPARE(fileBytes(m_fx->folder() + u'/' + written), QByteArray("1          t   p\r\n"));
        QCOMPARE(test::ScriptedBoxes::shownTexts(), QStringList{QStringLiteral("成功导出全部数据!")});
    }

    void emptyListAsksNothing() {
        auto w = m_fx->makeWindow();
        const int dialogs = test::ScriptedSaveDialog::timesShown();
        w->progressList().exportRows();
        QCOMPARE(test::ScriptedSaveDialog::timesShown(), dialogs);
        QCOMPARE(test::ScriptedBoxes::shownTexts(), QStringList{QStringLiteral("没有可导出的数据!")});
    }

    void cancelLeavesEarlierFile() {
        auto w = m_fx->makeWindow();
        addProgressRow(*w, QStringLiteral("1"), QStringLiteral("t"), QStringLiteral("p"));
        const QString path = m_fx->folder() + QStringLiteral("/old.txt");
        writeFile(path, "earlier\r\n");
        const QString hint = w->strips().text(StatusStrips::Hint);
        test::ScriptedSaveDialog::setNextFileName(QString());
        w->progressList().exportRows();
        QCOMPARE(test::ScriptedBoxes::shownTexts(), QStringList{QStringLiteral("已取消保存")});
        QCOMPARE(fileBytes(path), QByteArray("earlier\r\n"));
        QCOMPARE(w->strips().text(StatusStrips::Hint), hint);
    }

    void failedWriteIsReported_data() {
        addColumns<QString, bool>("name", "existing");
        // A name too long for the file beside it that an atomic write needs.
        QTest::newRow("earlier file kept") << QString(251, u'x') + QStringLiteral(".txt") << true;
        QTest::newRow("missing folder") << QStringLiteral("no/such/folder/a.txt") << false;
    }
    void failedWriteIsReported() {
        QFETCH(QString, name);
        QFETCH(bool, existing);
        auto w = m_fx->makeWindow();
        addProgressRow(*w, QStringLiteral("1"), QStringLiteral("t"), QStringLiteral("p"));
        const QString path = m_fx->folder() + u'/' + name;
        if (existing)
            writeFile(path, "earlier\r\n");
        const QStringList before = QDir(m_fx->folder()).entryList(QDir::Files | QDir::Hidden);
        test::ScriptedSaveDialog::setNextFileName(path);
        w->progressList().exportRows();
        QCOMPARE(test::ScriptedBoxes::shownTexts(), QStringList{QStringLiteral("导出失败!请检查保存位置后重试")});
        QCOMPARE(w->strips().text(StatusStrips::Hint), QStringLiteral("导出失败,请检查保存位置后重试.."));
        QCOMPARE(QFile::exists(path), existing);
        if (existing)
            QCOMPARE(fileBytes(path), QByteArray("earlier\r\n"));
        QCOMPARE(QDir(m_fx->folder()).entryList(QDir::Files | QDir::Hidden), before);
    }
};

QTEST_MAIN(TestExport)
#include "tst_export.moc"
