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

// Pattern letters that Qt reads in a time format and that a clock of hours, minutes and seconds
// wants: the hour, the minute, the second and the AM/PM marker.
bool isClockField(QChar c) {
    return c == u'h' || c == u'H' || c == u'm' || c == u's' || c == u'A' || c == u'a';
}

// The locale's time format reduced to what the clock shows and Qt understands. The locale data
// carries fields Qt reads otherwise or not at all: the time zone ("t"), milliseconds ("z"), and the
// flexible day period "B" of the Chinese locales, which Qt would print as a stray "B". The day
// period becomes Qt's AM/PM marker (the hour beside it counts from 1 to 12); every other letter
// outside the clock's fields is removed with the brackets or separator that only framed it, e.g.
// "HH:mm:ss (t)", "h:mm:ss AP, t", "t HH:mm:ss".
QString clockTimeFormat(const QString& format) {
    QString out;
    bool quoted = false;
    for (int i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c == u'\'') {
            quoted = !quoted;
            out += c;
            continue;
        }
        const bool patternLetter = c.isLetter() && c.unicode() < 0x80;
        if (quoted || !patternLetter) {
            out += c;
            continue;
        }
        int end = i + 1;
        while (end < format.size() && format.at(end) == c)
            ++end;
        if (isClockField(c)) {
            out += format.mid(i, end - i);
            // "AP" and "ap" are one field; a "P" or "p" alone is no field of Qt's.
            if ((c == u'A' || c == u'a') && end < format.size() && format.at(end).toLower() == u'p')
                out += format.at(end++);
            i = end - 1;
            continue;
        }
        i = end - 1;
        if (c == u'B' || c == u'b') {
            out += QStringLiteral("AP");
            continue;
        }
        if (!out.isEmpty() && isOpening(out.back()) && i + 1 < format.size() && isClosing(format.at(i + 1))) {
            out.chop(1);
            ++i;
        }
        // The separator before the field goes with it; at the start, the one after it does.
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
    return locale.dateFormat(QLocale::ShortFormat) + u' ' + clockTimeFormat(locale.timeFormat(QLocale::LongFormat));
}

QString clockText(const QDateTime& now, const QLocale& locale) {
    return locale.toString(now, clockFormat(locale));
}

} // namespace zjx::schedule
