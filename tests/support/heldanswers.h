#pragma once
// Answers the test server holds back until the test lets them go. A query stays on its way for
// exactly as long as the test needs, so what the test does "while it is on its way" happens then
// on any machine, instead of in a guessed time raced against a sleeping server.

#include "support/testserver.h"

#include <QCoreApplication>
#include <QList>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

namespace zjx::test {

class HeldAnswers {
public:
    HeldAnswers() = default;
    HeldAnswers(const HeldAnswers&) = delete;
    HeldAnswers& operator=(const HeldAnswers&) = delete;
    // Lets everything go, so that a test ending early never leaves a server thread waiting.
    ~HeldAnswers() { release(); }

    // A handler that waits (on the server's thread) until release() before answering as `answer`
    // does. The wait gives up after 20 seconds so that a broken test ends.
    TestServer::Handler holding(TestServer::Handler answer) const {
        return [gate = m_gate, answer = std::move(answer)](const RecordedRequest& request) {
            std::unique_lock lock(gate->mutex);
            gate->opened.wait_for(lock, std::chrono::seconds(20), [&gate] { return gate->released; });
            lock.unlock();
            return answer(request);
        };
    }

    void release() const {
        {
            const std::lock_guard lock(m_gate->mutex);
            m_gate->released = true;
        }
        m_gate->opened.notify_all();
    }

private:
    struct Gate {
        std::mutex mutex;
        std::condition_variable opened;
        bool released = false;
    };
    // Shared with the handlers, which may still be waking when the test's object is gone.
    std::shared_ptr<Gate> m_gate = std::make_shared<Gate>();
};

// Once `ready` holds (looked at every 5 ms by the running event loop, a nested one included), runs
// `steps` one per turn of the loop, so that each sees what the one before caused.
inline void onceReady(QObject* context, std::function<bool()> ready, QList<std::function<void()>> steps) {
    auto* poll = new QTimer(context);
    poll->setInterval(5);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, ready = std::move(ready), steps = std::move(steps),
                                                      started = false]() mutable {
        if (!started && !ready())
            return;
        started = true;
        // Stopped while a step runs: a step that waits in an event loop of its own does not see the
        // next step run inside it.
        poll->stop();
        if (!steps.isEmpty())
            steps.takeFirst()();
        if (steps.isEmpty()) {
            poll->deleteLater();
        } else {
            poll->setInterval(0);
            poll->start();
        }
    });
    poll->start();
}

} // namespace zjx::test
