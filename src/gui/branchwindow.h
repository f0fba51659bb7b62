#pragma once

#include "branch/branchpage.h"
#include "platform/httpclient.h"

#include <QDialog>
#include <QString>
#include <array>

class QLabel;
class QLineEdit;
class QStatusBar;

namespace zjx {

// The branch lookup window "网店信息查询" (the design's Form5): looks one branch of 申通 up on the
// courier's web site by its name and shows the six values of the answer page.
class BranchWindow : public QDialog {
    Q_OBJECT
public:
    // `branchHost` is host[:port] of the courier's web site.
    explicit BranchWindow(const QString& branchHost, QWidget* parent = nullptr);

    // Looks the name in the name box up, as "查询" and Enter in the box do.
    void lookUp();
    // The whole delivery range in a box, as a click on its row does.
    void showWholeRange();

    QStringList shownValues() const; // the six value rows, top to bottom
    QString statusText() const;      // the status bar's panel the window writes to
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
    void forgetFields();

    QString m_branchHost;
    QLineEdit* m_nameBox = nullptr;
    std::array<QLabel*, 6> m_values{}; // branch name, manager, full name, phone, delivery range, excluded range
    QLabel* m_statusPanel = nullptr;
    QString m_pageText;
    BranchFields m_fields;
    bool m_unloaded = false; // answers that arrive after the window was closed are dropped
};

} // namespace zjx
