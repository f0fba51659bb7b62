#pragma once

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

// What one answer said about a parcel: its state ("已签收", "派件中", "运送中") and latest event.
struct Sighting {
    QString state;
    LatestEvent latest;
};

inline const QString deliveredState = QStringLiteral("已签收");

// What an answer that came without the user asking tells the user.
enum class News {
    None,     // the latest event is the one known
    NewEvent, // a latest event that differs in time or text from the one known
    Delivered // the parcel has just become signed for
};

// The news rule. `known` is what was last shown or told for this parcel; nothing known means the
// user has seen nothing of it yet, so whatever the answer holds is news to them.
News judgeNews(const std::optional<Sighting>& known, const Sighting& answer);

} // namespace zjx
