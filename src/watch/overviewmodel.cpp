#include "watch/overviewmodel.h"

#include "book/parcelrecord.h"

namespace zjx {

OverviewModel::OverviewModel(const ParcelStates& states, QObject* parent)
    : QAbstractTableModel(parent), m_states(states) {
    connect(&states, &ParcelStates::changed, this, &OverviewModel::stateChanged);
    connect(&states, &ParcelStates::reset, this, [this] {
        beginResetModel();
        endResetModel();
    });
}

void OverviewModel::setRecords(const QStringList& book, const QStringList& archive) {
    beginResetModel();
    m_rows.clear();
    m_rowsOf.clear();
    m_rows.reserve(book.size() + archive.size());
    auto add = [this](const QString& record, bool archived) {
        const ParcelFields f = ParcelRecord::split(record);
        const ParcelKey key{f.number, f.company};
        m_rowsOf[key].append(int(m_rows.size()));
        m_rows.append({key, f.note, record, archived});
    };
    for (const QString& record : book)
        add(record, false);
    for (const QString& record : archive)
        add(record, true);
    endResetModel();
}

int OverviewModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_rows.size());
}

int OverviewModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant OverviewModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    const Row& r = m_rows.at(index.row());
    const ParcelState* s = m_states.find(r.key);
    switch (role) {
    case UnseenRole:
        return s && s->unseen;
    case ArchivedRole:
        return r.archived;
    case StateRole:
        return s ? s->shownState() : notAskedState;
    case PickupCodeRole:
        return s && s->trouble.isEmpty() ? s->pickupCode() : QString();
    case Qt::DisplayRole:
    case SortRole:
        switch (index.column()) {
        case Note:
            return r.note;
        case Company:
            return r.key.company;
        case Number:
            return r.key.number;
        case State: {
            const QString state = s ? s->shownState() : notAskedState;
            const QString code = s && s->trouble.isEmpty() && role == Qt::DisplayRole ? s->pickupCode() : QString();
            return code.isEmpty() ? state : state + QStringLiteral(" · ") + code;
        }
        case Latest:
            if (!s || s->latest.isEmpty())
                return QString();
            return QString(s->latest.time + (role == SortRole ? QStringLiteral("\n") : QStringLiteral("  ")) +
                           s->latest.progress);
        case Asked:
            if (!s || !s->askedAt.isValid())
                return role == SortRole ? QVariant(QDateTime()) : QVariant(QString());
            return role == SortRole ? QVariant(s->askedAt)
                                    : QVariant(s->askedAt.toString(QStringLiteral("yyyy-MM-dd HH:mm")));
        case Estimate:
            if (!s) // what the last good answer expected, also while asks fail
                return QString();
            // Sorted by the dates themselves ("2026-12-09/2026-12-11" sorts as text).
            return role == SortRole ? QString::fromLatin1(s->estimate) : s->estimateText(m_today());
        }
        break;
    case Qt::AccessibleDescriptionRole:
        // What the bold of a row with unread news shows, said to a screen reader in every cell.
        return s && s->unseen ? QStringLiteral("有新进展") : QString();
    case Qt::ToolTipRole:
        // The whole progress of a cut cell; a tooltip would read tags in it, so it is escaped.
        if (index.column() == Latest && s && !s->latest.isEmpty())
            return QString(QStringLiteral("<p>") + s->latest.progress.toHtmlEscaped() + QStringLiteral("</p>"));
        break;
    default:
        break;
    }
    return {};
}

QVariant OverviewModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const char16_t* const titles[ColumnCount] = {u"备注",     u"快递公司", u"单号",    u"状态",
                                                        u"最新进展", u"查询于",   u"预计送达"};
    return section >= 0 && section < ColumnCount ? QString::fromUtf16(titles[section]) : QVariant();
}

void OverviewModel::stateChanged(const ParcelKey& key) {
    for (int r : m_rowsOf.value(key))
        Q_EMIT dataChanged(index(r, 0), index(r, ColumnCount - 1));
}

OverviewFilter::OverviewFilter(QObject* parent) : QSortFilterProxyModel(parent) {
    setSortRole(OverviewModel::SortRole);
    setDynamicSortFilter(true);
}

void OverviewFilter::setSearch(const QString& text) {
    const QString trimmed = text.trimmed();
    if (trimmed == m_search)
        return;
    m_search = trimmed;
    invalidateFilter();
}

void OverviewFilter::setArchived(bool archived) {
    if (archived == m_archived)
        return;
    m_archived = archived;
    invalidateFilter();
}

bool OverviewFilter::lessThan(const QModelIndex& left, const QModelIndex& right) const {
    if (left.column() == OverviewModel::Note || left.column() == OverviewModel::Company)
        return m_collator.compare(left.data(sortRole()).toString(), right.data(sortRole()).toString()) < 0;
    return QSortFilterProxyModel::lessThan(left, right);
}

void OverviewFilter::setState(const QString& state) {
    if (state == m_state)
        return;
    m_state = state;
    invalidateFilter();
}

void OverviewFilter::setOnly(const QList<ParcelKey>& keys) {
    m_only = keys;
    invalidateFilter();
}

bool OverviewFilter::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const {
    const auto* model = static_cast<const OverviewModel*>(sourceModel());
    const OverviewModel::Row& r = model->row(sourceRow);
    if (!m_only.isEmpty())
        return !r.archived && m_only.contains(r.key);
    if (r.archived != m_archived)
        return false;
    if (!m_state.isEmpty() &&
        model->index(sourceRow, OverviewModel::State, sourceParent).data(OverviewModel::StateRole) != m_state)
        return false;
    if (m_search.isEmpty())
        return true;
    return r.note.contains(m_search, Qt::CaseInsensitive) || r.key.number.contains(m_search, Qt::CaseInsensitive) ||
           r.key.company.contains(m_search, Qt::CaseInsensitive);
}

} // namespace zjx
