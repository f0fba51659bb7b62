#include "schedule/schedule.h"

#include <limits>

namespace zjx::schedule {

int chooserValue(const QString& text) {
    int i = 0;
    while (i < text.size() && text.at(i).isSpace())
        ++i;
    int value = 0;
    // Three digits cover every entry; more could only overflow.
    for (int digits = 0; i < text.size() && text.at(i) >= u'0' && text.at(i) <= u'9' && digits < 9; ++i, ++digits)
        value = value * 10 + (text.at(i).unicode() - u'0');
    return value;
}

bool timedQueryDue(const QTime& now, const QString& hourText, const QString& minuteText) {
    return now.isValid() && now.hour() == chooserValue(hourText) && now.minute() == chooserValue(minuteText);
}

bool countLoopMinute(qint16& loopMinutes, const QString& intervalText) {
    // The count is reset long before this, but a 16-bit counter must never wrap to negative.
    if (loopMinutes < std::numeric_limits<qint16>::max())
        ++loopMinutes;
    if (chooserValue(intervalText) != loopMinutes)
        return false;
    loopMinutes = 0;
    return true;
}

namespace {

bool isOpening(QChar c) {
    return c == u'(' || c == u'[' || c == u'（';
}
bool isClosing(QChar c) {
    return c == u')' || c == u']' || c == u'）';
}
bool isFiller(QChar c) {
    return c.isSpace() || c == u',' || c == u'，';
}

// Removes the time-zone field ("t" outside quoted text) with the brackets or separator that only
// framed it, e.g. "HH:mm:ss (t)", "h:mm:ss AP, t", "t HH:mm:ss".
QString withoutTimeZone(const QString& format) {
    QString out;
    bool quoted = false;
    for (int i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c == u'\'') {
            quoted = !quoted;
            out += c;
            continue;
        }
        if (quoted || c != u't') {
            out += c;
            continue;
        }
        while (i + 1 < format.size() && format.at(i + 1) == u't')
            ++i;
        if (!out.isEmpty() && isOpening(out.back()) && i + 1 < format.size() && isClosing(format.at(i + 1))) {
            out.chop(1);
            ++i;
        }
        // The separator before the zone goes with it; at the start, the one after it does.
        if (out.trimmed().isEmpty()) {
            out.clear();
            while (i + 1 < format.size() && isFiller(format.at(i + 1)))
                ++i;
        } else {
            while (!out.isEmpty() && isFiller(out.back()))
                out.chop(1);
        }
    }
    return out.trimmed();
}

} // namespace

QString clockFormat(const QLocale& locale) {
    return locale.dateFormat(QLocale::ShortFormat) + u' ' + withoutTimeZone(locale.timeFormat(QLocale::LongFormat));
}

QString clockText(const QDateTime& now, const QLocale& locale) {
    return locale.toString(now, clockFormat(locale));
}

} // namespace zjx::schedule
