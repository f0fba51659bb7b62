#include "core/catalogue.h"
#include "finder/companyfinder.h"
#include "gui/companyfinderwindow.h"
#include "gui/platform/messagebox.h"
#include "gui/statusstrips.h"
#include "support/datatable.h"
#include "support/scriptedseams.h"
#include "support/windowcontrols.h"
#include "support/windowfixture.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace zjx;
using namespace zjx::test;

namespace {

constexpr int startIndex = 3; // the company selected before the finder opens
const QString startHint = QStringLiteral("程序已加载完毕...");

// The catalogue entries these cases reach, written out: index, display name, service code.
struct Company {
    const char16_t* name;
    const char* code;
};
const QHash<int, Company> companies{
    {3, {u"Aramex国际快递", "aramex"}},   {7, {u"程光快递", "chengguang"}},  {26, {u"EMS快递", "ems"}},
    {51, {u"汇通快递", "huitong"}},       {78, {u"全峰快递", "quanfeng"}},   {90, {u"申通快递", "shentong"}},
    {91, {u"顺丰快递", "shunfeng"}},      {114, {u"圆通快递", "yuantong"}},  {117, {u"韵达快递", "yunda"}},
    {120, {u"宅急送快递", "zhaijisong"}}, {124, {u"中通快递", "zhongtong"}}, {125, {u"忠信达快递", "zhongxinda"}},
    {126, {u"中邮物流", "zhongyou"}},     {17, {u"德邦物流", "debang"}},     {98, {u"UPS", "ups"}},
    {127, {u"极兔速递", "jtexpress"}},    {129, {u"京东物流", "jd"}}};

QString foundHint(int index) {
    return QStringLiteral("找到【") + QString::fromUtf16(companies.value(index).name) +
           QStringLiteral("】，是否为您要找的公司?");
}

} // namespace

class TestFinder : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() {
        m_fx = std::make_unique<test::WindowFixture>();
        m_window = m_fx->makeWindow();
        companyBox(*m_window)->setCurrentIndex(startIndex);
        editCompanyBox(*m_window)->setCurrentIndex(startIndex);
        m_window->setHint(startHint);
        m_finder.reset(m_window->makeFinder());
        m_finder->show();
    }

    void cleanup() {
        m_finder.reset();
        m_window.reset();
        m_fx.reset();
    }

    void keyword_data() {
        // expected -1: nothing matches, the main window stays as it was
        addColumns<QString, int>("keyword", "expected");
        QTest::newRow("申通") << QStringLiteral("申通") << 90;
        QTest::newRow("申通 with a space on each side") << QStringLiteral(" 申通 ") << 90;
        QTest::newRow("快递: the last match wins") << QStringLiteral("快递") << 125;
        QTest::newRow("ems: case counts") << QStringLiteral("ems") << -1;
        QTest::newRow("spaces only: every entry matches") << QStringLiteral("   ") << 126;
        QTest::newRow("tab is not trimmed") << QStringLiteral("\t申通") << -1;
        QTest::newRow("ideographic space is not trimmed") << QStringLiteral("申通\u3000") << -1;
        // The couriers added behind the original ones are found only when no original name matches.
        QTest::newRow("德邦: the original 德邦物流 first") << QStringLiteral("德邦") << 17;
        QTest::newRow("极兔: an added courier") << QStringLiteral("极兔") << 127;
        QTest::newRow("京东: the last added match") << QStringLiteral("京东") << 129;
        QTest::newRow("a tracking number finds its company") << QStringLiteral(" 1Z999AA10123456784 ") << 98;
    }
    void keyword() {
        QFETCH(QString, keyword);
        QFETCH(int, expected);
        m_finder->setKeyword(keyword);
        QTest::mouseClick(test::named<QPushButton>(m_finder.get(), QStringLiteral("搜索")), Qt::LeftButton);
        if (expected < 0)
            expectSelected(startIndex, startHint);
        else
            expectSelected(expected, foundHint(expected));
        QVERIFY(!m_finder->isVisible());
        QVERIFY(test::ScriptedBoxes::shown().isEmpty());
        if (!keyword.contains(u'Z'))
            QCOMPARE(lastMatchingCompany(CourierCatalogue::displayNames(), finderSearchWord(keyword), 127), expected);
    }

    void emptyKeywordKeepsFinderOpen() {
        QTest::mouseClick(test::named<QPushButton>(m_finder.get(), QStringLiteral("搜索")), Qt::LeftButton);
        QCOMPARE(test::ScriptedBoxes::shownTexts(), QStringList{QStringLiteral("请输入物流公司关键字")});
        QCOMPARE(test::ScriptedBoxes::shown().first().icon, MessageBox::Icon::Information);
        QVERIFY(m_finder->isVisible());
        expectSelected(startIndex, startHint);
    }

    void enterInKeywordBoxSearches() {
        m_finder->setKeyword(QStringLiteral("申通"));
        m_finder->activateWindow();
        QLineEdit* keywordBox = test::named<QLineEdit>(m_finder.get(), QStringLiteral("公司名称关键字"));
        keywordBox->setFocus();
        QTest::keyClick(keywordBox, Qt::Key_Return);
        QVERIFY(!m_finder->isVisible());
        expectSelected(90, QStringLiteral("找到【申通快递】，是否为您要找的公司?"));
    }

    void commonButton_data() {
        addColumns<int, QString, int>("button", "caption", "expected");
        const std::array<std::pair<const char*, int>, 10> table{{{"申通", 90},
                                                                 {"EMS", 26},
                                                                 {"顺丰", 91},
                                                                 {"圆通", 114},
                                                                 {"中通", 124},
                                                                 {"汇通", 51},
                                                                 {"韵达", 117},
                                                                 {"程光", 7},
                                                                 {"全峰", 78},
                                                                 {"宅急送", 120}}};
        for (int i = 0; i < int(table.size()); ++i)
            QTest::addRow("common button %d %s", i, table[i].first)
                << i << QString::fromUtf8(table[i].first) << table[i].second;
    }
    void commonButton() {
        QFETCH(int, button);
        QFETCH(QString, caption);
        QFETCH(int, expected);
        QPushButton* b = test::named<QPushButton>(m_finder.get(), caption);
        QCOMPARE(b->objectName(), QStringLiteral("commonButton%1").arg(button));
        QCOMPARE(b->text(), caption);
        QTest::mouseClick(b, Qt::LeftButton);
        expectSelected(expected, startHint); // a button leaves the hint line alone
        QVERIFY(!m_finder->isVisible());
    }

    void bothOpenersShowFreshFinder_data() { addBoolRows("editPanel", "add panel", "parcel panel"); }
    void bothOpenersShowFreshFinder() {
        QFETCH(bool, editPanel);
        m_finder.reset();
        QStringList seenKeywords;
        QStringList seenTitles;
        const auto searchInModal = [&](const QString& keyword) {
            test::whenModalOpens<CompanyFinderWindow>([&, keyword](CompanyFinderWindow* finder) {
                seenTitles << finder->windowTitle();
                seenKeywords << finder->keyword();
                finder->setKeyword(keyword);
                finder->search();
            });
            QWidget* panel = editPanel ? static_cast<QWidget*>(&m_window->parcelPanel()) : &m_window->addPanel();
            test::named<QPushButton>(panel, QStringLiteral("快捷搜索"))->click();
        };
        searchInModal(QStringLiteral("EMS"));
        expectSelected(26, foundHint(26));
        searchInModal(QStringLiteral("韵达"));
        expectSelected(117, foundHint(117));
        QCOMPARE(seenKeywords, (QStringList{QString(), QString()}));
        QCOMPARE(seenTitles, (QStringList(2, QStringLiteral("搜索物流公司"))));
        QVERIFY(!QApplication::activeModalWidget());
    }

private:
    std::unique_ptr<test::WindowFixture> m_fx;
    std::unique_ptr<MainWindow> m_window;
    std::unique_ptr<CompanyFinderWindow> m_finder;

    void expectSelected(int index, const QString& hint) {
        QCOMPARE(companyBox(*m_window)->currentIndex(), index);
        QCOMPARE(editCompanyBox(*m_window)->currentIndex(), index);
        QVERIFY(companies.contains(index));
        QCOMPARE(m_window->parcelQuery().companyCode(), QString::fromLatin1(companies.value(index).code));
        QCOMPARE(m_window->strips().text(StatusStrips::Hint), hint);
    }
};

QTEST_MAIN(TestFinder)
#include "tst_finder.moc"
