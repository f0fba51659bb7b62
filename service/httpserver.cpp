#include "httpserver.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <cstring>
#include <optional>

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#endif

namespace zjx::service {

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool hexAt(const QByteArray& s, qsizetype at, int digits, int& value) {
    if (at + digits > s.size())
        return false;
    value = 0;
    for (int i = 0; i < digits; ++i) {
        const int h = hexValue(s[at + i]);
        if (h < 0)
            return false;
        value = value * 16 + h;
    }
    return true;
}

// %XX gives a byte; %uXXXX (an old browser spelling that the service has always taken) gives the
// UTF-8 of that unit. A "%" not followed by hex digits stays as it is.
QByteArray percentDecode(const QByteArray& s, bool plusIsSpace) {
    QByteArray out;
    out.reserve(s.size());
    for (qsizetype i = 0; i < s.size(); ++i) {
        const char c = s[i];
        int value = 0;
        if (c == '%' && i + 1 < s.size() && s[i + 1] == 'u' && hexAt(s, i + 2, 4, value)) {
            out += QString(QChar(char16_t(value))).toUtf8();
            i += 5;
        } else if (c == '%' && hexAt(s, i + 1, 2, value)) {
            out += char(value);
            i += 2;
        } else {
            out += plusIsSpace && c == '+' ? ' ' : c;
        }
    }
    return out;
}

bool isTokenChar(char c) {
    static const char kMarks[] = "!#$%&'*+-.^_`|~";
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           (c != '\0' && std::strchr(kMarks, c) != nullptr);
}

bool isToken(const QByteArray& s) {
    return !s.isEmpty() && std::all_of(s.begin(), s.end(), isTokenChar);
}

bool isControl(char c) {
    return uchar(c) < 0x20 || uchar(c) == 0x7f;
}

QByteArray reasonPhrase(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 408:
        return "Request Timeout";
    case 413:
        return "Payload Too Large";
    case 414:
        return "URI Too Long";
    case 429:
        return "Too Many Requests";
    case 431:
        return "Request Header Fields Too Large";
    case 500:
        return "Internal Server Error";
    case 501:
        return "Not Implemented";
    case 502:
        return "Bad Gateway";
    case 503:
        return "Service Unavailable";
    case 504:
        return "Gateway Timeout";
    default:
        return "Status";
    }
}

using HeaderList = std::vector<std::pair<std::string, std::string>>;

QByteArray responseHead(int status, qint64 length, const std::string& contentType, bool close,
                        const HeaderList& extra = {}) {
    QByteArray head = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reasonPhrase(status) + "\r\n";
    head += close ? "Connection: close\r\n" : "Connection: keep-alive\r\n";
    head += "Content-Length: " + QByteArray::number(length) + "\r\n";
    if (!contentType.empty())
        head += "Content-Type: " + QByteArray::fromStdString(contentType) + "\r\n";
    // A line break in a header would split the answer: such a header is left out.
    for (const auto& [name, value] : extra)
        if (name.find_first_of("\r\n:") == std::string::npos && value.find_first_of("\r\n") == std::string::npos)
            head += QByteArray::fromStdString(name) + ": " + QByteArray::fromStdString(value) + "\r\n";
    return head + "\r\n";
}

} // namespace

void splitTarget(const QByteArray& target, QByteArray& path, QList<std::pair<QString, QString>>& query) {
    QByteArray t = target;
    // Absolute form, as sent to proxies: only the path and query count here.
    if (const qsizetype scheme = t.indexOf("://"); scheme > 0 && !t.startsWith('/') && isToken(t.left(scheme))) {
        const qsizetype slash = t.indexOf('/', scheme + 3);
        const qsizetype question = t.indexOf('?', scheme + 3);
        if (slash >= 0 && (question < 0 || slash < question))
            t = t.mid(slash);
        else
            t = "/" + (question >= 0 ? t.mid(question) : QByteArray());
    }
    // Only the first "?" ends the path: later ones belong to the values.
    const qsizetype question = t.indexOf('?');
    path = percentDecode(question < 0 ? t : t.left(question), false);
    query.clear();
    if (question < 0)
        return;
    for (const QByteArray& piece : t.mid(question + 1).split('&')) {
        if (piece.isEmpty())
            continue;
        const qsizetype eq = piece.indexOf('=');
        const QByteArray key = eq < 0 ? piece : piece.left(eq);
        const QByteArray value = eq < 0 ? QByteArray() : piece.mid(eq + 1);
        query.append({QString::fromUtf8(percentDecode(key, true)), QString::fromUtf8(percentDecode(value, true))});
    }
}

QByteArray escapeForLog(const QByteArray& bytes) {
    QByteArray out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        if (isControl(c) || c == '\\' || uchar(c) > 0x7f || c == ' ')
            out += "\\x" + QByteArray::number(uchar(c), 16).rightJustified(2, '0');
        else
            out += c;
    }
    return out;
}

QString HttpRequest::param(const char* key) const {
    const QString k = QString::fromUtf8(key);
    for (const auto& [name, value] : query)
        if (name == k)
            return value;
    return {};
}

bool HttpRequest::hasParam(const char* key) const {
    const QString k = QString::fromUtf8(key);
    return std::any_of(query.begin(), query.end(), [&](const auto& pair) { return pair.first == k; });
}

QByteArray HttpRequest::header(const QByteArray& name) const {
    for (const auto& [n, value] : headers)
        if (n.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    return {};
}

class HttpConnection;

struct HttpResponder::State {
    QPointer<HttpConnection> connection;
    quint64 serial = 0;
    bool done = false;
    ~State();
};

// One client connection: reads one request head at a time, answers it, then the next.
class HttpConnection : public QObject {
public:
    enum class Phase { ReadingHead, Idle, Handling, Sending, Lingering, Closed };

    HttpConnection(HttpServer* server, QTcpSocket* socket) : QObject(server), m_server(server), m_socket(socket) {
        const HttpLimits& limits = server->limits();
        socket->setParent(this);
        // Qt reads no further ahead than this, so the kernel holds back a client that floods.
        socket->setReadBufferSize(limits.maxHead);
        m_timer.setSingleShot(true);
        connect(&m_timer, &QTimer::timeout, this, [this] { onTimeout(); });
        connect(socket, &QTcpSocket::readyRead, this, [this] { onReadable(); });
        connect(socket, &QTcpSocket::bytesWritten, this, [this] { onWritten(); });
        connect(socket, &QTcpSocket::disconnected, this, [this] { closeNow(); });
        connect(socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
            if (error != QAbstractSocket::RemoteHostClosedError || m_phase != Phase::Lingering)
                closeNow();
        });
        enter(Phase::ReadingHead, limits.headTimeoutMs);
        onReadable();
    }
    ~HttpConnection() override { m_socket->disconnect(this); }

    bool waitsFor(quint64 serial) const { return m_phase == Phase::Handling && serial == m_serial; }
    qint64 waitedMs() const { return m_since.elapsed(); }
    bool evictable() const { return m_phase != Phase::Handling && m_phase != Phase::Closed; }

    void answer(quint64 serial, const Reply& reply) {
        if (!waitsFor(serial))
            return;
        respond(reply.status, reply.body, reply.contentType, m_close, reply.headers);
    }

    void closeNow() {
        if (m_phase == Phase::Closed)
            return;
        m_phase = Phase::Closed;
        m_timer.stop();
        m_socket->disconnect(this);
        m_socket->abort();
        m_server->forget(this);
        deleteLater();
    }

private:
    void enter(Phase phase, int timeoutMs) {
        m_phase = phase;
        m_since.start();
        if (timeoutMs > 0)
            m_timer.start(timeoutMs);
        else
            m_timer.stop();
    }

    void onTimeout() {
        switch (m_phase) {
        case Phase::ReadingHead:
            if (!m_buffer.isEmpty() || m_requestLine.has_value()) {
                refuse(408);
                return;
            }
            break;
        case Phase::Handling:
        case Phase::Closed:
            return;
        default:
            break;
        }
        closeNow();
    }

    void onReadable() {
        if (m_phase == Phase::Lingering) {
            m_drained += m_socket->skip(m_socket->bytesAvailable());
            if (m_drained > m_server->limits().lingerBytes)
                closeNow();
            return;
        }
        if (m_phase != Phase::ReadingHead && m_phase != Phase::Idle)
            return; // the rest waits in the socket until the current answer is out
        const HttpLimits& limits = m_server->limits();
        const qint64 room = limits.maxHead + 1 - m_buffer.size();
        if (room > 0 && m_socket->bytesAvailable() > 0)
            m_buffer += m_socket->read(room);
        if (m_buffer.isEmpty())
            return;
        if (m_phase == Phase::Idle)
            enter(Phase::ReadingHead, limits.headTimeoutMs);
        scanHead();
    }

    // Looks at the complete lines received so far; refuses as soon as a limit is passed.
    void scanHead() {
        const HttpLimits& limits = m_server->limits();
        while (m_phase == Phase::ReadingHead) {
            const qsizetype lf = m_buffer.indexOf('\n', m_scanned);
            if (lf < 0) {
                const qsizetype partial = m_buffer.size() - m_scanned;
                if (!m_requestLine && partial > limits.maxRequestLine)
                    refuse(414);
                else if (m_buffer.size() > limits.maxHead)
                    refuse(431);
                return;
            }
            QByteArray line = m_buffer.mid(m_scanned, lf - m_scanned);
            m_scanned = lf + 1;
            if (line.endsWith('\r'))
                line.chop(1);
            if (!m_requestLine) {
                if (line.isEmpty()) { // empty lines before a request are allowed
                    m_buffer.remove(0, m_scanned);
                    m_scanned = 0;
                    continue;
                }
                if (line.size() > limits.maxRequestLine) {
                    refuse(414);
                    return;
                }
                m_requestLine = line;
            } else if (line.isEmpty()) {
                m_buffer.remove(0, m_scanned);
                m_scanned = 0;
                handleHead();
                return;
            } else if (int(m_headerLines.size()) >= limits.maxHeaders) {
                refuse(431);
                return;
            } else {
                m_headerLines.append(line);
            }
            if (m_scanned > limits.maxHead) {
                refuse(431);
                return;
            }
        }
    }

    bool parseRequestLine(HttpRequest& request, QByteArray& version) const {
        const QList<QByteArray> parts = m_requestLine->split(' ');
        if (parts.size() >= 1)
            request.method = parts[0];
        if (parts.size() >= 2)
            request.target = parts[1];
        if (parts.size() != 3 || !isToken(parts[0]) || parts[1].isEmpty())
            return false;
        version = parts[2];
        if (version != "HTTP/1.1" && version != "HTTP/1.0")
            return false;
        return std::none_of(parts[1].begin(), parts[1].end(), isControl);
    }

    void handleHead() {
        HttpRequest request;
        QByteArray version;
        request.peer = m_socket->peerAddress();
        if (!parseRequestLine(request, version)) {
            refuse(400);
            return;
        }
        m_method = request.method;
        m_target = request.target;
        m_close = version == "HTTP/1.0";
        bool bodyAnnounced = false;
        for (const QByteArray& line : std::as_const(m_headerLines)) {
            const qsizetype colon = line.indexOf(':');
            const QByteArray name = colon < 0 ? QByteArray() : line.left(colon);
            const QByteArray value = colon < 0 ? QByteArray() : line.mid(colon + 1).trimmed();
            if (!isToken(name) ||
                std::any_of(value.begin(), value.end(), [](char c) { return isControl(c) && c != '\t'; })) {
                refuse(400);
                return;
            }
            if (name.compare("Content-Length", Qt::CaseInsensitive) == 0) {
                bool ok = false;
                const qulonglong length = value.toULongLong(&ok);
                if (!ok || !std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; })) {
                    refuse(400);
                    return;
                }
                bodyAnnounced = bodyAnnounced || length > 0;
            } else if (name.compare("Transfer-Encoding", Qt::CaseInsensitive) == 0) {
                bodyAnnounced = true;
            } else if (name.compare("Connection", Qt::CaseInsensitive) == 0) {
                for (const QByteArray& option : value.split(','))
                    if (option.trimmed().compare("close", Qt::CaseInsensitive) == 0)
                        m_close = true;
            }
            request.headers.append({name, value});
        }
        // No route takes a body: refuse it at once instead of reading (or buffering) it.
        if (bodyAnnounced) {
            refuse(413);
            return;
        }
        splitTarget(request.target, request.path, request.query);
        enter(Phase::Handling, 0);
        auto state = std::make_shared<HttpResponder::State>();
        state->connection = this;
        state->serial = ++m_serial;
        m_server->dispatch(request, HttpResponder(std::move(state)));
    }

    void respond(int status, const QByteArray& body, const std::string& contentType, bool close,
                 const HeaderList& extra = {}) {
        m_close = m_close || close;
        const bool head = m_method == "HEAD";
        m_socket->write(responseHead(status, body.size(), contentType, m_close, extra));
        if (!head)
            m_socket->write(body);
        m_server->log(m_method, m_target, status, body.size());
        resetRequest();
        enter(Phase::Sending, m_server->limits().sendTimeoutMs);
    }

    // Answers with an empty body and closes; the log shows as much of the request line as came.
    void refuse(int status) {
        const QList<QByteArray> parts = m_requestLine ? m_requestLine->split(' ') : QList<QByteArray>();
        m_method = parts.size() > 0 && !parts[0].isEmpty() ? parts[0] : QByteArray("-");
        m_target = parts.size() > 1 && !parts[1].isEmpty() ? parts[1] : QByteArray("-");
        m_close = true;
        respond(status, {}, {}, true);
    }

    void resetRequest() {
        m_requestLine.reset();
        m_headerLines.clear();
        m_scanned = 0;
        m_method.clear();
        m_target.clear();
    }

    void onWritten() {
        if (m_phase != Phase::Sending || m_socket->bytesToWrite() > 0)
            return;
        if (m_close) {
            startLingering();
            return;
        }
        enter(m_buffer.isEmpty() && m_socket->bytesAvailable() == 0 ? Phase::Idle : Phase::ReadingHead,
              m_buffer.isEmpty() ? m_server->limits().idleTimeoutMs : m_server->limits().headTimeoutMs);
        if (m_phase == Phase::ReadingHead) // a pipelined request is already here
            scanHead();
        if (m_phase == Phase::ReadingHead || m_phase == Phase::Idle)
            onReadable();
    }

    // Closing at once while the client still sends would reset the connection and could destroy
    // the answer before the client reads it: end our side and drop what still comes, briefly.
    void startLingering() {
        m_buffer.clear();
        enter(Phase::Lingering, m_server->limits().lingerMs);
#ifdef Q_OS_UNIX
        ::shutdown(int(m_socket->socketDescriptor()), SHUT_WR);
#endif
        onReadable();
    }

    HttpServer* m_server;
    QTcpSocket* m_socket;
    QTimer m_timer;
    QElapsedTimer m_since;
    Phase m_phase = Phase::ReadingHead;
    QByteArray m_buffer;
    qsizetype m_scanned = 0;
    std::optional<QByteArray> m_requestLine;
    QList<QByteArray> m_headerLines;
    QByteArray m_method;
    QByteArray m_target;
    bool m_close = false;
    quint64 m_serial = 0;
    qint64 m_drained = 0;
};

HttpResponder::State::~State() {
    if (!done && connection)
        connection->answer(serial, Reply{500, {}, {}});
}

void HttpResponder::send(const Reply& reply) const {
    if (!m_state || m_state->done)
        return;
    m_state->done = true;
    if (m_state->connection)
        m_state->connection->answer(m_state->serial, reply);
}

bool HttpResponder::isOpen() const {
    return m_state && !m_state->done && m_state->connection && m_state->connection->waitsFor(m_state->serial);
}

HttpServer::HttpServer(QObject* parent) : HttpServer(HttpLimits{}, parent) {}

HttpServer::HttpServer(const HttpLimits& limits, QObject* parent)
    : QObject(parent), m_limits(limits), m_listener(new QTcpServer(this)) {
    connect(m_listener, &QTcpServer::newConnection, this, &HttpServer::acceptPending);
    // Out of descriptors: Qt stops accepting; try again shortly instead of never.
    connect(m_listener, &QTcpServer::acceptError, this,
            [this] { QTimer::singleShot(200, this, [this] { m_listener->resumeAccepting(); }); });
}

HttpServer::~HttpServer() = default;

void HttpServer::route(const QByteArray& method, const QByteArray& path, HttpHandler handler) {
    m_routes.insert(method + ' ' + path, std::move(handler));
}

bool HttpServer::listen(const QHostAddress& host, quint16 port) {
    // QTcpServer sets SO_REUSEADDR (a restart need not wait for old connections) but not
    // SO_REUSEPORT, so a second service cannot share the port unnoticed.
    // Qt's default backlog of 50 drops connections when many clients connect at once; each dropped
    // one waits a full second for the retry.
    m_listener->setListenBacklogSize(1024);
    return m_listener->listen(host, port);
}

quint16 HttpServer::port() const {
    return m_listener->serverPort();
}

QString HttpServer::errorString() const {
    return m_listener->errorString();
}

void HttpServer::setLogSink(std::function<void(const QByteArray&)> sink) {
    m_logSink = std::move(sink);
}

int HttpServer::connectionCount() const {
    return int(m_connections.size());
}

void HttpServer::acceptPending() {
    while (QTcpSocket* socket = m_listener->nextPendingConnection()) {
        if (m_connections.size() >= m_limits.maxConnections && !makeRoom()) {
            // Every slot waits for an answer being made: this client must come back later.
            socket->write(responseHead(503, 0, {}, true));
            socket->disconnectFromHost();
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            QTimer::singleShot(m_limits.lingerMs, socket, [socket] { socket->abort(); });
            log("-", "-", 503, 0);
            continue;
        }
        m_connections.append(new HttpConnection(this, socket));
    }
}

// Drops the connection that has waited longest without a request being answered for it.
bool HttpServer::makeRoom() {
    HttpConnection* victim = nullptr;
    for (const QPointer<HttpConnection>& c : std::as_const(m_connections))
        if (c && c->evictable() && (!victim || c->waitedMs() > victim->waitedMs()))
            victim = c;
    if (!victim)
        return false;
    victim->closeNow();
    return true;
}

void HttpServer::dispatch(const HttpRequest& request, const HttpResponder& responder) {
    auto it = m_routes.constFind(request.method + ' ' + request.path);
    if (it == m_routes.constEnd() && request.method == "HEAD")
        it = m_routes.constFind("GET " + request.path);
    if (it == m_routes.constEnd()) {
        responder.send(Reply{404, "Not Found\n", "text/plain"});
        return;
    }
    it.value()(request, responder);
}

void HttpServer::log(const QByteArray& method, const QByteArray& target, int status, qint64 bytes) {
    if (!m_logSink)
        return;
    m_logSink(QDateTime::currentDateTime().toString(u"yyyy-MM-dd HH:mm:ss").toUtf8() + ' ' + escapeForLog(method) +
              ' ' + escapeForLog(target) + ' ' + QByteArray::number(status) + ' ' + QByteArray::number(bytes));
}

void HttpServer::forget(HttpConnection* connection) {
    m_connections.removeIf([connection](const QPointer<HttpConnection>& c) { return !c || c == connection; });
}

} // namespace zjx::service
