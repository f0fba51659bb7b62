#include "gui/batchaddwindow.h"

#include "book/bookkeeper.h"
#include "core/catalogue.h"
#include "guess/numberguess.h"
#include "guess/onlineguess.h"
#include "gui/companychooser.h"
#include "gui/platform/filedialog.h"
#include "gui/platform/messagebox.h"
#include "intake/companysearch.h"
#include "intake/tablefile.h"
#include "platform/httpclient.h"
#include "serviceconfig/serviceconfig.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QVBoxLayout>

namespace zjx {
namespace {

enum Column { NumberColumn, CompanyColumn, NoteColumn, StatusColumn, ColumnCount };

// An order file larger than this is no shop's export.
constexpr qint64 largestFile = 32 * 1024 * 1024;

// The company cell is changed with a company chooser that finds by typing.
class CompanyDelegate : public QStyledItemDelegate {
public:
    CompanyDelegate(BatchAddWindow& window, std::function<QList<int>()> order)
        : QStyledItemDelegate(&window), m_window(window), m_order(std::move(order)) {}
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex&) const override {
        auto* chooser = new CompanyChooser(QStringLiteral("rowCompany"), QStringLiteral("快递公司"), parent);
        chooser->arrange(m_order());
        return chooser;
    }
    void setEditorData(QWidget* editor, const QModelIndex& index) const override {
        static_cast<CompanyChooser*>(editor)->setCompany(m_window.batch().rows().value(index.row()).parcel.company);
    }
    void setModelData(QWidget* editor, QAbstractItemModel*, const QModelIndex& index) const override {
        m_window.chooseCompany(index.row(), static_cast<CompanyChooser*>(editor)->company());
    }

private:
    BatchAddWindow& m_window;
    std::function<QList<int>()> m_order;
};

} // namespace

BatchAddWindow::BatchAddWindow(BookKeeper& keeper, std::function<QString()> host, QWidget* parent)
    : QDialog(parent), m_keeper(keeper), m_host(std::move(host)) {
    setObjectName(QStringLiteral("batchAddWindow"));
    setWindowTitle(QStringLiteral("批量添加"));
    resize(720, 560);
    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(QStringLiteral("每行一个快递:“单号”、“单号 备注”或“单号,快递公司,备注”。"
                                            "可直接粘贴表格中复制的单元格,或导入网店导出的订单文件(CSV)。"),
                             this);
    intro->setWordWrap(true);
    layout->addWidget(intro);
    m_listBox = new QPlainTextEdit(this);
    m_listBox->setAccessibleName(QStringLiteral("快递列表"));
    m_listBox->setPlaceholderText(QStringLiteral("773012345678901 妈妈的毛衣\nSF1234567890123,顺丰,耳机"));
    m_listBox->setMaximumHeight(140);
    layout->addWidget(m_listBox);
    auto* readRow = new QHBoxLayout;
    auto* readButton = new QPushButton(QStringLiteral("读取"), this);
    auto* importButton = new QPushButton(QStringLiteral("导入"), this);
    readRow->addWidget(readButton);
    readRow->addWidget(importButton);
    readRow->addStretch();
    layout->addLayout(readRow);

    m_table = new QTableWidget(0, ColumnCount, this);
    m_table->setAccessibleName(QStringLiteral("读取的快递"));
    m_table->setHorizontalHeaderLabels({QStringLiteral("单号"), QStringLiteral("快递公司"), QStringLiteral("备注"),
                                        QStringLiteral("状态")});
    m_table->horizontalHeader()->setSectionResizeMode(NoteColumn, QHeaderView::Stretch);
    m_table->setColumnWidth(NumberColumn, 170);
    m_table->setColumnWidth(CompanyColumn, 150);
    m_table->setColumnWidth(StatusColumn, 170);
    m_table->verticalHeader()->setDefaultSectionSize(24);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::SelectedClicked |
                             QAbstractItemView::EditKeyPressed);
    m_table->setTabKeyNavigation(false);
    m_table->setItemDelegateForColumn(
        CompanyColumn, new CompanyDelegate(*this, [this] { return companiesByUse(countBookCompanies(m_keeper.records())); }));
    layout->addWidget(m_table, 1);

    m_summary = new QLabel(this);
    m_summary->setTextFormat(Qt::PlainText);
    m_summary->setWordWrap(true);
    layout->addWidget(m_summary);
    auto* buttons = new QHBoxLayout;
    m_addButton = new QPushButton(QStringLiteral("添加"), this);
    auto* closeButton = new QPushButton(QStringLiteral("关闭"), this);
    buttons->addStretch();
    buttons->addWidget(m_addButton);
    buttons->addWidget(closeButton);
    layout->addLayout(buttons);

    connect(readButton, &QPushButton::clicked, this, &BatchAddWindow::readList);
    connect(importButton, &QPushButton::clicked, this, &BatchAddWindow::importFile);
    connect(m_addButton, &QPushButton::clicked, this, &BatchAddWindow::addRows);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::close);
    m_askTimer.setSingleShot(true);
    m_askTimer.setInterval(askIntervalMs);
    connect(&m_askTimer, &QTimer::timeout, this, &BatchAddWindow::askNext);
}

void BatchAddWindow::setListText(const QString& text) {
    m_listBox->setPlainText(text);
    readList();
}

void BatchAddWindow::readList() {
    // The list as it stands now replaces what was read from it before.
    ++m_generation;
    m_batch.clear();
    take(readPastedList(m_listBox->toPlainText()), QString());
}

void BatchAddWindow::importFile() {
    const QString path = FileDialog::getOpenFileName(this, QDir::homePath(),
                                                     QStringLiteral("表格文件 (*.csv *.tsv *.txt);;所有文件 (*)"));
    if (path.isEmpty())
        return;
    QFile file(path);
    if (QFileInfo(path).size() > largestFile || !file.open(QIODevice::ReadOnly)) {
        MessageBox::information(this, QStringLiteral("无法读取文件:") + QDir::toNativeSeparators(path));
        return;
    }
    const TableFile table = readTableFile(file.read(largestFile));
    if (!table.problem.isEmpty()) {
        MessageBox::information(this, table.problem);
        return;
    }
    take(table.parcels, QFileInfo(path).fileName() + QStringLiteral(":"));
}

void BatchAddWindow::take(const ReadParcels& read, const QString& source) {
    m_batch.setBook(m_keeper.numbers(), countBookCompanies(m_keeper.records()));
    m_batch.add(read.rows);
    showRows();
    QString text = source + QStringLiteral("读取%1个单号").arg(read.rows.size());
    if (read.withoutNumber > 0)
        text += QStringLiteral(",%1行没有单号").arg(read.withoutNumber);
    if (read.overLimit > 0)
        text += QStringLiteral(",超过%1行的%2行未读取").arg(intakeLimit).arg(read.overLimit);
    say(text);
    if (!m_asking)
        askNext();
}

void BatchAddWindow::showRows() {
    m_table->setRowCount(int(m_batch.rows().size()));
    for (int row = 0; row < m_table->rowCount(); ++row)
        showRow(row);
}

void BatchAddWindow::showRow(int row) {
    const IntakeBatch::Row& r = m_batch.rows().at(row);
    const QString company = r.parcel.company >= 0 ? CourierCatalogue::displayName(r.parcel.company) : r.parcel.companyText;
    QString status = m_batch.statusText(row);
    if (r.found == IntakeBatch::Found::Recognised && !r.skipped() && !m_recogniser.isEmpty())
        status = QStringLiteral("已按") + m_recogniser + QStringLiteral("识别");
    const QString texts[ColumnCount] = {r.parcel.number, company, r.parcel.note, status};
    for (int column = 0; column < ColumnCount; ++column) {
        QTableWidgetItem* item = m_table->item(row, column);
        if (!item) {
            item = new QTableWidgetItem;
            m_table->setItem(row, column, item);
        }
        item->setText(texts[column]);
        Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
        if (column == CompanyColumn && !r.skipped())
            flags |= Qt::ItemIsEditable;
        item->setFlags(flags);
        // The rows that wait for the user stand out; skipped ones step back.
        const bool open = r.found == IntakeBatch::Found::Unknown && !r.skipped();
        item->setForeground(open ? QColor(Qt::red) : r.skipped() ? QColor(Qt::gray) : QColor(Qt::black));
    }
}

void BatchAddWindow::chooseCompany(int row, int company) {
    if (row < 0 || row >= m_batch.rows().size() || company < 0)
        return;
    m_batch.choose(row, company);
    showRow(row);
}

void BatchAddWindow::askNext() {
    // A tracking query waits for its answer: nothing else may reach the service meanwhile.
    if (HttpClient::instance().isWaiting()) {
        m_askTimer.start();
        return;
    }
    const QString number = m_batch.takeNextAsk();
    m_asking = !number.isEmpty();
    if (!m_asking)
        return;
    for (int row = 0; row < m_batch.rows().size(); ++row)
        if (m_batch.rows().at(row).parcel.number == number)
            showRow(row);
    const quint64 generation = m_generation;
    HttpClient::instance().getResponsive(
        QUrl(OnlineGuess::url(m_host(), number)), this, [this, generation, number](const HttpResult& result) {
            if (generation != m_generation)
                return askNext();
            if (const QByteArray backend = result.header("X-Zjx-Backend"); !backend.isEmpty())
                m_recogniser = backendCaption(QString::fromLatin1(backend));
            // A failed request leaves the number to the user, like a number nobody knows.
            m_batch.recognised(number, result.ok() ? OnlineGuess::codesOf(result.status, result.bytes) : QStringList());
            for (int row = 0; row < m_batch.rows().size(); ++row)
                if (m_batch.rows().at(row).parcel.number == number)
                    showRow(row);
            m_askTimer.start();
        });
}

void BatchAddWindow::addRows() {
    const IntakeBatch::Taken taken = m_batch.take();
    if (!taken.records.isEmpty())
        m_keeper.recordMany(taken.records);
    showRows();
    QString text = QStringLiteral("已添加%1个快递,跳过%2个(已在列表中或重复)").arg(taken.records.size()).arg(taken.skipped);
    if (taken.withoutCompany > 0)
        text += QStringLiteral(",%1个未选择快递公司,仍在表中").arg(taken.withoutCompany);
    say(text);
    Q_EMIT hint(text);
}

QString BatchAddWindow::summary() const {
    return m_summary->text();
}

void BatchAddWindow::say(const QString& text) {
    m_summary->setText(text);
    m_summary->setAccessibleName(text);
}

} // namespace zjx
