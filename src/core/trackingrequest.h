#pragma once

#include <QString>
#include <QStringView>

namespace zjx {

// One GET to the tracking service for a service code and a tracking number (the TrackingQuery).
class TrackingRequest {
public:
    // The program's fixed access key, sent after "&id=".
    static QString accessKey() { return QStringLiteral("4F1C0D7A2B9E83C5A6D0E1F27B3C9D48"); }

    // "http://" host "/?com=" code "&nu=" number "&id=" key "&type=html".
    static QString url(const QString& host, const QString& companyCode, const QString& number);

    // The number as it travels in the query: letters, digits and characters that cannot change the
    // request go as typed; the rest ("&", "#", "%", "+", "=", "?", space, controls, non-ASCII ...) is
    // percent-encoded from UTF-8, so the service receives exactly the number typed.
    static QString encodeNumber(QStringView number);
};

// What an answer of the tracking service means, decided in this order; the first match wins.
enum class Screening {
    Empty = 0,       // no answer at all
    FormatError = 1, // "单号格式错误"
    NotFound = 2,    // "不存在": offer to save the parcel anyway
    Expired = 3,     // "NULL"
    Unsupported = 4, // "不支持的快递公司"
    EnterNumber = 5, // "请输入"
    Good = 6,        // an answer for the parser
};

Screening screenAnswer(QStringView answer);

// The hint line's text for rules 1, 3, 4 and 5; empty for the others, which leave the line alone.
QString screeningHint(Screening verdict);

} // namespace zjx
