#include "book/parcelrecord.h"

namespace zjx {
namespace {

const QString splitCompanyHead = QStringLiteral("共速达物流");
const QString splitCompanyTail = QStringLiteral("快递");

} // namespace

QString ParcelRecord::build(const QString& number, const QString& company, const QString& note) {
    return number + u'|' + company + u'|' + note;
}

ParcelFields ParcelRecord::split(const QString& line) {
    ParcelFields f;
    QStringList parts = line.split(u'|');
    if (parts.size() < 3)
        return f;
    f.valid = true;
    f.number = parts.takeFirst();
    f.company = parts.takeFirst();
    // "共速达物流|快递" followed by a note: the company's own bar is not a separator. A line with
    // only three fields keeps the plain reading, so older files read as they always did.
    if (f.company == splitCompanyHead && parts.size() >= 2 && parts.first() == splitCompanyTail) {
        f.company += u'|' + parts.takeFirst();
    }
    // The add panel accepts "|" in the note: the note reads back as it was typed.
    f.note = parts.join(u'|');
    return f;
}

QString ParcelRecord::singleLine(const QString& text) {
    QString result = text;
    result.remove(u'\r');
    result.remove(u'\n');
    return result;
}

} // namespace zjx
