#pragma once

#include <QString>
#include <QStringList>

namespace zjx {

// One saved parcel: "number|company|note" on one line, no quoting. The catalogue's company
// "共速达物流|快递" holds the separator itself; such a record is read back with that company. A note
// may hold "|" too: everything after the company is the note.
struct ParcelFields {
    QString number;
    QString company;
    QString note;
    bool valid = false; // at least number, company and note
};

class ParcelRecord {
public:
    static QString build(const QString& number, const QString& company, const QString& note);
    static ParcelFields split(const QString& line);
    static QString note(const QString& line) { return split(line).note; }
    // A text as a field may hold it: a record is one line, so CR and LF (a line break pasted with a
    // number from a web page or a chat) are dropped.
    static QString singleLine(const QString& text);
};

} // namespace zjx
