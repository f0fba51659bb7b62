#include "intake/intakebatch.h"

#include "book/parcelrecord.h"
#include "core/catalogue.h"
#include "guess/numberguess.h"

namespace zjx {

void IntakeBatch::setBook(const QSet<QString>& numbers, const QHash<QString, int>& companyUses) {
    m_bookNumbers = numbers;
    m_companyUses = companyUses;
    for (Row& row : m_rows)
        row.inBook = m_bookNumbers.contains(row.parcel.number);
}

void IntakeBatch::place(Row& row) {
    if (row.parcel.company >= 0) {
        row.found = Found::Listed;
        return;
    }
    const NumberGuess guess = guessNumber(row.parcel.number);
    const QList<int> ranked = rankCandidates(guess.candidates, m_companyUses);
    // A foreign check digit that plain digits fit by chance names no company of its own.
    if (guess.verdict == NumberGuess::Verdict::Known && !guess.plainDigits && !ranked.isEmpty()) {
        row.parcel.company = ranked.first();
        row.found = Found::Guessed;
        return;
    }
    row.found = m_online && !row.skipped() ? Found::Waiting : Found::Unknown;
}

void IntakeBatch::add(const QList<IntakeRow>& rows) {
    QSet<QString> seen;
    for (const Row& row : m_rows)
        seen.insert(row.parcel.number);
    for (const IntakeRow& parcel : rows) {
        Row row;
        row.parcel = parcel;
        row.inBook = m_bookNumbers.contains(parcel.number);
        row.repeated = seen.contains(parcel.number);
        seen.insert(parcel.number);
        place(row);
        m_rows << row;
    }
}

QString IntakeBatch::takeNextAsk() {
    for (Row& row : m_rows)
        if (row.found == Found::Waiting) {
            row.found = Found::Asking;
            return row.parcel.number;
        }
    return {};
}

void IntakeBatch::recognised(const QString& number, const QStringList& codes) {
    QList<int> candidates;
    for (const QString& code : codes)
        candidates << CourierCatalogue::indexOfCode(code);
    const QList<int> ranked = rankCandidates(candidates, m_companyUses);
    for (Row& row : m_rows) {
        if (row.parcel.number != number || (row.found != Found::Asking && row.found != Found::Waiting))
            continue;
        if (ranked.isEmpty()) {
            row.found = Found::Unknown;
        } else {
            row.parcel.company = ranked.first();
            row.found = Found::Recognised;
        }
    }
}

void IntakeBatch::choose(int row, int company) {
    if (row < 0 || row >= m_rows.size() || company < 0 || company >= CourierCatalogue::count)
        return;
    m_rows[row].parcel.company = company;
    m_rows[row].found = Found::Chosen;
}

IntakeBatch::Taken IntakeBatch::take() {
    Taken taken;
    QList<Row> kept;
    for (const Row& row : std::as_const(m_rows)) {
        if (row.skipped()) {
            ++taken.skipped;
        } else if (row.parcel.company < 0) {
            ++taken.withoutCompany;
            kept << row;
        } else {
            taken.records << ParcelRecord::build(row.parcel.number, CourierCatalogue::displayName(row.parcel.company),
                                                 row.parcel.note);
            m_bookNumbers.insert(row.parcel.number);
        }
    }
    m_rows = kept;
    return taken;
}

QString IntakeBatch::foundText(Found found) {
    switch (found) {
    case Found::Listed:
        return QStringLiteral("列表所写");
    case Found::Guessed:
        return QStringLiteral("按单号推测");
    case Found::Recognised:
        return QStringLiteral("查询服务识别");
    case Found::Chosen:
        return QStringLiteral("已选择");
    case Found::Waiting:
        return QStringLiteral("待识别");
    case Found::Asking:
        return QStringLiteral("识别中...");
    case Found::Unknown:
        return QStringLiteral("未识别,请选择快递公司");
    }
    return {};
}

QString IntakeBatch::statusText(int row) const {
    const Row& r = m_rows.at(row);
    if (r.inBook)
        return QStringLiteral("已在快递列表中");
    if (r.repeated)
        return QStringLiteral("重复");
    return foundText(r.found);
}

} // namespace zjx
