#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTimer>

namespace zjx {

// The program's own tracking service: zjx-service started as a child process on a free loopback
// port. Each running program has a private one, so users on one machine never share parcels or
// keys. The child is started without waiting; the first user of the network waits for its port
// only if it has not arrived yet. The child ends with the program, also when the program is
// killed (the kernel sends it SIGTERM when its parent dies). The service is private to this
// program: it serves only requests carrying a secret made here at each start and handed to the
// child over an inherited pipe (never on its command line or in its environment); the program's
// HttpClient adds it to every request to that address. A child that ends once it was ready is
// replaced by a new one (a new secret, a new port); until then HttpClient sends nothing to the
// old port, which anyone may take, and holds the requests meant for the service.
class GatewayChild : public QObject {
    Q_OBJECT
public:
    // Restarting: the ready child has ended and the next one starts after a pause.
    enum class State { NotStarted, Starting, Ready, Restarting, Failed };

    explicit GatewayChild(QObject* parent = nullptr);
    ~GatewayChild() override; // ends the child

    // Names the child (by default with "--host 127.0.0.1 --port 0"); start() runs it.
    void setProgram(const QString& program, const QStringList& arguments = defaultArguments());
    bool hasProgram() const { return !m_process->program().isEmpty(); }
    static QStringList defaultArguments();
    // The pauses before each new start of a child that ended; when the last has passed and its
    // child ended too, the service counts as failed. A child that served for a minute starts the
    // count afresh.
    void setRestartPauses(const QList<int>& msecs) { m_restartPauses = msecs; }
    static QList<int> defaultRestartPauses() { return {500, 1000, 2000, 4000, 8000}; }
    // Starts the named child and returns at once; does nothing once started.
    void start();
    void start(const QString& program, const QStringList& arguments = defaultArguments()) {
        setProgram(program, arguments);
        start();
    }

    // Waits up to `msecs` for the start-up line unless it is already in, starting the child first
    // if that has not happened yet; true when the service is ready. After the limit the child
    // counts as failed and is ended.
    bool waitForAddress(int msecs);

    State state() const { return m_state; }       // NotStarted also while a named child waits for start()
    QString address() const { return m_address; } // "HOST:PORT" once ready
    QString failure() const { return m_failure; } // why it could not start, plain Chinese, one line
    // The failure with everything the service said on stderr before it ended (several lines).
    QString failureDetail() const { return m_failureDetail; }
    qint64 processId() const;
    QByteArray secret() const { return m_secret; } // what the service asks for in X-Zjx-Secret

    // The browser was sent to `path` on the service: ending the program waits (up to `msecs`)
    // until the service has served it, or the page would never load.
    void expectVisit(const QString& path, int msecs = 10000);

    // Ends the child: SIGTERM, then SIGKILL if it does not go within a moment.
    void stop();
    // Ends a started child and starts it again with the same program and arguments (a changed
    // configuration file); its new address comes with `ready` as at the first start.
    void restart();

    // The "HOST:PORT" of a start-up line "zjx-service listening on http://HOST:PORT (...)";
    // empty when the line is not one.
    static QString addressFromLine(const QByteArray& line);

Q_SIGNALS:
    void ready(const QString& address);
    void failed(const QString& reason);
    // The child ended for `reason`; start number `attempt` follows in `pauseMs`.
    void restarting(const QString& reason, int attempt, int pauseMs);

private:
    void readOutput();
    void readComplaints();
    void onError(QProcess::ProcessError error);
    void onFinished(int exitCode, QProcess::ExitStatus status);
    // The child ended or could not start: it is started again while the pauses last, else failed.
    void ended(QString reason, bool wasReady);
    void startAgain();
    void noticeEnd();
    void forgetService();
    void endProcess();
    void fail(const QString& reason);
    // A pipe holding the secret, its read end open for the child only; -1 on failure.
    int makeSecretPipe();
    static int makeListeningSocket();
    void closePort();
    void noteVisit(const QByteArray& logLine);

    QProcess* m_process;
    QStringList m_arguments;
    QByteArray m_secret;
    QString m_failureDetail;
    QStringList m_complaints; // the service's last lines on stderr
    QString m_expectedVisit;  // a page the browser was sent to and has not fetched yet
    QDeadlineTimer m_visitDeadline;
    State m_state = State::NotStarted;
    QString m_address;
    QString m_failure;
    QByteArray m_pending; // output before the start-up line is complete
    QList<int> m_restartPauses = defaultRestartPauses();
    int m_restarts = 0;          // new starts since a child last served for a while
    QTimer* m_restartTimer;
    QElapsedTimer m_readySince;
    bool m_announced = false;    // HttpClient knows this child's address
    int m_portFd = -1;           // this program's copy of the child's listening socket
};

} // namespace zjx
