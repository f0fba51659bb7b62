#pragma once

#include "reply.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <string>

namespace zjx::service {

inline constexpr char kAccessKey[] = "4F1C0D7A2B9E83C5A6D0E1F27B3C9D48";
inline constexpr char kGbkHtml[] = "text/html; charset=GBK";

struct TrackingEvent {
    QDateTime time;
    QString text;
};

// Numbers with a fixed outcome, so every path of the program can be tried by hand.
struct SampleNumber {
    const char* number;
    const char* outcome; // UTF-8
};
const QList<SampleNumber>& sampleNumbers();

// FNV-1a: unlike std::hash it gives the same histories on every build and run.
quint64 stableHash(const QByteArray& bytes);
bool isPlausibleNumber(const QString& number);

// The events of a parcel that have happened by `now`, oldest first. The story and its spacing
// depend only on code and number; the journey starts at `start` (2 or 3 events already known),
// and one more event appears every `intervalMinutes` until the parcel is signed for.
QList<TrackingEvent> parcelHistory(const QString& code, const QString& number, const QDateTime& start,
                                   const QDateTime& now, int intervalMinutes);

// A number's parcel makes its journey again every this many intervals, each time from a moment of
// its own within the cycle (set by a hash of code and number).
inline constexpr int kJourneyCycleIntervals = 24;

// When the journey shown at `now` started: the latest start of the number's cycle, a function of
// code, number and the wall clock only, so a restarted service shows the same history.
QDateTime journeyStart(const QString& code, const QString& number, const QDateTime& now, int intervalMinutes);

// How an invented journey ends.
enum class ParcelEnd { Signed, Pickup, Returned };

// What the demo tells the program beside the page: its state token for X-Zjx-State ("transit",
// "delivering", "signed", "pickup", "returned"; empty before any event) and, while the parcel is on
// its way, the day it will be signed for as X-Zjx-Estimated-Delivery ("YYYY-MM-DD" in China).
struct ParcelOutlook {
    std::string state;
    QString estimatedDelivery;
};
ParcelOutlook parcelOutlook(const QString& code, const QString& number, const QDateTime& start, const QDateTime& now,
                            int intervalMinutes);

// GBK pages: the event table in the exact shape the program cuts, and a one-line notice.
QByteArray trackingPage(const QString& companyName, const QList<TrackingEvent>& events);
QByteArray messagePage(const QString& message);

// Answers tracking requests with the made-up parcels; it keeps no state, so any two desks (a
// service and the same service restarted) answer alike at the same moment.
class TrackingDesk {
public:
    explicit TrackingDesk(int intervalMinutes) : m_intervalMinutes(intervalMinutes) {}
    Reply answer(const QString& code, const QString& number, const QString& key, const QDateTime& now) const;

private:
    const int m_intervalMinutes;
};

} // namespace zjx::service
