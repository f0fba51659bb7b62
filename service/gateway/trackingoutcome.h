#pragma once

#include "trackingpages.h"

#include <QList>
#include <QString>

namespace zjx::gateway {

inline constexpr char kGb18030Html[] = "text/html; charset=GB18030";

// One event as a provider reports it; `location` is set when the provider gives it apart.
struct ParcelEvent {
    QString time; // "yyyy-MM-dd HH:mm:ss" in the user's local time where the provider's time could be read,
                  // else as sent
    QString text;
    QString location;
};

// What a provider said about a parcel, before it becomes a page.
enum class OutcomeKind {
    Events,      // a history (an empty one is answered like NotFound)
    NotFound,    // no such number, or nothing known about it yet
    BadNumber,   // the provider calls the number malformed
    Unsupported, // the provider cannot serve this company
    Fault,       // the provider's or the network's fault: never shown as a parcel answer
};

// Why a query failed; decides the HTTP status and the wording of --check.
enum class FaultKind {
    Network,   // no connection, connection dropped, DNS
    Timeout,   // the provider did not answer in time
    Tls,       // certificate refused or handshake failed
    BadKey,    // key, customer or business id refused
    Quota,     // quota used up, key expired, rate limit
    Signature, // the provider refused the sign
    PhoneTail, // the provider needs the receiver's or sender's phone tail
    Provider,  // the provider's own error (5xx, an answer that cannot be read)
    NoKey,     // the configuration lacks a secret
    Account,   // the provider refused the account or the request (not the parcel): key, customer, IP, quota
    RateLimit, // too many requests in a short time (HTTP 429): a later query goes through
    Abandoned, // every client waiting for the parcel went away before the query was sent: never sent
};

// The parcel's state as the provider itself reports it, apart from the event texts (which may be
// in the carrier's language, so the program's Chinese state words would not match them).
enum class ProviderState {
    Unknown,    // the provider said nothing the program knows
    Transit,    // 运送中: collected, on its way, in customs
    Delivering, // 派件中: out for delivery
    Pickup,     // 待取件: waiting in a locker or at a pick-up point
    Signed,     // 已签收
    Returned,   // 已退回: refused, on its way back or back with the sender
    Exception,  // 异常: held, lost, damaged, failed delivery, cancelled
};
// The token of the X-Zjx-State header ("" for Unknown: the header is left out).
const char* stateToken(ProviderState state);

struct Outcome {
    OutcomeKind kind = OutcomeKind::Fault;
    QList<ParcelEvent> events; // oldest first
    bool signedFor = false;    // the provider's final state: the answer is kept longer
    FaultKind fault = FaultKind::Provider;
    QString reason; // for the log and --check; never holds a secret
    ProviderState state = ProviderState::Unknown;
    // When the provider expects the parcel, as local dates in China: "YYYY-MM-DD" or a range
    // "YYYY-MM-DD/YYYY-MM-DD"; empty when it gives none.
    QString estimatedDelivery{};

    static Outcome of(OutcomeKind kind) { return Outcome{kind, {}, false, FaultKind::Provider, {}}; }
    static Outcome failure(FaultKind fault, const QString& reason) {
        return Outcome{OutcomeKind::Fault, {}, false, fault, reason};
    }
};

// 504 for a timeout, 503 for quota and rate limits, 502 for the rest.
int httpStatusFor(FaultKind fault);
// Short words for --check and the log: "bad key", "quota", "network", ...
QString faultWords(FaultKind fault);
// One fixed word per fault for machines: the X-Zjx-Reason header and the verdict line of --check
// ("bad-key", "quota", "network", "timeout", "tls", "signature", "phone-tail", "provider", "no-key").
// The program maps these words to its own sentences, so they never change with the wording above.
QString reasonWord(FaultKind fault);

// Marker words of the program's screening ("不存在", "NULL", ...) taken apart so a provider's event
// text cannot trip them: "NULL" becomes the full-width "ＮＵＬＬ", the Chinese markers get a zero
// width joiner (U+200D) after their first character. Both look the same to a reader. "<" and ">"
// become their full-width forms so no text can make a tag the page cutter would see; line breaks
// and other control characters become spaces.
QString neutralised(const QString& text);

// The page the program reads for an outcome that is not a fault: an event table (oldest first) in
// the exact shape the program cuts, or a notice with the right marker; GB18030 encoded. When the
// provider's state is signed for or out for delivery and the latest event's text would not make the
// program's parser say so, that text is shown after the program's word: "已签收：DELIVERED". An
// event table carries the provider's state in X-Zjx-State and its estimate in
// X-Zjx-Estimated-Delivery, when it gave them.
zjx::service::Reply pageFor(const Outcome& outcome, const QString& companyName);
// The answer for a fault: an HTTP error status and a short plain text.
zjx::service::Reply faultReply(const Outcome& outcome);

} // namespace zjx::gateway
