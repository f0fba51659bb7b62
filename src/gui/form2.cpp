#include "gui/form2.h"

#include "core/catalogue.h"
#include "finder/companyfinder.h"
#include "guess/numberguess.h"
#include "gui/platform/messagebox.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
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

const std::array<QString, 10>& Form2::commonWords() {
    static const std::array<QString, 10> words{QStringLiteral("申通"),  QStringLiteral("EMS"),  QStringLiteral("顺丰"),
                                               QStringLiteral("圆通"),  QStringLiteral("中通"), QStringLiteral("汇通"),
                                               QStringLiteral("韵达"),  QStringLiteral("程光"), QStringLiteral("全峰"),
                                               QStringLiteral("宅急送")};
    return words;
}

Form2::Form2(QComboBox* companySelector, QComboBox* secondSelector, QLabel* hintLine, QWidget* parent)
    : QDialog(parent), m_companySelector(companySelector), m_secondSelector(secondSelector), m_hintLine(hintLine) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("搜索物流公司"));

    auto* keywordGroup = new QGroupBox(QStringLiteral("请输入公司名称关键字"), this);
    keywordGroup->setObjectName(QStringLiteral("Frame1"));
    Text1 = new QLineEdit(keywordGroup);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setAccessibleName(QStringLiteral("公司名称关键字"));
    Text1->setMinimumHeight(26);
    Command1 = plainButton(keywordGroup, QStringLiteral("Command1"), QStringLiteral("搜索"));
    auto* keywordRow = new QHBoxLayout(keywordGroup);
    keywordRow->addWidget(Text1, 1);
    keywordRow->addWidget(Command1);

    auto* commonGroup = new QGroupBox(QStringLiteral("常用物流公司"), this);
    commonGroup->setObjectName(QStringLiteral("Frame2"));
    auto* grid = new QGridLayout(commonGroup);
    grid->setSpacing(8);
    for (int i = 0; i < int(commonButtons.size()); ++i) {
        commonButtons[i] = plainButton(commonGroup, QStringLiteral("Command%1").arg(i + 2), commonWords()[i]);
        grid->addWidget(commonButtons[i], i / 5, i % 5);
    }

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(keywordGroup);
    layout->addWidget(commonGroup);
    setFixedSize(420, sizeHint().height());

    connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
    // Enter in the name box searches as the button does (the window has no default button).
    connect(Text1, &QLineEdit::returnPressed, this, [this] { Command1_Click(); });
    const std::array<void (Form2::*)(), 10> handlers{
        &Form2::Command2_Click,  &Form2::Command3_Click, &Form2::Command4_Click, &Form2::Command5_Click,
        &Form2::Command6_Click,  &Form2::Command7_Click, &Form2::Command8_Click, &Form2::Command9_Click,
        &Form2::Command10_Click, &Form2::Command11_Click};
    for (int i = 0; i < int(handlers.size()); ++i)
        connect(commonButtons[i], &QPushButton::clicked, this, [this, handler = handlers[i]] { (this->*handler)(); });
    Form_Load();
}

void Form2::Form_Load() {
    // An empty icon would fall back to the program's own; a blank one leaves the title bar bare.
    QPixmap blank(16, 16);
    blank.fill(Qt::transparent);
    setWindowIcon(QIcon(blank));
}

int Form2::searchAndSelect(const QString& word) {
    QStringList names;
    names.reserve(m_companySelector->count());
    for (int i = 0; i < m_companySelector->count(); ++i)
        names << m_companySelector->itemText(i);
    // Selecting each match in turn would end on the last one; selecting only that one is the same.
    const int found = lastMatchingCompany(names, word, CourierCatalogue::firstAddedIndex);
    if (found >= 0) {
        m_companySelector->setCurrentIndex(found); // the main window's Combo1_Click follows
        m_secondSelector->setCurrentIndex(found);
    }
    return found;
}

int Form2::selectByNumber(const QString& word) {
    const NumberGuess guess = guessNumber(word);
    const QList<int> ranked = rankCandidates(guess.candidates, m_bookUses);
    if (ranked.isEmpty() || ranked.first() >= m_companySelector->count())
        return -1;
    m_companySelector->setCurrentIndex(ranked.first());
    m_secondSelector->setCurrentIndex(ranked.first());
    return ranked.first();
}

void Form2::Command1_Click() {
    if (Text1->text().isEmpty()) {
        MessageBox::information(this, QStringLiteral("请输入物流公司关键字"));
        return;
    }
    const QString word = finderSearchWord(Text1->text());
    if (searchAndSelect(word) >= 0 || selectByNumber(word) >= 0)
        m_hintLine->setText(QStringLiteral("找到【") + m_companySelector->currentText() +
                            QStringLiteral("】，是否为您要找的公司?"));
    accept();
}

void Form2::pickCommon(int button) {
    searchAndSelect(commonWords()[button]);
    accept();
}

void Form2::Command2_Click() {
    pickCommon(0);
}
void Form2::Command3_Click() {
    pickCommon(1);
}
void Form2::Command4_Click() {
    pickCommon(2);
}
void Form2::Command5_Click() {
    pickCommon(3);
}
void Form2::Command6_Click() {
    pickCommon(4);
}
void Form2::Command7_Click() {
    pickCommon(5);
}
void Form2::Command8_Click() {
    pickCommon(6);
}
void Form2::Command9_Click() {
    pickCommon(7);
}
void Form2::Command10_Click() {
    pickCommon(8);
}
void Form2::Command11_Click() {
    pickCommon(9);
}

} // namespace zjx
