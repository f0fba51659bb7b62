#pragma once

#include <QObject>
#include <QString>
#include <QtGlobal>
#include <optional>
#include <utility>

namespace zjx {

// One tracking query at a time: the answer and the parse's pending work, why the last request got
// no answer, and a timed or loop re-query that fell due while the query was busy. Whoever waits
// for the query to be over listens to `finished` instead of looking again and again.
class QuerySession : public QObject {
    Q_OBJECT
public:
    explicit QuerySession(QObject* parent = nullptr) : QObject(parent) {}

    QString answerText;
    qint16 rowCount = 0;
    qint16 cellIndex = 0;  // kept by name and reset with the parse state; nothing reads it
    QString transferError; // why the last request got no answer; empty when it got one

    // In flight while its request waits or its parse is due; a second query must not start then.
    // The version check's request is no query: the HTTP client says when any request waits.
    bool inFlight() const { return m_requestWaiting || m_parsePending; }

    // A new query: the pending parse state is dropped.
    void begin();
    void requestStarted() { m_requestWaiting = true; }
    // The request's outcome: the answer, or the reason there is none.
    void answer(const QString& text);
    void fail(const QString& reason);
    // The answer holds rows: their parse is due shortly.
    void parseDue() { m_parsePending = true; }
    // The parse state back to empty, as after a parse.
    void reset();
    // The parse has filled the progress list.
    void markParsed() {
        m_parsePending = false;
        Q_EMIT parsed();
    }
    // The query is over: its answer is shown, or it ended without one.
    void finish() { Q_EMIT finished(); }

    // A re-query that must wait for the query (or a box) to be over. `run` tells whether its mode
    // was stopped or restarted meanwhile.
    struct Requery {
        int mode = 0;
        quint32 run = 0;
    };
    const std::optional<Requery>& pendingRequery() const { return m_pending; }
    void setPendingRequery(int mode, quint32 run) { m_pending = Requery{mode, run}; }
    std::optional<Requery> takePendingRequery() { return std::exchange(m_pending, std::nullopt); }

Q_SIGNALS:
    void answered();
    void parsed();
    void finished();

private:
    std::optional<Requery> m_pending;
    bool m_requestWaiting = false;
    bool m_parsePending = false;
};

} // namespace zjx
