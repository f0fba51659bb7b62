// Text the program did not write itself (pages, answers, the version file, the book, typing) as the
// window shows it: plain, cut to a readable length, decoded whatever GB label the server gives.

#include "core/textcodec.h"
#include "core/textutil.h"
#include "gui/balloontip.h"
#include "gui/branchwindow.h"
#include "gui/identity.h"
#include "gui/platform/messagebox.h"
#include "gui/statusstrips.h"
#include "platform/environment.h"
#include "platform/httpclient.h"
#include "schedule/newsnotice.h"
#include "support/datatable.h"
#include "support/scriptedseams.h"
#include "support/testserver.h"
#include "support/windowcontrols.h"
#include "support/windowfixture.h"

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>
#include <QStringEncoder>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <QTreeWidget>

using namespace zjx;
using namespace zjx::test;

namespace {

const QString markup = QStringLiteral("<a href=\"http://x\">V9</a><img src=\"/etc/hosts\">");

// A freeze the user notices; the faults measured 15 s and more.
constexpr qint64 bearableMs = 2000;

QByteArray branchPage(const QString& range) {
    QString page = QStringLiteral("<style>td { padding: 4px; }</style><table>\n<tr><td>网点信息</td></tr>\n");
    const QStringList values{QStringLiteral("上海浦东"),
                             QStringLiteral("张建国"),
                             QStringLiteral("申通上海"),
                             QStringLiteral("021-1"),
                             range,
                             QStringLiteral("芦潮港")};
    // Each value's cell opens with 19 characters after "td" (20 for the last): the page's shape.
    for (int i = 0; i < values.size(); ++i)
        page += QStringLiteral("<tr><td class=\"caption\">栏目</td><td class=\"%1\">%2</td></tr>\n")
                    .arg(i < 5 ? QStringLiteral("site-name") : QStringLiteral("scope-none"), values.at(i));
    return page.toUtf8();
}

bool isCutFrom(const QString& shown, const QString& full) {
    return shown.size() <= readableChars + 3 && shown.endsWith(QStringLiteral("...")) &&
           full.startsWith(shown.chopped(3));
}

// Closes every message box as soon as it is on screen, noting what it showed.
struct BoxCloser {
    QString shown;
    Qt::TextFormat format = Qt::AutoText;
    QTimer timer;
    BoxCloser() {
        test::ScriptedBoxes::uninstall();
        QObject::connect(&timer, &QTimer::timeout, [this] {
            for (QWidget* top : QApplication::topLevelWidgets()) {
                auto* box = qobject_cast<QMessageBox*>(top);
                if (box && box->isVisible()) {
                    shown = box->text();
                    format = box->textFormat();
                    box->done(QMessageBox::Ok);
                }
            }
        });
        timer.start(10);
    }
};

} // namespace

class TestOutsideText : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cleanup() {
        test::ScriptedBoxes::install();
        test::ScriptedBoxes::clearShown();
    }

    void readable_data() {
        addColumns<QString, QString>("text", "shown");
        const QString line = QString(10, u'x');
        QString lines;
        for (int i = 0; i < 40; ++i)
            lines += line + QStringLiteral("\r\n");
        dataRow("short stays", QStringLiteral("a\r\nb"), QStringLiteral("a\r\nb"));
        dataRow("exactly the limit stays", QString(readableChars, u'申'), QString(readableChars, u'申'));
        dataRow("long is cut", QString(readableChars * 1000, u'申'),
                QString(readableChars, u'申') + QStringLiteral("..."));
        dataRow("many lines are cut", lines, lines.left(int(readableLines) * 12 - 2) + QStringLiteral("..."));
        dataRow("surrogate pair stays whole", QString(readableChars - 1, u'a') + QStringLiteral("\U0001F600b"),
                QString(readableChars - 1, u'a') + QStringLiteral("..."));
    }
    void readable() {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        QCOMPARE(readableText(text), shown);
    }

    // A real box, as the user sees it: its text is never markup and never megabytes long.
    void messageBoxIsPlainAndReadable_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("link and image") << markup;
        QTest::newRow("huge: 1.5 MB") << QString(500 * 1000, u'区');
    }
    void messageBoxIsPlainAndReadable() {
        QFETCH(QString, text);
        test::ScriptedBoxes::uninstall();
        BoxCloser closer;
        QElapsedTimer clock;
        clock.start();
        MessageBox::information(nullptr, text);
        const qint64 boxMs = clock.elapsed();
        qInfo("box of %lld characters: %lld ms", qint64(text.size()), boxMs);
        QCOMPARE(closer.format, Qt::PlainText);
        QVERIFY(closer.shown == text || isCutFrom(closer.shown, text));
        QVERIFY(boxMs < bearableMs);
    }

    // The real box, once: which standard buttons each kind shows, and what a click, Enter or Escape
    // on it answers. "key" names the standard button clicked, or the key pressed.
    void realBoxButtons_data() {
        // kind: 0 notice, 1 question, 2 question with 否 default, 3 three-way
        addColumns<int, QString, int, int>("kind", "key", "buttons", "answer");
        const int yesNo = QMessageBox::Yes | QMessageBox::No;
        const int yesNoCancel = yesNo | QMessageBox::Cancel;
        using A = MessageBox::Answer;
        QTest::newRow("notice, Enter") << 0 << "Enter" << int(QMessageBox::Ok) << int(A::Ok);
        QTest::newRow("question, 是") << 1 << "Yes" << yesNo << int(A::Yes);
        QTest::newRow("question, 否") << 1 << "No" << yesNo << int(A::No);
        QTest::newRow("question, Enter: 是 is the default") << 1 << "Enter" << yesNo << int(A::Yes);
        QTest::newRow("question, Escape") << 1 << "Escape" << yesNo << int(A::No);
        QTest::newRow("否 default, Enter") << 2 << "Enter" << yesNo << int(A::No);
        QTest::newRow("three-way, 是") << 3 << "Yes" << yesNoCancel << int(A::Yes);
        QTest::newRow("three-way, 否") << 3 << "No" << yesNoCancel << int(A::No);
        QTest::newRow("three-way, 取消") << 3 << "Cancel" << yesNoCancel << int(A::Cancel);
        QTest::newRow("three-way, Escape") << 3 << "Escape" << yesNoCancel << int(A::Cancel);
    }
    void realBoxButtons() {
        QFETCH(int, kind);
        QFETCH(QString, key);
        QFETCH(int, buttons);
        QFETCH(int, answer);
        test::ScriptedBoxes::uninstall();
        int shownButtons = 0;
        QString title;
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || !box->isVisible())
                return;
            timer.stop();
            shownButtons = int(box->standardButtons());
            title = box->windowTitle();
            if (key == QStringLiteral("Enter") || key == QStringLiteral("Escape")) {
                QTest::keyClick(box, key == QStringLiteral("Enter") ? Qt::Key_Return : Qt::Key_Escape);
                return;
            }
            const QMessageBox::StandardButton which = key == QStringLiteral("Yes")  ? QMessageBox::Yes
                                                      : key == QStringLiteral("No") ? QMessageBox::No
                                                                                    : QMessageBox::Cancel;
            if (QAbstractButton* b = box->button(which))
                b->click();
            else
                box->done(QMessageBox::NoButton); // no such button: the comparison below fails
        });
        timer.start(10);
        MessageBox::Answer got = MessageBox::Answer::Ok; // a notice gives no answer
        if (kind == 0)
            MessageBox::information(nullptr, QStringLiteral("知道"));
        else
            got = kind == 1   ? MessageBox::question(nullptr, QStringLiteral("是否?"))
                  : kind == 2 ? MessageBox::questionDefaultNo(nullptr, QStringLiteral("清空?"))
                              : MessageBox::questionWithCancel(nullptr, QStringLiteral("退出?"));
        QCOMPARE(title, QStringLiteral("青檀坊系列软件"));
        QCOMPARE(shownButtons, buttons);
        QCOMPARE(int(got), answer);
    }

    // The version notice keeps its end ("确定后自动打开官方论坛!") however long the file is.
    void versionNoticeOfLinkAndHugeFile() {
        TestServer server;
        const QString huge(3 * 1000 * 1000, u'V');
        for (const QString& body : {markup, huge}) {
            server.setResponse("/tansoftjc/zjx/jc.txt", {200, body.toUtf8(), "text/plain; charset=utf-8"});
            WindowFixture fx(server.hostPort());
            auto w = fx.makeWindow(false);
            ProgramEnd::setHandler([] {});
            w->checkVersion();
            QCOMPARE(test::ScriptedBoxes::shownTexts().size(), qsizetype(1));
            const QString notice = test::ScriptedBoxes::shownTexts().first();
            QVERIFY(notice.endsWith(QStringLiteral("]\r\n \r\n确定后自动打开官方论坛!")));
            QVERIFY(notice.size() < readableChars + 100);
            QVERIFY(notice.contains(body.left(20)));
        }
    }

    void windowLabelsArePlain() {
        WindowFixture fx;
        auto w = fx.makeWindow();
        BranchWindow branch(QStringLiteral("127.0.0.1:9"));
        QList<QLabel*> labels = w->findChildren<QLabel*>() + branch.findChildren<QLabel*>();
        for (QLabel* label : labels)
            QVERIFY2(label->textFormat() == Qt::PlainText, qPrintable(label->objectName()));
        w->setHint(QString(1000 * 1000, u'x'));
        QVERIFY(isCutFrom(w->strips().text(StatusStrips::Hint), QString(1000 * 1000, u'x')));
    }

    // The branch page's delivery range of 1.5 MB: shown cut in its row and its box, kept whole.
    void hugeBranchValue() {
        TestServer server;
        const QString range = QString(1500 * 1000 / 3, u'区');
        server.setResponse("/query_list.asp", {200, branchPage(range), "text/html; charset=utf-8"});
        WindowFixture fx(server.hostPort());
        BranchWindow form(server.hostPort());
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QElapsedTimer clock;
        clock.start();
        test::named<QLineEdit>(&form, QStringLiteral("网点名称"))->setText(QStringLiteral("浦东"));
        form.lookUp();
        QTRY_VERIFY(form.shownValues().at(0) == QStringLiteral("上海浦东"));
        form.repaint();
        const qint64 fillMs = clock.restart();
        BoxCloser closer;
        clock.restart();
        QTest::mouseClick(test::named<QLabel>(&form, QStringLiteral("派送范围：")), Qt::LeftButton);
        const qint64 clickMs = clock.elapsed();
        qInfo("branch value of %lld characters: fill %lld ms, click %lld ms", qint64(range.size()), fillMs, clickMs);
        QVERIFY(isCutFrom(test::named<QLabel>(&form, QStringLiteral("派送范围："))->text(), range));
        QVERIFY(isCutFrom(closer.shown, range));
        QVERIFY(fillMs < bearableMs);
        QVERIFY(clickMs < bearableMs);
    }

    // A tracking answer with one event cell of 7 MB: the list fills and the row's balloon opens
    // without freezing the window; the row keeps the whole text for copying and export.
    void hugeTrackingCell() {
        TestServer server;
        const QString cell(7 * 1000 * 1000, u'x');
        const QString html = QStringLiteral("<table><tr><td>2014-05-01 10:00:00</td><td>已收件</td></tr>"
                                            "<tr><td>2014-05-02 10:00:00</td><td>") +
                             cell + QStringLiteral("</td></tr></table>");
        server.setResponse("/", {200, codec::toGbk(html), "text/html; charset=GBK"});
        WindowFixture fx(server.hostPort());
        auto w = fx.shownWindow();
        QVERIFY(w);
        w->addPanel().openEmpty();
        typeIntoAddPanel(*w, QStringLiteral("668031148649"), QStringLiteral("申通快递"), QStringLiteral("书"));
        QElapsedTimer clock;
        clock.start();
        w->startQuery();
        QTRY_COMPARE(progressRows(*w)->topLevelItemCount(), 2);
        w->repaint();
        const qint64 fillMs = clock.restart();
        QTreeWidgetItem* huge = progressRows(*w)->topLevelItem(0);
        QCOMPARE(huge->text(2), cell);
        const QRect rowRect = progressRows(*w)->visualItemRect(huge);
        QCursor::setPos(progressRows(*w)->viewport()->mapToGlobal(rowRect.center()));
        QTest::mouseClick(progressRows(*w)->viewport(), Qt::LeftButton, {}, rowRect.center());
        QTRY_VERIFY(w->progressList().balloon() && w->progressList().balloon()->isCreated());
        w->repaint();
        QApplication::processEvents();
        const qint64 clickMs = clock.elapsed();
        qInfo("tracking cell of %lld characters: fill %lld ms, click %lld ms", qint64(cell.size()), fillMs, clickMs);
        QVERIFY(w->progressList().balloon()->balloonText().size() < readableChars + 200);
        QVERIFY(fillMs < bearableMs);
        QVERIFY(clickMs < bearableMs);
    }

    // A desktop notice of that cell carries its readable start, not megabytes over the bus.
    void hugeNotice() {
        const QString cell(7 * 1000 * 1000, u'x');
        const NewsNotice notice = NewsNotice::make(QStringLiteral("1"), QStringLiteral("申通快递"), cell,
                                                   QStringLiteral("派件中"), QStringLiteral("2014-05-02"), cell);
        QVERIFY(notice.summary.size() < 300);
        QVERIFY(isCutFrom(notice.body, QStringLiteral("2014-05-02\n") + cell));
    }

    // Servers label GBK pages with every name of the GB family; all of them decode as GB18030.
    void gbFamilyLabels_data() {
        addColumns<QByteArray, QString>("contentType", "text");
        const QString outsideGb2312 = QStringLiteral("喆镕申");
        for (const char* label :
             {"gb2312", "GB2312", "gbk", "x-gbk", "gb_2312-80", "cp936", "csgb2312", "\"gb2312\"", "GB18030", "euc-cn"})
            QTest::newRow(label) << QByteArray("text/html; charset=") + label << outsideGb2312;
        QTest::newRow("no label: four-byte GB18030") << QByteArray("text/html") << QStringLiteral("单\U0001F600");
    }
    void gbFamilyLabels() {
        QFETCH(QByteArray, contentType);
        QFETCH(QString, text);
        QStringEncoder gb18030("GB18030");
        const QByteArray bytes = gb18030.encode(text);
        QCOMPARE(codec::decodeBody(bytes, contentType, "GBK"), text);
        if (contentType.contains('=')) // a branch page names its charset or is read as UTF-8
            QCOMPARE(codec::decodeBody(bytes, contentType, "UTF-8"), text);
    }

    // The window's title is its own: no application name appended by the window system, while the
    // desktop and assistive technology still know the program by its name and data stays where it was.
    void programIdentity() {
        applyProgramIdentity();
        QCOMPARE(QGuiApplication::applicationDisplayName(), QCoreApplication::applicationName());
        QCOMPARE(QAccessible::queryAccessibleInterface(qApp)->text(QAccessible::Name), QStringLiteral("踪迹匣"));
        QCOMPARE(QGuiApplication::desktopFileName(), QStringLiteral("cn.tansoft.zjx"));
        QVERIFY(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation).endsWith(QStringLiteral("/zjx/zjx")));
    }
};

QTEST_MAIN(TestOutsideText)
#include "tst_outsidetext.moc"
