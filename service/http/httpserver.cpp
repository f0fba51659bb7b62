#include "httpserver.h"

#include "tcpstream.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <optional>

#include <sys/resource.h>
#include <unistd.h>

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

bool hexAt(QByteArrayView s, qsizetype at, int digits, int& value) {
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
QByteArray percentDecode(QByteArrayView s, bool plusIsSpace) {
    if (!s.contains('%') && !(plusIsSpace && s.contains('+')))
        return s.toByteArray(); // nothing to decode: most paths, keys and numbers
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

const char* reasonPhrase(int status) {
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

void appendNumber(QByteArray& out, qint64 n) {
    char digits[24];
    const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, n);
    out.append(digits, end - digits);
}

// The whole answer in one buffer: the head, then `body` (none for HEAD).
QByteArray responseBytes(int status, const QByteArray& body, bool withBody, const std::string& contentType, bool close,
                         const HeaderList& extra = {}) {
    qsizetype size = 128 + qsizetype(contentType.size()) + (withBody ? body.size() : 0);
    for (const auto& [name, value] : extra)
        size += qsizetype(name.size() + value.size()) + 4;
    QByteArray out;
    out.reserve(size);
    out += "HTTP/1.1 ";
    appendNumber(out, status);
    out += ' ';
    out += reasonPhrase(status);
    out += close ? "\r\nConnection: close\r\n" : "\r\nConnection: keep-alive\r\n";
    out += "Content-Length: ";
    appendNumber(out, body.size());
    out += "\r\n";
    if (!contentType.empty()) {
        out += "Content-Type: ";
        out.append(contentType.data(), qsizetype(contentType.size()));
        out += "\r\n";
    }
    // A line break in a header would split the answer: such a header is left out.
    for (const auto& [name, value] : extra) {
        if (name.find_first_of("\r\n:") != std::string::npos || value.find_first_of("\r\n") != std::string::npos)
            continue;
        out.append(name.data(), qsizetype(name.size()));
        out += ": ";
        out.append(value.data(), qsizetype(value.size()));
        out += "\r\n";
    }
    out += "\r\n";
    if (withBody)
        out += body;
    return out;
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
    const QByteArrayView view(t);
    const qsizetype question = view.indexOf('?');
    path = percentDecode(question < 0 ? view : view.first(question), false);
    query.clear();
    if (question < 0)
        return;
    for (qsizetype at = question + 1; at <= view.size();) {
        qsizetype end = view.indexOf('&', at);
        if (end < 0)
            end = view.size();
        const QByteArrayView piece = view.sliced(at, end - at);
        at = end + 1;
        if (piece.isEmpty())
            continue;
        const qsizetype eq = piece.indexOf('=');
        const QByteArrayView key = eq < 0 ? piece : piece.first(eq);
        const QByteArrayView value = eq < 0 ? QByteArrayView() : piece.sliced(eq + 1);
        query.append({QString::fromUtf8(percentDecode(key, true)), QString::fromUtf8(percentDecode(value, true))});
    }
}

QByteArray escapeForLog(const QByteArray& bytes) {
    const auto escaped = [](char c) { return isControl(c) || c == '\\' || uchar(c) > 0x7f || c == ' '; };
    if (std::none_of(bytes.begin(), bytes.end(), escaped))
        return bytes;
    QByteArray out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        if (escaped(c))
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

bool sameSecret(const QByteArray& expected, const QByteArray& given) {
    // Every byte of the expected secret is looked at whatever the given one holds, so the time
    // taken does not tell how much of a guess was right.
    unsigned diff = unsigned(expected.size() ^ given.size());
    for (qsizetype i = 0; i < expected.size(); ++i)
        diff |= uchar(expected[i]) ^ uchar(i < given.size() ? given[i] : ~expected[i]);
    return diff == 0 && !expected.isEmpty();
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

    // `overCap`: the server is full; the client is told 503 and let go.
    HttpConnection(HttpServer* server, int fd, bool overCap)
        : QObject(server), m_server(server), m_stream(new TcpStream(fd, this)), m_overCap(overCap) {
        m_timer.setSingleShot(true);
        connect(&m_timer, &QTimer::timeout, this, [this] { onTimeout(); });
        m_stream->onReadable = [this] { onReadable(); };
        m_stream->onWritten = [this] { onWritten(); };
        m_stream->onFailed = [this] { closeNow(); };
        m_peer = m_stream->peerAddress();
        enter(Phase::ReadingHead, server->limits().headTimeoutMs);
        if (overCap)
            refuse(503);
    }

    bool overCap() const { return m_overCap; }
    bool waitsFor(quint64 serial) const { return m_phase == Phase::Handling && serial == m_serial; }
    // Whether the client went away. A client that ended its sending side (even before its request
    // was read to the end) is asked once whether it still listens; see probe().
    bool peerGone() {
        if (m_phase == Phase::Closed || m_stream->peerGone())
            return true;
        if (m_phase == Phase::Handling && !m_probed && m_stream->peerEndPending()) {
            probe();
            return m_stream->peerGone();
        }
        return false;
    }
    qint64 waitedMs() const { return m_since.elapsed(); }
    // How long a connection that has not sent a whole request yet keeps its place; 0 for others.
    qint64 graceLeftMs() const {
        if (m_phase != Phase::ReadingHead || m_requests > 0)
            return 0;
        return std::max<qint64>(0, m_server->limits().silentGraceMs - waitedMs());
    }

    // Which connections make room for a newcomer first: 0 those that never sent a complete
    // request (or are closing anyway), then 1 the other idle or sending ones; -1 never: one whose
    // answer is being made, or one that proved the secret (a newcomer has proved nothing yet).
    int evictionClass() const {
        if (m_phase == Phase::Handling || m_phase == Phase::Closed || m_proven)
            return -1;
        return m_phase == Phase::Lingering || m_requests == 0 ? 0 : 1;
    }

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
        m_stream->close(); // the descriptor goes back now; the objects at the next turn
        m_server->forget(this);
        deleteLater();
    }

private:
    // `timeoutMs` 0: the phase has no time limit.
    void enter(Phase phase, int timeoutMs) {
        m_phase = phase;
        m_since.start();
        m_timeoutMs = timeoutMs;
        // A timer due sooner is left running and looks again when it fires: restarting it for
        // every request would cost two timer registrations an answer.
        if (const qint64 due = m_since.msecsSinceReference() + timeoutMs;
            timeoutMs > 0 && (!m_timer.isActive() || m_timerDue > due)) {
            m_timer.start(timeoutMs);
            m_timerDue = due;
        }
        updateReading();
    }

    // Input is taken while it fits the head buffer (pipelined requests wait there during an
    // answer); beyond that the kernel holds the client back.
    void updateReading() {
        m_stream->setReading(m_phase == Phase::Lingering ||
                             (m_phase != Phase::Closed && m_buffer.size() <= m_server->limits().maxHead));
    }

    void onTimeout() {
        if (m_timeoutMs <= 0)
            return;
        if (const qint64 left = m_timeoutMs - m_since.elapsed(); left > 0) { // the phase began after the timer
            m_timer.start(int(left));
            m_timerDue = m_since.msecsSinceReference() + m_timeoutMs;
            return;
        }
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
        const HttpLimits& limits = m_server->limits();
        if (m_phase == Phase::Lingering) {
            for (QByteArray dropped; !(dropped = m_stream->read(65536)).isEmpty();) {
                m_drained += dropped.size();
                if (m_drained > limits.lingerBytes)
                    return closeNow();
            }
            if (m_stream->peerEnded() || m_stream->failed())
                closeNow();
            return;
        }
        if (m_phase == Phase::Closed)
            return;
        const qint64 room = limits.maxHead + 1 - m_buffer.size();
        if (room > 0)
            m_buffer += m_stream->read(room);
        if (m_stream->failed())
            return closeNow();
        updateReading();
        if ((m_phase == Phase::ReadingHead || m_phase == Phase::Idle) && !m_buffer.isEmpty()) {
            if (m_phase == Phase::Idle)
                enter(Phase::ReadingHead, limits.headTimeoutMs);
            scanHead();
        }
        if (m_stream->peerEnded())
            onPeerEnded();
    }

    // The client has ended its sending side. One that sent a complete request may still read:
    // it gets its answer (and nothing after it).
    void onPeerEnded() {
        switch (m_phase) {
        case Phase::ReadingHead:
        case Phase::Idle:
            closeNow(); // no complete request can come any more
            break;
        case Phase::Handling:
            m_close = true;
            probe();
            break;
        case Phase::Sending:
            m_close = true;
            break;
        default:
            break;
        }
    }

    // A client that closed entirely cannot be told apart from one that only ended its side, except
    // by sending it something: an HTTP/1.1 client must accept an interim answer, and a closed one
    // makes its kernel reset the connection (on loopback before the write returns), which
    // peerGone() then sees, so no provider is asked for a client that has gone.
    void probe() {
        if (!m_http11 || m_probed)
            return;
        m_probed = true;
        m_close = true;
        m_stream->write("HTTP/1.1 100 Continue\r\n\r\n");
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
        request.peer = m_peer;
        if (!parseRequestLine(request, version)) {
            refuse(400);
            return;
        }
        m_method = request.method;
        m_target = request.target;
        m_http11 = version == "HTTP/1.1";
        m_close = m_close || !m_http11;
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
        if (const int status = m_server->screen(request); status != 0) {
            refuse(status);
            return;
        }
        ++m_requests;
        m_proven = m_proven || (request.admitted && m_server->hasSecret());
        enter(Phase::Handling, 0);
        auto state = std::make_shared<HttpResponder::State>();
        state->connection = this;
        state->serial = ++m_serial;
        m_server->dispatch(request, HttpResponder(std::move(state)));
    }

    void respond(int status, const QByteArray& body, const std::string& contentType, bool close,
                 const HeaderList& extra = {}) {
        m_close = m_close || close;
        // Head and body leave in one write: a small second segment would wait for the client's
        // delayed acknowledgement (40 ms for every answer after the first on a kept-alive connection).
        m_stream->write(responseBytes(status, body, m_method != "HEAD", contentType, m_close, extra));
        m_server->log(m_method, m_target, status, body.size());
        resetRequest();
        if (m_stream->bytesToWrite() > 0)
            enter(Phase::Sending, m_server->limits().sendTimeoutMs);
        else
            sent(); // the usual case: the whole answer is in the kernel already
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
        if (m_phase == Phase::Sending && m_stream->bytesToWrite() == 0)
            sent();
    }

    // The answer is out: the connection ends or waits for the next request.
    void sent() {
        if (m_close) {
            startLingering();
            return;
        }
        const HttpLimits& limits = m_server->limits();
        enter(m_buffer.isEmpty() ? Phase::Idle : Phase::ReadingHead,
              m_buffer.isEmpty() ? limits.idleTimeoutMs : limits.headTimeoutMs);
        // A pipelined request is already here: it is read from the event loop, so that many of
        // them never nest answer in answer.
        if (m_phase == Phase::ReadingHead)
            QMetaObject::invokeMethod(
                this,
                [this] {
                    if (m_phase == Phase::ReadingHead)
                        scanHead();
                },
                Qt::QueuedConnection);
    }

    // Closing at once while the client still sends would reset the connection and could destroy
    // the answer before the client reads it: end our side and drop what still comes, briefly.
    void startLingering() {
        m_buffer.clear();
        enter(Phase::Lingering, m_server->limits().lingerMs);
        m_stream->shutdownWrite();
        if (m_stream->peerEnded())
            closeNow();
    }

    HttpServer* m_server;
    TcpStream* m_stream;
    QHostAddress m_peer;
    const bool m_overCap;
    QTimer m_timer;
    qint64 m_timerDue = 0; // when m_timer fires, on m_since's clock
    QElapsedTimer m_since; // since the phase began
    int m_timeoutMs = 0;   // the phase's limit
    Phase m_phase = Phase::ReadingHead;
    QByteArray m_buffer;
    qsizetype m_scanned = 0;
    std::optional<QByteArray> m_requestLine;
    QList<QByteArray> m_headerLines;
    QByteArray m_method;
    QByteArray m_target;
    bool m_close = false;
    bool m_http11 = false;
    bool m_probed = false;
    bool m_proven = false; // a request on this connection carried the secret
    int m_requests = 0;    // complete requests taken
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

bool HttpResponder::stillWanted() const {
    return isOpen() && !m_state->connection->peerGone();
}

HttpServer::HttpServer(QObject* parent) : HttpServer(HttpLimits{}, parent) {}

HttpServer::HttpServer(const HttpLimits& limits, QObject* parent)
    : QObject(parent), m_limits(limits), m_listener(new TcpListener(this)) {
    m_listener->setAcceptsPerTurn(std::max(1, limits.acceptsPerTurn));
    m_listener->onAccepted = [this](int fd) { accept(fd); };
    m_listener->onRoomNeeded = [this] { return m_connections.size() < m_limits.maxConnections ? 0 : makeRoom(); };
}

HttpServer::~HttpServer() = default;

void HttpServer::route(const QByteArray& method, const QByteArray& path, HttpHandler handler, Access access) {
    m_routes.insert(method + ' ' + path, Route{std::move(handler), access});
}

HttpLimits fitToDescriptors(HttpLimits limits, qint64 descriptors) {
    if (descriptors <= 0)
        return limits;
    // The service's own files, event loop and provider connections (six per provider link).
    constexpr qint64 kReserve = 32;
    const qint64 forClients = std::max<qint64>(2, descriptors - kReserve);
    limits.maxRefusing = int(std::clamp<qint64>(forClients / 4, 1, limits.maxRefusing));
    limits.maxConnections = int(std::clamp<qint64>(forClients - limits.maxRefusing, 1, limits.maxConnections));
    // A newcomer must be read before the accepts that follow it in the same turn could make
    // room by dropping it.
    limits.acceptsPerTurn = std::clamp(limits.maxConnections / 4, 1, limits.acceptsPerTurn);
    return limits;
}

bool HttpServer::listen(const QHostAddress& host, quint16 port) {
    fitConnectionsToDescriptors();
    // A short backlog drops connections when many clients connect at once; each dropped one
    // waits a full second for the retry.
    return m_listener->listen(host, port, 1024);
}

bool HttpServer::adopt(int listeningFd) {
    fitConnectionsToDescriptors();
    return m_listener->adopt(listeningFd);
}

// More connections than descriptors would end in failing accepts instead of making room.
void HttpServer::fitConnectionsToDescriptors() {
    if (rlimit limit{}; ::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
        m_limits = fitToDescriptors(m_limits, qint64(std::min<rlim_t>(limit.rlim_cur, 1 << 30)));
        m_listener->setAcceptsPerTurn(std::max(1, m_limits.acceptsPerTurn));
    }
}

quint16 HttpServer::port() const {
    return m_listener->port();
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

void HttpServer::accept(int fd) {
    bool overCap = false;
    // No place could be made before the accept (see makeRoom).
    if (m_connections.size() >= m_limits.maxConnections) {
        // Every slot waits for an answer or belongs to the program: this client must come back
        // later. Past a few such refusals the next clients wait in the backlog instead.
        overCap = true;
        ++m_refusing;
        if (m_refusing >= m_limits.maxRefusing)
            m_listener->pause();
    }
    m_connections.append(new HttpConnection(this, fd, overCap));
}

// Drops the connection that is cheapest to lose: by class, then the one waiting longest. A
// connection still in its grace is kept, and the newcomer waits in the backlog for the first
// grace to end rather than take the place of one of a dearer class.
int HttpServer::makeRoom() {
    HttpConnection* victim = nullptr;
    int victimClass = 2;
    qint64 soonest = -1; // ms until the first grace ends
    for (const QPointer<HttpConnection>& c : std::as_const(m_connections)) {
        if (!c || c->overCap())
            continue;
        const int cls = c->evictionClass();
        if (cls < 0 || cls > victimClass)
            continue;
        if (const qint64 left = c->graceLeftMs(); left > 0) {
            soonest = soonest < 0 ? left : std::min(soonest, left);
            continue;
        }
        if (!victim || cls < victimClass || c->waitedMs() > victim->waitedMs()) {
            victim = c;
            victimClass = cls;
        }
    }
    // Only silent connections have a grace, and they go before the others.
    if (soonest > 0 && (!victim || victimClass > 0))
        return int(soonest);
    if (!victim)
        return -1;
    victim->closeNow();
    return 0;
}

bool HttpServer::hostIsOurs(const QByteArray& host) const {
    if (!m_ourHost.isEmpty() && host == m_ourHost) // every request of a client names the same host
        return true;
    QByteArray name = host;
    QByteArray portText;
    if (host.startsWith('[')) {
        const qsizetype end = host.indexOf(']');
        if (end < 0 || (end + 1 < host.size() && host[end + 1] != ':'))
            return false;
        name = host.mid(1, end - 1);
        portText = host.mid(end + 2);
    } else if (const qsizetype colon = host.lastIndexOf(':'); colon >= 0) {
        name = host.left(colon);
        portText = host.mid(colon + 1);
    }
    bool ok = true;
    const uint port = portText.isEmpty() ? 80 : portText.toUInt(&ok);
    if (!ok || port != m_listener->port() ||
        !std::all_of(portText.begin(), portText.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    QHostAddress address;
    if (name.isEmpty() || !address.setAddress(QString::fromLatin1(name)))
        return false;
    const QHostAddress ours = m_listener->address();
    if (ours == QHostAddress(QHostAddress::AnyIPv4) || ours == QHostAddress(QHostAddress::AnyIPv6) ||
        ours == QHostAddress(QHostAddress::Any))
        return true;
    return address.isEqual(ours, QHostAddress::TolerantConversion);
}

int HttpServer::screen(HttpRequest& request) const {
    int hosts = 0;
    QByteArray host;
    for (const auto& [name, value] : std::as_const(request.headers)) {
        if (name.compare("Host", Qt::CaseInsensitive) == 0) {
            ++hosts;
            host = value;
        } else if (name.compare("Origin", Qt::CaseInsensitive) == 0) {
            return 403; // a web page's script: it must not spend the user's quota
        }
    }
    if (hosts > 1)
        return 400;
    // A missing Host is no risk (browsers always send one); a wrong one may be a rebound name.
    if (hosts == 1 && !hostIsOurs(host))
        return 403;
    if (hosts == 1)
        m_ourHost = host;
    request.admitted = m_secret.isEmpty() || sameSecret(m_secret, request.header(kSecretHeader));
    if (request.admitted)
        return 0;
    auto it = m_routes.constFind(request.method + ' ' + request.path);
    if (it == m_routes.constEnd() && request.method == "HEAD")
        it = m_routes.constFind("GET " + request.path);
    return it != m_routes.constEnd() && it->access == Access::Private ? 403 : 0;
}

void HttpServer::dispatch(const HttpRequest& request, const HttpResponder& responder) {
    auto it = m_routes.constFind(request.method + ' ' + request.path);
    if (it == m_routes.constEnd() && request.method == "HEAD")
        it = m_routes.constFind("GET " + request.path);
    if (it == m_routes.constEnd()) {
        responder.send(Reply{404, "Not Found\n", "text/plain"});
        return;
    }
    it->handler(request, responder);
}

void HttpServer::log(const QByteArray& method, const QByteArray& target, int status, qint64 bytes) {
    if (!m_logSink)
        return;
    // The local time is worked out once a second, not for every line.
    if (const qint64 now = QDateTime::currentSecsSinceEpoch(); now != m_logSecond) {
        m_logSecond = now;
        m_logStamp = QDateTime::fromSecsSinceEpoch(now).toString(u"yyyy-MM-dd HH:mm:ss").toUtf8();
    }
    const QByteArray shownMethod = escapeForLog(method), shownTarget = escapeForLog(target);
    QByteArray line;
    line.reserve(m_logStamp.size() + shownMethod.size() + shownTarget.size() + 32);
    line += m_logStamp;
    line += ' ';
    line += shownMethod;
    line += ' ';
    line += shownTarget;
    line += ' ';
    appendNumber(line, status);
    line += ' ';
    appendNumber(line, bytes);
    m_logSink(line);
}

void HttpServer::forget(HttpConnection* connection) {
    if (connection->overCap())
        --m_refusing;
    m_connections.removeIf([connection](const QPointer<HttpConnection>& c) { return !c || c == connection; });
    // A descriptor or a slot is free again: take the connections that wait in the backlog.
    if (m_listener->paused())
        m_listener->resume();
}

} // namespace zjx::service
