#include "core/estimateddelivery.h"

namespace zjx {

EstimatedDelivery EstimatedDelivery::fromHeader(const QByteArray& header) {
    const QList<QByteArray> parts = header.trimmed().split('/');
    if (parts.size() > 2)
        return {};
    const auto day = [](const QByteArray& text) {
        // Exactly "YYYY-MM-DD": the header is the service's, anything else is not an estimate.
        return text.size() == 10 ? QDate::fromString(QString::fromLatin1(text), Qt::ISODate) : QDate();
    };
    EstimatedDelivery estimate{day(parts.first()), day(parts.last())};
    if (!estimate.isValid() || estimate.to < estimate.from)
        return {};
    return estimate;
}

QString estimatedDeliveryText(const QByteArray& header, const QDate& today, bool delivered) {
    const EstimatedDelivery estimate = EstimatedDelivery::fromHeader(header);
    // A day more than a year ahead is a provider's placeholder ("9999-12-31"), not an estimate.
    if (delivered || !estimate.isValid() || estimate.to > today.addYears(1))
        return {};
    if (estimate.to < today)
        return QStringLiteral("已超过预计送达");
    // The year is said when it is not this one: "12月31日" must not stand for a day years away.
    const auto day = [&today](const QDate& d) {
        const QString monthDay = QStringLiteral("%1月%2日").arg(d.month()).arg(d.day());
        return d.year() == today.year() ? monthDay : QStringLiteral("%1年").arg(d.year()) + monthDay;
    };
    QString text = QStringLiteral("预计送达 ") + day(estimate.from);
    if (estimate.to != estimate.from)
        text += u'-' + day(estimate.to);
    return text;
}

} // namespace zjx
