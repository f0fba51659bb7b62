#pragma once

#include "core/trackingrequest.h"
#include "watch/news.h"
#include "watch/parcelkey.h"

#include <QDate>
#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QString>
#include <optional>

namespace zjx {

// What is known of one parcel, whichever window asked about it.
struct ParcelState {
    QString state;       // the parcel state of the last good answer; empty before the first one
    LatestEvent latest;  // the latest event last shown or told; empty before the first good answer
    QDateTime askedAt;   // when it was last asked, answered or not
    QString trouble;     // "查询失败", "无记录" or "已失效" when the last ask got no good answer; else empty
    bool unseen = false; // news that the user has not opened yet
    int failures = 0;    // asks in a row that got no good answer
    int deliveredAnswers = 0; // good answers in a row that found it signed for
    QString source;           // the tracking back-end ("demo", "kuaidi100" ...) that told what is known
    QByteArray estimate;      // the estimated delivery of the last good answer, as the service sent it

    std::optional<Sighting> sighting() const {
        return latest.isEmpty() ? std::nullopt : std::optional<Sighting>(Sighting{state, latest});
    }
    // The state as a list shows it: "未查询" before any ask, the trouble of a failed one.
    QString shownState() const;
    // The pickup code of the latest event while the parcel is not yet signed for; else empty.
    QString pickupCode() const;
    // "预计送达 12月9日" (or a range), "已超过预计送达" past it, on `today`; empty when signed for or
    // without an estimate.
    QString estimateText(const QDate& today) const;
};

// What the watch has spent: the back-end last heard from and the charged asks of one day.
struct WatchLedger {
    QString backend;
    QDate day;
    int spent = 0;
    friend bool operator==(const WatchLedger&, const WatchLedger&) = default;
};

// The per-parcel knowledge shared by every window: what was last shown or told for each parcel,
// so a parcel's news is told once, however many windows ask about it.
class ParcelStates : public QObject {
    Q_OBJECT
public:
    explicit ParcelStates(QObject* parent = nullptr) : QObject(parent) {}

    enum class Asker { User, Automatic };

    const ParcelState* find(const ParcelKey& key) const;
    ParcelState value(const ParcelKey& key) const { return m_states.value(key); }
    const QHash<ParcelKey, ParcelState>& all() const { return m_states; }

    // A good answer from the back-end `source` (empty when the service did not say). The user's own
    // query shows it to the user: it is never news, and it is seen. An automatic one is judged
    // against what was known, and news stays unseen until opened. What another back-end told is set
    // aside: the answer is a new start, as a parcel's first answer is, and neither is news.
    News observe(const ParcelKey& key, const Sighting& answer, const QDateTime& at, Asker asker,
                 const QString& source = {});
    // Whether an answer from `source` sets aside what is known of the parcel.
    bool fromAnotherSource(const ParcelKey& key, const QString& source) const;
    // An ask without a good answer: what was known stays, only the trouble is noted.
    void fail(const ParcelKey& key, const QString& trouble, const QDateTime& at);
    void markSeen(const ParcelKey& key);
    void forget(const ParcelKey& key);
    void replaceAll(QHash<ParcelKey, ParcelState> states);

    const WatchLedger& ledger() const { return m_ledger; }
    void setLedger(const WatchLedger& ledger);
    // An ask of `key` goes out now: billed on `today` when the back-end last heard from bills it.
    // True when it was counted. An ask that never gets an answer stays counted: the provider may
    // have billed it.
    bool chargeAsk(const ParcelKey& key, const QDate& today);
    // Its answer came from `backend` (empty: no answer, or the service did not say), for a parcel
    // known as `before` when it was asked: the count is put right when another back-end answered.
    void settleAsk(bool counted, const QString& backend, const ParcelState* before, const QDate& today);

Q_SIGNALS:
    void changed(const zjx::ParcelKey& key);
    void reset();
    void ledgerChanged();

private:
    QHash<ParcelKey, ParcelState> m_states;
    WatchLedger m_ledger;
};

inline const QString troubleFailed = QStringLiteral("查询失败");
inline const QString troubleNoRecord = QStringLiteral("无记录");
inline const QString troubleExpired = QStringLiteral("已失效");
inline const QString notAskedState = QStringLiteral("未查询");

// The trouble an answer that is no good answer leaves: a number the provider has no record of, an
// expired number, or a failed query.
QString troubleOf(Screening verdict);

} // namespace zjx
