#include "watch/news.h"

#include "core/parser.h"

#include <QDateTime>

namespace zjx {
namespace {

bool isProviderState(const QString& state) {
    return state == pickupState || state == returnedState || state == exceptionState;
}

} // namespace

QDateTime readEventTime(const QString& text) {
    static const QString formats[] = {QStringLiteral("yyyy-MM-dd HH:mm:ss"), QStringLiteral("yyyy-MM-dd HH:mm"),
                                      QStringLiteral("yyyy/MM/dd HH:mm:ss"), QStringLiteral("yyyy/MM/dd HH:mm")};
    const QString trimmed = text.trimmed();
    for (const QString& format : formats)
        if (const QDateTime t = QDateTime::fromString(trimmed, format); t.isValid())
            return t;
    return {};
}

QString stateOfToken(const QByteArray& token) {
    static const std::pair<const char*, const QString*> words[] = {
        {"signed", &deliveredState}, {"delivering", &outForDeliveryState}, {"transit", &inTransitState},
        {"pickup", &pickupState},    {"returned", &returnedState},         {"exception", &exceptionState}};
    const QByteArray t = token.trimmed().toLower();
    for (const auto& [name, state] : words)
        if (t == name)
            return *state;
    return {};
}

QString answerState(const QByteArray& token, const QString& latestProgress) {
    const QString state = stateOfToken(token);
    return state.isEmpty() ? TrackingParser::parcelState(latestProgress) : state;
}

bool eventBefore(const QString& a, const QString& b) {
    const QDateTime ta = readEventTime(a);
    const QDateTime tb = readEventTime(b);
    return ta.isValid() && tb.isValid() && ta < tb;
}

News judgeNews(const std::optional<Sighting>& known, const Sighting& answer) {
    const bool delivered = answer.state == deliveredState;
    if (!known || known->latest.isEmpty())
        return delivered ? News::Delivered : News::NewEvent;
    // The delivery is told once: a signed-for parcel asked again is only news if its event moved.
    if (delivered && known->state != deliveredState)
        return News::Delivered;
    return known->latest == answer.latest ? News::None : News::NewEvent;
}

Judgement judgeAnswer(const std::optional<Sighting>& known, const Sighting& answer) {
    if (!known || known->latest.isEmpty())
        return {News::None, false, answer.state};
    if (eventBefore(answer.latest.time, known->latest.time))
        return {News::None, true, known->state};
    Judgement j{News::None, false, answer.state};
    // The text rule may read a later event as under way again; signed for is where it ends.
    if (known->state == deliveredState && (answer.state == inTransitState || answer.state == outForDeliveryState))
        j.state = deliveredState;
    if (j.state == deliveredState && known->state != deliveredState)
        j.news = News::Delivered;
    else if (known->latest != answer.latest || (j.state != known->state && isProviderState(j.state)))
        j.news = News::NewEvent;
    return j;
}

} // namespace zjx
