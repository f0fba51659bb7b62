#include "gui/companychooser.h"

#include "core/catalogue.h"
#include "intake/companysearch.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QStandardItemModel>

namespace zjx {
namespace {

constexpr int companyRole = Qt::UserRole;

// Offers the companies found as they are (found and ordered by the search); the box then shows the
// company's name.
class CompanyCompleter : public QCompleter {
public:
    using QCompleter::QCompleter;
    QString pathFromIndex(const QModelIndex& index) const override { return index.data(Qt::DisplayRole).toString(); }
};

} // namespace

CompanyChooser::CompanyChooser(const QString& objectName, const QString& accessibleName, QWidget* parent)
    : QComboBox(parent) {
    setObjectName(objectName);
    setAccessibleName(accessibleName);
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    setMaxVisibleItems(20);
    m_found = new QStandardItemModel(this);
    auto* completer = new CompanyCompleter(m_found, this);
    completer->setCompletionMode(QCompleter::UnfilteredPopupCompletion);
    completer->setMaxVisibleItems(12);
    setCompleter(completer);
    connect(lineEdit(), &QLineEdit::textEdited, this, &CompanyChooser::search);
    connect(this, &QComboBox::currentIndexChanged, this, [this](int row) { Q_EMIT companyChanged(companyAt(row)); });
    connect(this, &QComboBox::activated, this, [this](int row) { Q_EMIT companyPicked(companyAt(row)); });
    connect(lineEdit(), &QLineEdit::returnPressed, this, &CompanyChooser::pickTyped);
    arrange({});
}

void CompanyChooser::arrange(const QList<int>& order) {
    const int chosen = company();
    const QSignalBlocker block(this);
    auto* items = new QStandardItemModel(this);
    m_order = order;
    for (int i = 0; i < CourierCatalogue::count; ++i)
        if (!m_order.contains(i))
            m_order << i;
    for (int company : std::as_const(m_order)) {
        auto* item = new QStandardItem(CourierCatalogue::displayName(company));
        item->setData(company, companyRole);
        items->appendRow(item);
    }
    setModel(items); // the chooser deletes the model it made before
    // Setting a model hands the combo's completer the new model: it keeps searching its own.
    completer()->setModel(m_found);
    setCurrentIndex(rowOf(chosen));
    showChosen();
}

int CompanyChooser::company() const {
    return companyAt(currentIndex());
}

QString CompanyChooser::companyName() const {
    return currentIndex() < 0 ? QString() : itemText(currentIndex());
}

void CompanyChooser::setCompany(int company) {
    setCurrentIndex(rowOf(company));
    showChosen();
}

int CompanyChooser::rowOf(int company) const {
    return company < 0 ? -1 : findData(company, companyRole);
}

int CompanyChooser::companyAt(int row) const {
    return row < 0 ? -1 : itemData(row, companyRole).toInt();
}

void CompanyChooser::showChosen() {
    if (lineEdit()->text() != companyName())
        lineEdit()->setText(companyName());
}

void CompanyChooser::focusOutEvent(QFocusEvent* event) {
    QComboBox::focusOutEvent(event);
    // A search that chose nothing leaves the chosen company as it was, and the box says so.
    if (!completer()->popup()->isVisible())
        showChosen();
}

void CompanyChooser::search(const QString& typed) {
    m_found->clear();
    for (int company : findCompanies(m_order, typed)) {
        auto* item = new QStandardItem(CourierCatalogue::displayName(company));
        item->setData(company, companyRole);
        m_found->appendRow(item);
    }
    if (m_found->rowCount() > 0)
        completer()->complete();
    else
        completer()->popup()->hide();
}

void CompanyChooser::pickTyped() {
    const QString typed = lineEdit()->text();
    if (typed == companyName())
        return;
    // Enter takes the first company the typed text finds.
    const QList<int> found = findCompanies(m_order, typed);
    const int row = found.isEmpty() ? -1 : rowOf(found.first());
    completer()->popup()->hide();
    if (row >= 0) {
        setCurrentIndex(row);
        Q_EMIT activated(row);
    }
    showChosen();
}

} // namespace zjx
