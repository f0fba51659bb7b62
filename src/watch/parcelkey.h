#pragma once

#include <QHashFunctions>
#include <QString>

namespace zjx {

// A parcel as the book names it: its number and its company's display name. The same number at two
// companies is two parcels.
struct ParcelKey {
    QString number;
    QString company;

    friend bool operator==(const ParcelKey&, const ParcelKey&) = default;
    // The record's own separator cannot occur in a number, so the text is unambiguous.
    QString text() const { return number + u'|' + company; }
    // The key text() wrote (a notice's key, for one).
    static ParcelKey fromText(const QString& text) {
        const qsizetype bar = text.indexOf(u'|');
        return {text.left(bar), text.mid(bar + 1)};
    }
};

inline size_t qHash(const ParcelKey& key, size_t seed = 0) {
    return qHashMulti(seed, key.number, key.company);
}

} // namespace zjx
