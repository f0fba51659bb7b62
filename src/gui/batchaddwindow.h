#pragma once

#include "intake/intakebatch.h"
#include "intake/parcellist.h"

#include <QDialog>
#include <QTimer>

#include <functional>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;

namespace zjx {

class BookKeeper;

// "批量添加": a pasted list or a shop's order file read into a table (number, company, note, status),
// each open number's company asked of the tracking service one at a time, a company changeable per
// row, and "添加" putting the new parcels into the book as one change.
class BatchAddWindow : public QDialog {
    Q_OBJECT
public:
    // `host` gives the tracking service's host[:port] when a number is asked about.
    BatchAddWindow(BookKeeper& keeper, std::function<QString()> host, QWidget* parent);

    // Time between two recognition requests, so the provider's pace is kept.
    static constexpr int askIntervalMs = 300;

    void setListText(const QString& text); // and reads it
    void readList();                       // "读取"
    void importFile();                     // "导入"
    void addRows();                        // "添加"
    void chooseCompany(int row, int company);

    const IntakeBatch& batch() const { return m_batch; }
    QTableWidget* table() const { return m_table; }
    QString summary() const;

Q_SIGNALS:
    void hint(const QString& text); // for the main window's hint line

private:
    void take(const ReadParcels& read, const QString& source);
    void showRows();
    void showRow(int row);
    void askNext();
    void say(const QString& text);

    BookKeeper& m_keeper;
    std::function<QString()> m_host;
    IntakeBatch m_batch;
    QPlainTextEdit* m_listBox = nullptr;
    QTableWidget* m_table = nullptr;
    QLabel* m_summary = nullptr;
    QPushButton* m_addButton = nullptr;
    QTimer m_askTimer;
    quint64 m_generation = 0; // answers for rows read before the last reading are dropped
    bool m_asking = false;
    QString m_recogniser; // who recognised numbers ("快递100"), from the service's answer
};

} // namespace zjx
