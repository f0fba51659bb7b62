#pragma once

#include "core/result.h"
#include "watch/parcelstates.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <optional>

namespace zjx {

// The file parcels.json beside the book: what is known per parcel, kept between runs. Written
// atomically; read tolerantly: a damaged or foreign file is kept aside and the knowledge rebuilt
// from nothing, never a reason to touch the book.
class StateFile {
public:
    static QString fileName() { return QStringLiteral("parcels.json"); }
    static QString pathBeside(const QString& bookPath);

    // Each parcel's knowledge names the back-end that told it, and the watch's ledger the back-end
    // last heard from: after a change of back-end, what the old one told is set aside. Files written
    // before these fields existed read as knowledge of no named back-end.
    static QByteArray toJson(const QHash<ParcelKey, ParcelState>& states, const WatchLedger& ledger = {});
    struct Contents {
        QHash<ParcelKey, ParcelState> states;
        WatchLedger ledger;
    };
    // Nothing when the bytes are not a state file of ours.
    static std::optional<Contents> fromJson(const QByteArray& bytes);

    struct Loaded {
        QHash<ParcelKey, ParcelState> states;
        WatchLedger ledger;
        QString keptAside; // where a damaged file was moved; empty when none was
    };
    static Loaded load(const QString& path);
    static Result save(const QString& path, const QHash<ParcelKey, ParcelState>& states,
                       const WatchLedger& ledger = {});
};

} // namespace zjx
