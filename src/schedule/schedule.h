#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QtGlobal>

// The rules of the timed query and the loop query, apart from the window that shows them.
namespace zjx::schedule {

// The mode of each group is carried by its button's caption.
inline const QString timedIdleCaption = QStringLiteral("开始定时");
inline const QString timedArmedCaption = QStringLiteral("关闭定时");
inline const QString loopIdleCaption = QStringLiteral("开始循环");
inline const QString loopRunningCaption = QStringLiteral("停止循环");

// The number a chooser's text stands for: its leading decimal digits, 0 when there are none.
int chooserValue(const QString& text);

// Whether the timed query is due at `now`: its hour and minute equal the chosen ones; seconds play
// no part, so every tick of the set minute is due and the caller disarms after the first.
bool timedQueryDue(const QTime& now, const QString& hourText, const QString& minuteText);

// Counts one minute of the loop query. When the count reaches the chosen interval it starts again
// from 0 and the result is true: a re-query is due.
bool countLoopMinute(qint16& loopMinutes, const QString& intervalText);

// The clock's format: the locale's short date and long time, without the time zone (the clock
// shows the local time and nothing else) and without fields Qt would print as stray letters.
QString clockFormat(const QLocale& locale);
QString clockText(const QDateTime& now, const QLocale& locale);

} // namespace zjx::schedule
