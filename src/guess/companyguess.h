#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

namespace zjx {

// What a company chooser beside a number box does while the number is typed. A guess holds only
// while its number fits: when the number stops fitting, the chooser goes back to the company it
// showed before the guess and the guess's hint goes. Plain digits that fit only a foreign check
// digit never move the chooser; they are named as possible and asked online. A company picked by
// hand is kept; the hint then says what the number looks like when that differs.
class CompanyGuess {
public:
    struct Step {
        bool changes = true; // false: an answer about something else; chooser and hint stay
        int company = -1;    // the chooser's new catalogue index; -1 leaves it
        QString hint{};      // the guess's hint; empty: no guess hint (withdraw one shown)
        bool askOnline = false;
    };

    // The number box reads `number`; `shown` is the chooser's index now; `bookUses` ranks equal candidates.
    Step numberChanged(const QString& number, int shown, const QHash<QString, int>& bookUses = {});
    // The service's candidates (service codes) for `number`, asked after numberChanged said so.
    Step onlineAnswered(const QString& number, const QStringList& codes, int shown,
                        const QHash<QString, int>& bookUses = {});
    // The user chose `company` in the chooser (or through the finder).
    Step pickedByHand(int company);
    bool byHand() const { return m_byHand; }
    bool holds() const { return m_before >= 0; } // a guess chose the company shown

private:
    Step follow(const QList<int>& ranked, int shown);
    Step letGo();
    QString handPickHint(int picked) const;

    QString m_number;
    QList<int> m_clear; // the current number's clear candidates, ranked
    int m_before = -1;  // the chooser before the guess that holds now moved it; -1: no guess holds
    bool m_byHand = false;
};

} // namespace zjx
