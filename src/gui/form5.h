#pragma once

#include "branch/branchpage.h"
#include "platform/httpclient.h"

#include <QDialog>
#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;
class QStatusBar;

namespace zjx {

// The branch lookup window "网店信息查询": looks one branch of 申通 up on the courier's web site by
// its name and shows the six values of the answer page.
class Form5 : public QDialog {
    Q_OBJECT
public:
    // `branchHost` is host[:port] of the courier's web site.
    explicit Form5(const QString& branchHost, QWidget* parent = nullptr);

    QLabel* Label13 = nullptr; // prompt
    QLineEdit* Text1 = nullptr;
    QPushButton* Command1 = nullptr; // 查询
    // Captions (odd) and values (even), rows top to bottom.
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* Label7 = nullptr;
    QLabel* Label8 = nullptr;
    QLabel* Label9 = nullptr;
    QLabel* Label10 = nullptr; // delivery range: hand pointer, a click shows it in full
    QLabel* Label11 = nullptr;
    QLabel* Label12 = nullptr;
    QStatusBar* S1 = nullptr;
    QLabel* S1Panel1 = nullptr;
    QLabel* S1Panel2 = nullptr; // the only panel the window writes to

    void Form_Load();
    void Form_QueryUnload(qint16& cancel);
    void Command1_Click();
    void Label10_Click();
    void csh();

    const QString& pageText() const { return m_pageText; }
    const BranchFields& fieldValues() const { return m_fields; }

    static QString notQueriedText() { return QStringLiteral("未查询"); }

public Q_SLOTS:
    void reject() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void showPage(const HttpResult& result);
    void resetRows(const QString& statusText);
    QList<QLabel*> valueLabels() const;

    QString m_branchHost;
    QString m_pageText;
    BranchFields m_fields;
    bool m_unloaded = false; // answers that arrive after the window was closed are dropped
};

} // namespace zjx
