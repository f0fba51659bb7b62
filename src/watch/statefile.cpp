#include "watch/statefile.h"

#include "core/atomicfile.h"
#include "core/regularfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace zjx {
namespace {

constexpr int formatVersion = 1;
const QString formatName = QStringLiteral("zjx-parcels");

} // namespace

QString StateFile::pathBeside(const QString& bookPath) {
    return QFileInfo(bookPath).dir().filePath(fileName());
}

QByteArray StateFile::toJson(const QHash<ParcelKey, ParcelState>& states, const WatchLedger& ledger) {
    QJsonArray parcels;
    for (auto it = states.cbegin(); it != states.cend(); ++it) {
        const ParcelState& s = it.value();
        QJsonObject o{{QStringLiteral("number"), it.key().number}, {QStringLiteral("company"), it.key().company}};
        if (!s.state.isEmpty())
            o.insert(QStringLiteral("state"), s.state);
        if (!s.latest.isEmpty()) {
            o.insert(QStringLiteral("time"), s.latest.time);
            o.insert(QStringLiteral("progress"), s.latest.progress);
        }
        if (s.askedAt.isValid())
            o.insert(QStringLiteral("asked"), s.askedAt.toString(Qt::ISODate));
        if (!s.trouble.isEmpty())
            o.insert(QStringLiteral("trouble"), s.trouble);
        if (s.unseen)
            o.insert(QStringLiteral("unseen"), true);
        if (s.failures > 0)
            o.insert(QStringLiteral("failures"), s.failures);
        if (s.deliveredAnswers > 0)
            o.insert(QStringLiteral("delivered"), s.deliveredAnswers);
        if (!s.source.isEmpty())
            o.insert(QStringLiteral("source"), s.source);
        if (!s.estimate.isEmpty())
            o.insert(QStringLiteral("estimate"), QString::fromLatin1(s.estimate));
        parcels.append(o);
    }
    QJsonObject root{{QStringLiteral("format"), formatName},
                     {QStringLiteral("version"), formatVersion},
                     {QStringLiteral("parcels"), parcels}};
    if (!ledger.backend.isEmpty())
        root.insert(QStringLiteral("backend"), ledger.backend);
    if (ledger.day.isValid()) {
        root.insert(QStringLiteral("day"), ledger.day.toString(Qt::ISODate));
        root.insert(QStringLiteral("spent"), ledger.spent);
    }
    return QJsonDocument(root).toJson(QJsonDocument::Compact);
}

std::optional<StateFile::Contents> StateFile::fromJson(const QByteArray& bytes) {
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    const QJsonObject root = doc.object();
    if (root.value(QStringLiteral("format")).toString() != formatName ||
        root.value(QStringLiteral("version")).toInt() != formatVersion ||
        !root.value(QStringLiteral("parcels")).isArray())
        return std::nullopt;
    Contents contents;
    contents.ledger.backend = root.value(QStringLiteral("backend")).toString();
    contents.ledger.day = QDate::fromString(root.value(QStringLiteral("day")).toString(), Qt::ISODate);
    if (contents.ledger.day.isValid())
        contents.ledger.spent = qMax(0, root.value(QStringLiteral("spent")).toInt());
    QHash<ParcelKey, ParcelState>& states = contents.states;
    for (const QJsonValue& v : root.value(QStringLiteral("parcels")).toArray()) {
        const QJsonObject o = v.toObject();
        const ParcelKey key{o.value(QStringLiteral("number")).toString(),
                            o.value(QStringLiteral("company")).toString()};
        // An entry without a number names no parcel: it is skipped, the rest is good.
        if (key.number.isEmpty())
            continue;
        ParcelState s;
        s.state = o.value(QStringLiteral("state")).toString();
        s.latest = {o.value(QStringLiteral("time")).toString(), o.value(QStringLiteral("progress")).toString()};
        s.askedAt = QDateTime::fromString(o.value(QStringLiteral("asked")).toString(), Qt::ISODate);
        s.trouble = o.value(QStringLiteral("trouble")).toString();
        s.unseen = o.value(QStringLiteral("unseen")).toBool();
        s.failures = qMax(0, o.value(QStringLiteral("failures")).toInt());
        s.deliveredAnswers = qMax(0, o.value(QStringLiteral("delivered")).toInt());
        s.source = o.value(QStringLiteral("source")).toString();
        s.estimate = o.value(QStringLiteral("estimate")).toString().toLatin1();
        states.insert(key, s);
    }
    return contents;
}

StateFile::Loaded StateFile::load(const QString& path) {
    Loaded loaded;
    tightenToOwner(path, true);
    // Never opened unless a regular file: a FIFO in its place would hang the start.
    const RegularFileRead file = readRegularFile(path);
    if (file.found == FileFound::Missing)
        return loaded;
    if (!file.ok())
        qWarning("zjx: cannot read %s: it %s; the watch starts without it", qPrintable(path), qPrintable(file.problem));
    if (std::optional<Contents> contents = fromJson(file.bytes)) {
        loaded.states = std::move(contents->states);
        loaded.ledger = contents->ledger;
        return loaded;
    }
    // Kept for whoever wants to look at it; the next save writes a good file in its place.
    QString aside = path + QStringLiteral(".damaged");
    for (int n = 2; QFileInfo::exists(aside); ++n)
        aside = path + QStringLiteral(".damaged.") + QString::number(n);
    if (QFile::rename(path, aside)) {
        keepToOwner(aside);
        loaded.keptAside = aside;
    }
    return loaded;
}

Result StateFile::save(const QString& path, const QHash<ParcelKey, ParcelState>& states, const WatchLedger& ledger) {
    return writeFileAtomically(path, toJson(states, ledger));
}

} // namespace zjx
