#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <optional>

namespace zjx {

// The latest event of an answer, as the progress list shows it first.
struct LatestEvent {
    QString time;
    QString progress;

    bool isEmpty() const { return time.isEmpty() && progress.isEmpty(); }
    friend bool operator==(const LatestEvent&, const LatestEvent&) = default;
};

// What one answer said about a parcel: its state ("已签收", "派件中", "运送中", or a provider's own
// "待取件", "已退回", "异常") and latest event.
struct Sighting {
    QString state;
    LatestEvent latest;
    QByteArray estimate{}; // the service's X-Zjx-Estimated-Delivery ("" when it gave none)
};

inline const QString deliveredState = QStringLiteral("已签收");
inline const QString outForDeliveryState = QStringLiteral("派件中");
inline const QString inTransitState = QStringLiteral("运送中");
inline const QString pickupState = QStringLiteral("待取件");
inline const QString returnedState = QStringLiteral("已退回");
inline const QString exceptionState = QStringLiteral("异常");

// The tracking service's X-Zjx-State token in the program's words; empty for none or one unknown,
// and then the latest event's text decides as it always has.
QString stateOfToken(const QByteArray& token);
// The parcel state an answer shows: the provider's own when the service sent it, else the rule on
// the latest event's text.
QString answerState(const QByteArray& token, const QString& latestProgress);

// An event's time as the answers write it; invalid when it is not one.
QDateTime readEventTime(const QString& text);
// Whether event time `a` is earlier than `b`; false when either is not a time we can read.
bool eventBefore(const QString& a, const QString& b);

// What an answer that came without the user asking tells the user.
enum class News {
    None,     // the latest event is the one known
    NewEvent, // a latest event that differs in time or text from the one known, or a new provider state
    Delivered // the parcel has just become signed for
};

// The news rule of the re-query of the chosen parcel. `known` is what was last shown or told for
// this parcel; nothing known means the user has seen nothing of it yet, so whatever the answer holds
// is news to them.
News judgeNews(const std::optional<Sighting>& known, const Sighting& answer);

// The watch's rule for an answer about a parcel, against what is known of it.
struct Judgement {
    News news = News::None;
    bool stale = false; // the answer's latest event is older than the one known: it changes nothing
    QString state;      // the state to keep
};
// Nothing known: the answer is a baseline, recorded silently. An older history changes nothing. A
// signed-for parcel does not fall back to 运送中 or 派件中. A provider state the parcel did not have
// ("待取件", "已退回", "异常") is news even with the same event.
Judgement judgeAnswer(const std::optional<Sighting>& known, const Sighting& answer);

} // namespace zjx
