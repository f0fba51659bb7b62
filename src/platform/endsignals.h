#pragma once

#include <QObject>

class QSocketNotifier;

namespace zjx {

// SIGTERM, SIGINT and SIGHUP (the session logs out) end the program through its ordinary way
// out, which saves what it holds, instead of ending it on the spot. The handler only writes the
// signal's number to a pipe; the event loop reads it and says `received`.
class EndSignals : public QObject {
    Q_OBJECT
public:
    explicit EndSignals(QObject* parent = nullptr); // one at a time
    ~EndSignals() override;                          // the signals' default actions again

Q_SIGNALS:
    void received(int signalNumber);

private:
    void readPipe();

    QSocketNotifier* m_notifier = nullptr;
};

} // namespace zjx
