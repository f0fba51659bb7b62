#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringView>

namespace zjx {

// What the published number formats say about a tracking number.
struct NumberGuess {
    enum class Verdict {
        NotANumber, // too short, too long or with other characters: nothing to guess
        Known,      // a format recognised it (its check digit right); `candidates` may still be empty
        Mistyped,   // the shape of a checked format with a wrong check digit: not called valid
        Open,       // looks like a tracking number no offline rule decides (plain Chinese digits ...)
    };
    Verdict verdict = Verdict::NotANumber;
    QList<int> candidates; // catalogue indices, equally likely, in the order the rules list them
    // Plain digits whose check digit fits a foreign format: one plain number in seven to eleven fits
    // by chance, and the Chinese couriers print plain digits too, so the provider may know better.
    bool plainDigits = false;
};

// The number as the formats read it: spaces and dashes left out, letters upper-case.
QString normaliseTrackingNumber(QStringView number);

// The offline guess from the couriers' published formats and check digits.
NumberGuess guessNumber(QStringView number);

// Catalogue indices, most likely first: the company the user's book names most often first, then
// the rules' order. `bookUses` counts the book's records by company display name.
QList<int> rankCandidates(const QList<int>& candidates, const QHash<QString, int>& bookUses);

// How often each company display name occurs in the book's record lines.
QHash<QString, int> countBookCompanies(const QStringList& recordLines);

// Clear: the number's own format names the company. Possible: plain digits whose check digit
// fits a foreign format by what may be chance.
enum class GuessStrength { Clear, Possible };

// "根据单号推测:顺丰快递" ("根据单号推测:可能是DHL快递" when only possible), with the next candidates in
// brackets; empty for no candidate.
QString guessHint(const QList<int>& ranked, GuessStrength strength = GuessStrength::Clear);

// The check digits, for the formats' own use and for tests.
namespace checkdigit {
bool upuS10(QStringView s10);     // 13 characters: two letters, eight digits, check, two letters
bool ups1Z(QStringView number);   // "1Z" and 16 characters, the last the check
bool fedex12(QStringView digits); // mod 11 with weights 1, 3, 7 from the right
bool mod10(QStringView digits);   // GS1 / IMpb: weights 3, 1 from the right of the body
bool dhl10(QStringView digits);   // the first nine digits modulo 7
} // namespace checkdigit

} // namespace zjx
