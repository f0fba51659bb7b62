#pragma once

#include <QString>
#include <QStringList>

namespace zjx {

// One saved parcel: "number|company|note" on one line, no quoting. The catalogue's company
// "共速达物流|快递" holds the separator itself; such a record is read back with that company.
struct ParcelFields {
    QString number;
    QString company;
    QString note;
    QStringList rest; // fields after the note, kept as they were
    bool valid = false; // at least number, company and note
};

class ParcelRecord {
public:
    static QString build(const QString& number, const QString& company, const QString& note);
    static ParcelFields split(const QString& line);
    static QString note(const QString& line) { return split(line).note; }
    // The line with number, company and note replaced and anything after the note kept.
    static QString withFields(const QString& line, const QString& number, const QString& company,
                              const QString& note);
};

} // namespace zjx
