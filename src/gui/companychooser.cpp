#include "gui/companychooser.h"

#include "core/catalogue.h"
#include "intake/companysearch.h"

#include <QAbstractItemView>
#include <QAbstractProxyModel>
#include <QCompleter>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QStandardItemModel>

namespace zjx {
namespace {

constexpr int companyRole = Qt::UserRole;
constexpr int searchRole = Qt::UserRole + 1;

// Matches on name, code and initials; the box then shows the company's name, not what matched.
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
    auto* completer = new CompanyCompleter(model(), this);
    completer->setCompletionRole(searchRole);
    completer->setFilterMode(Qt::MatchContains);
    completer->setCaseSensitivity(Qt::CaseInsensitive);
    completer->setCompletionMode(QCompleter::PopupCompletion);
    completer->setMaxVisibleItems(12);
    setCompleter(completer);
    connect(this, &QComboBox::currentIndexChanged, this, [this](int row) { Q_EMIT companyChanged(companyAt(row)); });
    connect(this, &QComboBox::activated, this, [this](int row) { Q_EMIT companyPicked(companyAt(row)); });
    connect(lineEdit(), &QLineEdit::returnPressed, this, &CompanyChooser::pickTyped);
    arrange({});
}

void CompanyChooser::arrange(const QList<int>& order) {
    const int chosen = company();
    const QSignalBlocker block(this);
    auto* items = new QStandardItemModel(this);
    QList<int> companies = order;
    for (int i = 0; i < CourierCatalogue::count; ++i)
        if (!companies.contains(i))
            companies << i;
    for (int company : std::as_const(companies)) {
        auto* item = new QStandardItem(CourierCatalogue::displayName(company));
        item->setData(company, companyRole);
        item->setData(companySearchText(company), searchRole);
        items->appendRow(item);
    }
    QAbstractItemModel* old = model();
    setModel(items);
    completer()->setModel(items);
    if (old && old->parent() == this)
        old->deleteLater();
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

void CompanyChooser::pickTyped() {
    const QString typed = lineEdit()->text();
    if (typed == companyName())
        return;
    // Enter takes the first company the typed text finds.
    completer()->setCompletionPrefix(typed);
    const QModelIndex first = completer()->completionModel()->index(0, 0);
    const auto* proxy = qobject_cast<const QAbstractProxyModel*>(completer()->completionModel());
    const int row = first.isValid() && proxy ? proxy->mapToSource(first).row() : -1;
    if (row >= 0) {
        setCurrentIndex(row);
        Q_EMIT activated(row);
    }
    showChosen();
}

} // namespace zjx
