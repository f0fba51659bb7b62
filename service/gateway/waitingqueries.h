#pragma once

#include "providerclient.h"

#include <QHash>
#include <QList>
#include <QString>

#include <algorithm>
#include <functional>
#include <utility>

namespace zjx::gateway {

// The upstream queries under way, each with the clients that wait for its answer: one query per
// key however many clients ask, a bound on the queries somebody still waits for, and clients that
// went away let go. Shared by the tracking and the recognition routes.
template <class Answer>
class WaitingQueries {
public:
    using Done = std::function<void(const Answer&)>;
    struct Waiter {
        Done done;
        Wanted wanted; // empty: always wanted
    };

    explicit WaitingQueries(int maxWanted) : m_maxWanted(std::max(1, maxWanted)) {}

    // Whether a query for `key` is under way; if so the client waits for it. Now and then the
    // clients that went away are answered `gone` and let go, so the list stays short.
    bool join(const QString& key, Waiter waiter, const Answer& gone) {
        const auto it = m_waiting.find(key);
        if (it == m_waiting.end())
            return false;
        it->append(std::move(waiter));
        if (const qsizetype n = it->size(); n >= 16 && (n & (n - 1)) == 0) {
            const auto firstGone = std::stable_partition(it->begin(), it->end(), isWanted);
            const QList<Waiter> left(firstGone, it->end());
            it->erase(firstGone, it->end());
            for (const Waiter& w : left)
                w.done(gone);
        }
        return true;
    }

    // Whether another query may start: fewer than the bound are still wanted (abandoned ones
    // cannot pile up either). When full, the link's abandoned requests are dropped first, which
    // frees their places at once.
    bool hasRoom(ProviderLink& link) {
        if (full())
            link.dropAbandoned();
        return !full();
    }

    void start(const QString& key, Waiter waiter) { m_waiting.insert(key, {std::move(waiter)}); }

    // Somebody still waits for the query of `key`.
    bool wanted(const QString& key) const {
        const auto it = m_waiting.constFind(key);
        return it != m_waiting.constEnd() && std::any_of(it->begin(), it->end(), isWanted);
    }

    // Ends the query of `key`: every client waiting for it gets `answer`.
    void answer(const QString& key, const Answer& answer) {
        const QList<Waiter> waiting = m_waiting.take(key);
        for (const Waiter& w : waiting)
            w.done(answer);
    }

private:
    static bool isWanted(const Waiter& w) { return !w.wanted || w.wanted(); }

    bool full() const {
        if (m_waiting.size() >= 4 * m_maxWanted)
            return true;
        int n = 0;
        for (auto it = m_waiting.constBegin(); it != m_waiting.constEnd(); ++it)
            n += wanted(it.key());
        return n >= m_maxWanted;
    }

    const int m_maxWanted;
    QHash<QString, QList<Waiter>> m_waiting;
};

} // namespace zjx::gateway
