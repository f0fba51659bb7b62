#pragma once

#include "book/parcelbook.h"
#include "core/result.h"

#include <QObject>
#include <QSet>
#include <QString>
#include <functional>

namespace zjx {

// Keeps the parcel book for the window: which parcel is chosen, recording a new parcel once,
// changing and removing the chosen one, and whether the store file is behind the book in memory.
// A failed rewrite is told once as a warning and then marked in every hint until one succeeds.
class BookKeeper : public QObject {
    Q_OBJECT
public:
    explicit BookKeeper(QObject* parent = nullptr);

    ParcelBook& book() { return m_book; }
    const ParcelBook& book() const { return m_book; }
    const QStringList& records() const { return m_book.records(); }

    // The parcel chosen last, as its record says it.
    QString queryNumber;
    QString companyName;
    QString parcelNote;
    QString parcelIndexText; // its place in the book, as text
    QString& chosenRecordText = m_book.chosenRecordText;
    // The chosen parcel as the user copies it: its note, company and number on lines of their own.
    QString chosenParcelText() const;

    // While this says so (a timed or loop query follows its parcel), a parcel just added or
    // saved does not become the chosen one.
    void setChoiceHeld(std::function<bool()> held) { m_choiceHeld = std::move(held); }

    // The record at `index` becomes the chosen parcel; false when there is none there.
    bool choose(int index);
    // The listed parcel with this number and company becomes the chosen one, without a query;
    // `chosenQuietly` tells the selector.
    void chooseListed(const QString& number, const QString& company);

    // What recording the add panel's parcel did.
    enum class Recorded { Saved, AlreadyListed, NotSaved };
    Recorded record(const QString& number, const QString& company, const QString& note);

    // New parcels of a list or an order file, as one change: one write of the file. False when the
    // file did not take them (the book in memory keeps them, as after any failed rewrite).
    bool recordMany(const QStringList& records);
    // The numbers the book lists, whatever their company.
    QSet<QString> numbers() const;

    void load();
    // Empties the book and reads the file again, keeping the chosen parcel chosen.
    void reload();
    // Rewrites the store file from the book; tells a failure.
    bool writeStore();
    bool storeSaved(const Result& saved); // tells a failed rewrite as writeStore does; true when saved
    // Empties the book and deletes the file.
    void clear();
    // The chosen parcel's record replaced (when `confirmed`) or the file rewritten as it is.
    void changeChosen(const QString& record, bool confirmed);
    void removeChosen(bool confirmed);

    // The hint with the marks of a file that is behind the book or cannot be read.
    QString withBookState(const QString& hint) const;
    // The note of the listed parcel with this number and company; empty when none is listed.
    QString noteOf(const QString& number, const QString& company) const;
    bool isListed(const QString& number, const QString& company) const { return indexOf(number, company) >= 0; }
    int indexOf(const QString& number, const QString& company) const; // -1 when not listed

Q_SIGNALS:
    void hint(const QString& text);
    void warning(const QString& text);      // a failed rewrite, told once until one succeeds
    void chosenQuietly(int index);          // the selector shows this parcel, without a query

private:
    void showLoaded(const ParcelBook::Loaded& loaded);
    int chosenIndex() const; // the chosen parcel's index in the book, or -1

    ParcelBook m_book;
    std::function<bool()> m_choiceHeld;
    // Why the file is behind the book in memory (a failed rewrite, a book that cannot be read);
    // empty when both agree.
    QString m_storeProblem;
    bool m_storeProblemTold = false; // its warning was shown
};

} // namespace zjx
