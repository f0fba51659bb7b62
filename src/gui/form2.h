#pragma once

#include <QDialog>
#include <QHash>
#include <QString>
#include <array>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace zjx {

// The company finder "搜索物流公司": selects a company in both company selectors of the main window,
// by keyword or by one of ten common-company buttons, and closes. It works on the controls it is
// given: `companySelector` (Combo1, whose entries it searches), `secondSelector` (Text5, same
// entries) and `hintLine` (Label11 index 2).
class Form2 : public QDialog {
    Q_OBJECT
public:
    Form2(QComboBox* companySelector, QComboBox* secondSelector, QLabel* hintLine, QWidget* parent = nullptr);

    QLineEdit* Text1 = nullptr;      // keyword
    QPushButton* Command1 = nullptr; // 搜索
    // The common-company buttons Command2..Command11, row by row; each button's word is its caption.
    std::array<QPushButton*, 10> commonButtons{};

    static const std::array<QString, 10>& commonWords();

    // A keyword that names no company but is a tracking number finds the company the number's format
    // names; the book's counts of each company rank equal candidates.
    void setBookUses(const QHash<QString, int>& uses) { m_bookUses = uses; }

    void Form_Load();
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    void Command5_Click();
    void Command6_Click();
    void Command7_Click();
    void Command8_Click();
    void Command9_Click();
    void Command10_Click();
    void Command11_Click();

private:
    int searchAndSelect(const QString& word); // selects the last match in both selectors; -1 if none
    int selectByNumber(const QString& word);  // the number's most likely company; -1 if none
    void pickCommon(int button);

    QComboBox* m_companySelector;
    QComboBox* m_secondSelector;
    QLabel* m_hintLine;
    QHash<QString, int> m_bookUses;
};

} // namespace zjx
