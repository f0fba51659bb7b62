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
    if (delivered || !estimate.isValid())
        return {};
    if (estimate.to < today)
        return QStringLiteral("已超过预计送达");
    const auto day = [](const QDate& d) { return QStringLiteral("%1月%2日").arg(d.month()).arg(d.day()); };
    QString text = QStringLiteral("预计送达 ") + day(estimate.from);
    if (estimate.to != estimate.from)
        text += u'-' + day(estimate.to);
    return text;
}

} // namespace zjx
