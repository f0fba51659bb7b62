#include "trackingoutcome.h"

#include "core/parser.h"

#include <QStringEncoder>

namespace zjx::gateway {

namespace {

QString u(const char* s) {
    return QString::fromUtf8(s);
}

QByteArray gb18030(const QString& text) {
    QStringEncoder encoder("GB18030");
    return encoder.encode(text);
}

zjx::service::Reply notice(const QString& message) {
    const QString page = u("<html><head><meta charset=\"gb18030\"><title>快递查询</title></head><body><p>") + message +
                         u("</p></body></html>");
    return {200, gb18030(page), kGb18030Html};
}

} // namespace

int httpStatusFor(FaultKind fault) {
    switch (fault) {
    case FaultKind::Timeout:
        return 504;
    case FaultKind::Quota:
    case FaultKind::RateLimit:
        return 503;
    default:
        return 502;
    }
}

namespace {

// A fault's words for people (the log, --check) beside its fixed word for machines, so a new fault
// gets both at once.
struct FaultNames {
    const char* words;
    const char* reason;
};

FaultNames namesOf(FaultKind fault) {
    switch (fault) {
    case FaultKind::Network:
        return {"network", "network"};
    case FaultKind::Timeout:
        return {"timeout", "timeout"};
    case FaultKind::Tls:
        return {"TLS", "tls"};
    case FaultKind::BadKey:
        return {"bad key", "bad-key"};
    case FaultKind::Quota:
        return {"quota", "quota"};
    case FaultKind::Signature:
        return {"signature refused", "signature"};
    case FaultKind::PhoneTail:
        return {"phone tail needed", "phone-tail"};
    case FaultKind::Provider:
        return {"provider error", "provider"};
    case FaultKind::NoKey:
        return {"no key", "no-key"};
    case FaultKind::Account:
        return {"account or request refused", "account"};
    case FaultKind::RateLimit:
        return {"rate limit", "rate-limit"};
    case FaultKind::Abandoned: // its reason only ever goes to a client that has gone
        return {"no client waits", "abandoned"};
    }
    return {"", "provider"};
}

} // namespace

QString faultWords(FaultKind fault) {
    return QString::fromLatin1(namesOf(fault).words);
}

QString reasonWord(FaultKind fault) {
    return QString::fromLatin1(namesOf(fault).reason);
}

QString neutralised(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (c == u'<')
            out += QChar(0xFF1C);
        else if (c == u'>')
            out += QChar(0xFF1E);
        else if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            out += u' ';
        else
            out += c;
    }
    out.replace(QStringLiteral("NULL"), QStringLiteral("ＮＵＬＬ"));
    static const char16_t* const chineseMarkers[] = {u"单号格式错误", u"不存在", u"不支持的快递公司", u"请输入"};
    for (const char16_t* marker : chineseMarkers) {
        const QString word = QString::fromUtf16(marker);
        const QString broken = word.left(1) + QChar(0x200D) + word.mid(1);
        out.replace(word, broken);
    }
    return out;
}

const char* stateToken(ProviderState state) {
    switch (state) {
    case ProviderState::Unknown:
        return "";
    case ProviderState::Transit:
        return "transit";
    case ProviderState::Delivering:
        return "delivering";
    case ProviderState::Pickup:
        return "pickup";
    case ProviderState::Signed:
        return "signed";
    case ProviderState::Returned:
        return "returned";
    case ProviderState::Exception:
        return "exception";
    }
    return "";
}

zjx::service::Reply pageFor(const Outcome& outcome, const QString& companyName) {
    switch (outcome.kind) {
    case OutcomeKind::Fault:
        return faultReply(outcome);
    case OutcomeKind::NotFound:
        return notice(u("没有查到此单号的物流信息，单号不存在或尚未录入系统"));
    case OutcomeKind::BadNumber:
        return notice(u("单号格式错误，请核对快递单号"));
    case OutcomeKind::Unsupported:
        return notice(u("不支持的快递公司，请选择其他快递公司后再查询"));
    case OutcomeKind::Events:
        break;
    }
    if (outcome.events.isEmpty())
        return pageFor(Outcome::of(OutcomeKind::NotFound), companyName);
    // The program cuts this page at fixed tags: the heading row uses <th>, event rows follow one
    // another with nothing between them, and nothing at all may follow "</table>".
    QString page = u("<html><head><meta charset=\"gb18030\"><title>") + neutralised(companyName) +
                   u(" - 物流跟踪</title></head><body><table><tr><th>时间</th><th>地点和跟踪进度</th></tr>");
    const QString stageWord = outcome.state == ProviderState::Signed ? u("已签收")
                              : outcome.state == ProviderState::Delivering || outcome.state == ProviderState::Pickup
                                  ? u("派件中")
                                  : QString();
    for (qsizetype i = 0; i < outcome.events.size(); ++i) {
        const ParcelEvent& e = outcome.events[i];
        QString text = e.text.trimmed();
        const QString place = e.location.trimmed();
        if (!place.isEmpty() && !text.contains(place))
            text = u("【") + place + u("】") + text;
        // The parser takes the parcel's state from the latest event's words alone.
        if (i == outcome.events.size() - 1 && !stageWord.isEmpty() &&
            zjx::TrackingParser::parcelState(neutralised(text)) != stageWord)
            text = stageWord + u("：") + text;
        page += u("<tr><td>") + neutralised(e.time.trimmed()) + u("</td><td>") + neutralised(text) + u("</td></tr>");
    }
    page += u("</table>");
    zjx::service::Reply reply{200, gb18030(page), kGb18030Html};
    if (const std::string token = stateToken(outcome.state); !token.empty())
        reply.headers.emplace_back("X-Zjx-State", token);
    if (!outcome.estimatedDelivery.isEmpty())
        reply.headers.emplace_back("X-Zjx-Estimated-Delivery", outcome.estimatedDelivery.toStdString());
    return reply;
}

zjx::service::Reply faultReply(const Outcome& outcome) {
    // Plain text, and no marker word: the program shows its network hint for any error status.
    const QByteArray body = "tracking provider unavailable: " + faultWords(outcome.fault).toUtf8() + "\n";
    return {httpStatusFor(outcome.fault), body, "text/plain; charset=utf-8"};
}

} // namespace zjx::gateway
