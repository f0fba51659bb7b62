#pragma once

#include "watch/parcelstates.h"

#include <QAbstractTableModel>
#include <QCollator>
#include <QDate>
#include <QHash>
#include <QList>
#include <QSortFilterProxyModel>

#include <functional>

namespace zjx {

// Every parcel of the book and of the archive with what is known of it, one row each.
class OverviewModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Note, Company, Number, State, Latest, Asked, Estimate, ColumnCount };
    enum Role { UnseenRole = Qt::UserRole + 1, ArchivedRole, SortRole, StateRole, PickupCodeRole };

    struct Row {
        ParcelKey key;
        QString note;
        QString record; // the line as the book or the archive holds it
        bool archived = false;
    };

    explicit OverviewModel(const ParcelStates& states, QObject* parent = nullptr);

    // The book's and the archive's record lines.
    void setRecords(const QStringList& book, const QStringList& archive);
    const Row& row(int index) const { return m_rows.at(index); }
    // The day the estimate column is read against (for tests; today by default).
    void setToday(std::function<QDate()> today) { m_today = std::move(today); }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    void stateChanged(const ParcelKey& key);

    const ParcelStates& m_states;
    std::function<QDate()> m_today = [] { return QDate::currentDate(); };
    QList<Row> m_rows;
    QHash<ParcelKey, QList<int>> m_rowsOf;
};

// The rows the overview shows: the book's parcels, or the archive's under the archive filter,
// whose note, number or company holds the search text, in the chosen state; or only the parcels a
// grouped notice named. Texts sort as Chinese users sort them: by pinyin.
class OverviewFilter : public QSortFilterProxyModel {
    Q_OBJECT
public:
    explicit OverviewFilter(QObject* parent = nullptr);
    void setSearch(const QString& text);
    void setArchived(bool archived);
    bool archived() const { return m_archived; }
    // A state as the state column shows it ("待取件", "未查询" ...); empty for every state.
    void setState(const QString& state);
    // Only these parcels; empty for all.
    void setOnly(const QList<ParcelKey>& keys);
    const QList<ParcelKey>& only() const { return m_only; }

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

private:
    QCollator m_collator{QLocale(QLocale::Chinese, QLocale::China)};
    QString m_search;
    QString m_state;
    QList<ParcelKey> m_only;
    bool m_archived = false;
};

} // namespace zjx
