#pragma once

#include "intake/intakerow.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QStringList>

namespace zjx {

// The parcels of a pasted list or an order file on their way into the book, and how each one's
// company is found: the company the list names first, then the number's own format (offline), then
// the tracking service's recognition, asked one number at a time; a number nothing recognises
// waits for the user's choice and is never asked under a company nobody chose. Numbers the book
// holds already, and a number's second line in the list, are not asked about and are skipped.
class IntakeBatch {
public:
    enum class Found {
        Listed,     // the list or file named the company
        Guessed,    // the number's published format names it
        Recognised, // the tracking service recognised the number
        Chosen,     // the user chose it
        Waiting,    // to be asked of the service
        Asking,     // the service is being asked
        Unknown,    // nothing recognised it: the user must choose
    };
    struct Row {
        IntakeRow parcel;
        Found found = Found::Waiting;
        bool inBook = false;   // the book lists this number already
        bool repeated = false; // an earlier row holds the same number
        bool skipped() const { return inBook || repeated; }
    };

    // The book's numbers (duplicates are skipped) and its use of each company (ranks candidates).
    void setBook(const QSet<QString>& numbers, const QHash<QString, int>& companyUses);
    // Whether the service can recognise numbers (17TRACK and others cannot without spending quota):
    // without it, open rows are Unknown at once.
    void setRecognition(bool online) { m_online = online; }

    // Puts rows under those already there, each with the offline verdict on its company.
    void add(const QList<IntakeRow>& rows);
    void clear() { m_rows.clear(); }
    const QList<Row>& rows() const { return m_rows; }

    // The next number to ask the service about (marked Asking), or an empty text when none waits.
    QString takeNextAsk();
    // The service's candidates for `number` (service codes, most likely first): empty means it
    // does not know the number, which then waits for the user.
    void recognised(const QString& number, const QStringList& codes);
    void choose(int row, int company);

    struct Taken {
        QStringList records; // the new parcels as record lines, in list order
        int skipped = 0;
        int withoutCompany = 0;
    };
    // The rows to add as book records; added and skipped rows leave the batch, rows without a
    // company stay for the user to choose.
    Taken take();

    static QString foundText(Found found);
    QString statusText(int row) const;

private:
    void place(Row& row);

    QList<Row> m_rows;
    QSet<QString> m_bookNumbers;
    QHash<QString, int> m_companyUses;
    bool m_online = true;
};

} // namespace zjx
