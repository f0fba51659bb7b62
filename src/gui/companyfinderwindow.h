#pragma once

#include <QDialog>
#include <QHash>
#include <QString>
#include <QStringList>
#include <array>

class QLineEdit;

namespace zjx {

// The company finder "搜索物流公司" (the design's Form2): finds a company by keyword, by tracking
// number or by one of ten common-company buttons among `companies` (the company choosers' entries),
// says which one it chose and closes.
class CompanyFinderWindow : public QDialog {
    Q_OBJECT
public:
    explicit CompanyFinderWindow(const QStringList& companies, QWidget* parent = nullptr);

    static const std::array<QString, 10>& commonWords();

    // A keyword that names no company but is a tracking number finds the company the number's format
    // names; the book's counts of each company rank equal candidates.
    void setBookUses(const QHash<QString, int>& uses) { m_bookUses = uses; }

    QString keyword() const;
    void setKeyword(const QString& keyword);
    void search();               // as "搜索" and Enter in the keyword box
    void pickCommon(int button); // as the common-company button in this place (row by row)

Q_SIGNALS:
    void companyChosen(int index);
    // What the finder found, for the hint line, as it stands (no marks added).
    void found(const QString& hint);

private:
    int searchAndChoose(const QString& word); // chooses the last match; -1 if none
    int chooseByNumber(const QString& word);  // the number's most likely company; -1 if none

    QStringList m_companies;
    QLineEdit* m_keywordBox = nullptr;
    QHash<QString, int> m_bookUses;
};

} // namespace zjx
