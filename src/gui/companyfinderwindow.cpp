#include "gui/companyfinderwindow.h"

#include "core/catalogue.h"
#include "finder/companyfinder.h"
#include "guess/numberguess.h"
#include "gui/lookupwindow.h"
#include "gui/platform/messagebox.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace zjx {
namespace {

QPushButton* plainButton(QWidget* parent, const QString& name, const QString& text) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    // No button answers Enter: a dialog would otherwise make the focused button the default.
    button->setAutoDefault(false);
    button->setDefault(false);
    button->setMinimumHeight(28);
    return button;
}

} // namespace

const std::array<QString, 10>& CompanyFinderWindow::commonWords() {
    static const std::array<QString, 10> words{QStringLiteral("申通"),  QStringLiteral("EMS"),  QStringLiteral("顺丰"),
                                               QStringLiteral("圆通"),  QStringLiteral("中通"), QStringLiteral("汇通"),
                                               QStringLiteral("韵达"),  QStringLiteral("程光"), QStringLiteral("全峰"),
                                               QStringLiteral("宅急送")};
    return words;
}

CompanyFinderWindow::CompanyFinderWindow(const QStringList& companies, QWidget* parent)
    : QDialog(parent), m_companies(companies) {
    setObjectName(QStringLiteral("CompanyFinderWindow"));
    setWindowTitle(QStringLiteral("搜索物流公司"));

    auto* keywordGroup = new QGroupBox(QStringLiteral("请输入公司名称关键字"), this);
    keywordGroup->setObjectName(QStringLiteral("keywordGroup"));
    m_keywordBox = new QLineEdit(keywordGroup);
    m_keywordBox->setObjectName(QStringLiteral("keywordBox"));
    m_keywordBox->setAccessibleName(QStringLiteral("公司名称关键字"));
    m_keywordBox->setMinimumHeight(26);
    QPushButton* searchButton = plainButton(keywordGroup, QStringLiteral("searchButton"), QStringLiteral("搜索"));
    auto* keywordRow = new QHBoxLayout(keywordGroup);
    keywordRow->addWidget(m_keywordBox, 1);
    keywordRow->addWidget(searchButton);

    auto* commonGroup = new QGroupBox(QStringLiteral("常用物流公司"), this);
    commonGroup->setObjectName(QStringLiteral("commonGroup"));
    auto* grid = new QGridLayout(commonGroup);
    grid->setSpacing(8);
    for (int i = 0; i < int(commonWords().size()); ++i) {
        QPushButton* common = plainButton(commonGroup, QStringLiteral("commonButton%1").arg(i), commonWords()[i]);
        grid->addWidget(common, i / 5, i % 5);
        connect(common, &QPushButton::clicked, this, [this, i] { pickCommon(i); });
    }

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(keywordGroup);
    layout->addWidget(commonGroup);
    setFixedSize(420, sizeHint().height());

    lookupwindow::searchFrom(this, m_keywordBox, searchButton, &CompanyFinderWindow::search);
    lookupwindow::bareTitleBar(this);
}

QString CompanyFinderWindow::keyword() const {
    return m_keywordBox->text();
}

void CompanyFinderWindow::setKeyword(const QString& keyword) {
    m_keywordBox->setText(keyword);
}

int CompanyFinderWindow::searchAndChoose(const QString& word) {
    // Selecting each match in turn would end on the last one; selecting only that one is the same.
    const int found = lastMatchingCompany(m_companies, word, CourierCatalogue::firstAddedIndex);
    if (found >= 0)
        Q_EMIT companyChosen(found);
    return found;
}

int CompanyFinderWindow::chooseByNumber(const QString& word) {
    const NumberGuess guess = guessNumber(word);
    const QList<int> ranked = rankCandidates(guess.candidates, m_bookUses);
    if (ranked.isEmpty() || ranked.first() >= m_companies.size())
        return -1;
    Q_EMIT companyChosen(ranked.first());
    return ranked.first();
}

void CompanyFinderWindow::search() {
    if (m_keywordBox->text().isEmpty()) {
        MessageBox::information(this, QStringLiteral("请输入物流公司关键字"));
        return;
    }
    const QString word = finderSearchWord(m_keywordBox->text());
    int found = searchAndChoose(word);
    if (found < 0)
        found = chooseByNumber(word);
    if (found >= 0)
        Q_EMIT this->found(QStringLiteral("找到【") + m_companies.at(found) + QStringLiteral("】，是否为您要找的公司?"));
    accept();
}

void CompanyFinderWindow::pickCommon(int button) {
    searchAndChoose(commonWords()[button]);
    accept();
}

} // namespace zjx
