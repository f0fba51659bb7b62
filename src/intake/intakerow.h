#pragma once

#include <QList>
#include <QString>

namespace zjx {

// One parcel read from a pasted list or an order file, before it goes into the book.
struct IntakeRow {
    QString number;
    QString companyText; // the company as the list or file wrote it ("中通", "中通快递"); may be empty
    int company = -1;    // the catalogue index it names; -1 when it names none
    QString note;
};

} // namespace zjx
