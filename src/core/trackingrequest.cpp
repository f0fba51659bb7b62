#include "core/trackingrequest.h"

namespace zjx {
namespace {

// Characters that keep their meaning inside a query value. "&", "=", "#", "+", "%", "?" and space are
// not among them, nor those that may not stand in a URL at all (quotes, angle brackets, "|", "\" ...).
// A "?" is allowed raw in a query by the URL syntax, but servers differ in what they make of a second
// one, so it goes encoded like the other delimiters.
bool travelsAsTyped(char16_t c) {
    if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9'))
        return true;
    switch (c) {
    case u'-':
    case u'.':
    case u'_':
    case u'~':
    case u'!':
    case u'$':
    case u'\'':
    case u'(':
    case u')':
    case u'*':
    case u',':
    case u';':
    case u':':
    case u'@':
    case u'/':
        return true;
    default:
        return false;
    }
}

} // namespace

QString TrackingRequest::encodeNumber(QStringView number) {
    static constexpr char hex[] = "0123456789ABCDEF";
    QString out;
    out.reserve(number.size());
    qsizetype plainFrom = 0;
    for (qsizetype i = 0; i < number.size();) {
        if (travelsAsTyped(number[i].unicode())) {
            ++i;
            continue;
        }
        out.append(number.mid(plainFrom, i - plainFrom));
        // A surrogate pair is one character: encode both halves together.
        qsizetype len = 1;
        if (number[i].isHighSurrogate() && i + 1 < number.size() && number[i + 1].isLowSurrogate())
            len = 2;
        const QByteArray utf8 = number.mid(i, len).toUtf8();
        for (const char byte : utf8) {
            const auto b = static_cast<unsigned char>(byte);
            out.append(u'%');
            out.append(QLatin1Char(hex[b >> 4]));
            out.append(QLatin1Char(hex[b & 0x0F]));
        }
        i += len;
        plainFrom = i;
    }
    out.append(number.mid(plainFrom));
    return out;
}

QString TrackingRequest::url(const QString& host, const QString& companyCode, const QString& number) {
    return QStringLiteral("http://") + host + QStringLiteral("/?com=") + companyCode + QStringLiteral("&nu=") +
           encodeNumber(number) + QStringLiteral("&id=") + accessKey() + QStringLiteral("&type=html");
}

Screening screenAnswer(QStringView answer) {
    if (answer.isEmpty())
        return Screening::Empty;
    if (answer.contains(u"单号格式错误"))
        return Screening::FormatError;
    if (answer.contains(u"不存在"))
        return Screening::NotFound;
    if (answer.contains(u"NULL"))
        return Screening::Expired;
    if (answer.contains(u"不支持的快递公司"))
        return Screening::Unsupported;
    if (answer.contains(u"请输入"))
        return Screening::EnterNumber;
    return Screening::Good;
}

QString screeningHint(Screening verdict) {
    switch (verdict) {
    case Screening::FormatError:
        return QStringLiteral("单号格式错误!请检查!");
    case Screening::Expired:
        return QStringLiteral("此快递单号已失效..");
    case Screening::Unsupported:
        return QStringLiteral("系统问题,暂不支持当前快递公司!");
    case Screening::EnterNumber:
        return QStringLiteral("请输入正确的单号!");
    case Screening::Empty:
    case Screening::NotFound:
    case Screening::Good:
        break;
    }
    return {};
}

} // namespace zjx
