#pragma once

// A small HTTP/1.1 server on the Qt event loop: one thread, any number of slow clients.
// Every request is read under firm limits (time, head size, header count; no bodies), so a
// hostile client costs a socket and a few kilobytes at most, and never holds up the others.
// With a secret set, only requests that carry it reach the private routes: the service then
// belongs to the program that started it, not to every user of the machine.

#include "reply.h"

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>
#include <utility>

namespace zjx::service {

struct HttpLimits {
    int headTimeoutMs = 10000;    // the whole request head, from its first byte (or from accept)
    int idleTimeoutMs = 5000;     // a kept-alive connection waiting for its next request
    int sendTimeoutMs = 10000;    // a client that does not take its answer
    int lingerMs = 1000;          // reading and dropping what a refused client still sends
    qint64 lingerBytes = 1 << 20; // ... and at most this much of it
    int maxRequestLine = 8192;    // longer: 414
    int maxHead = 16384;          // request line and headers together; longer: 431
    int maxHeaders = 100;         // more: 431
    int maxConnections = 1024;    // at the cap a connection that has not proved the secret makes room
    int acceptsPerTurn = 32;      // new connections taken per event-loop turn
    int maxRefusing = 64;         // connections over the cap being told 503; beyond, new ones wait
    // A connection that has not sent a whole request yet keeps its place this long before a
    // newcomer may take it: the program's own connection is silent between its connect and its
    // request, and a flood that reconnects at once must not push it out in that moment.
    int silentGraceMs = 40;
};

// `limits` with the connection caps made to fit a process that may hold `descriptors` files
// (0: no limit): a reserve for the service's own files and provider connections, then the
// connections being told 503, then the others; at least one of each, whatever the limit.
HttpLimits fitToDescriptors(HttpLimits limits, qint64 descriptors);

// The request header that carries the secret of the program that started the service.
inline constexpr char kSecretHeader[] = "X-Zjx-Secret";

// Equal bytes, in a time that depends on the length of `expected` only.
bool sameSecret(const QByteArray& expected, const QByteArray& given);

struct HttpRequest {
    QByteArray method;                        // "GET", "HEAD", ...
    QByteArray target;                        // the request target as received, e.g. "/?com=a&nu=1?2"
    QByteArray path;                          // decoded path part
    QList<std::pair<QString, QString>> query; // decoded query pairs in order (UTF-8, %XX and '+' handled)
    QList<std::pair<QByteArray, QByteArray>> headers;
    QHostAddress peer;
    bool admitted = false; // carried the service's secret, or the service has none

    QString param(const char* key) const; // first value, or empty
    bool hasParam(const char* key) const;
    QByteArray header(const QByteArray& name) const; // first value, name compared without case
};

// Splits a request target the way the server does: the path ends at the first "?", the query
// is cut at "&" and each piece at its first "="; "+" is a space, %XX a byte, %uXXXX a UTF-16
// unit, and the bytes are read as UTF-8. Absolute targets ("http://host/path") give their path.
void splitTarget(const QByteArray& target, QByteArray& path, QList<std::pair<QString, QString>>& query);

// Control characters, "\" and bytes above 127 as \xHH, so a log line stays one plain line.
QByteArray escapeForLog(const QByteArray& bytes);

class HttpConnection;

// Answers one request. Copies share the request: the first send() wins, later ones are ignored,
// and send() after the client went away does nothing. When the last copy is dropped without an
// answer the client gets a 500, so a forgotten answer cannot hang a connection.
class HttpResponder {
public:
    HttpResponder() = default;
    void send(const Reply& reply) const;
    bool isOpen() const;
    // Someone still waits for this answer: not yet sent, and the client has not gone away (a
    // client that only ended its sending side still waits).
    bool stillWanted() const;

private:
    friend class HttpConnection;
    struct State;
    explicit HttpResponder(std::shared_ptr<State> state) : m_state(std::move(state)) {}
    std::shared_ptr<State> m_state;
};

using HttpHandler = std::function<void(const HttpRequest&, const HttpResponder&)>;

class HttpServer : public QObject {
    Q_OBJECT

public:
    explicit HttpServer(QObject* parent = nullptr);
    explicit HttpServer(const HttpLimits& limits, QObject* parent = nullptr);
    ~HttpServer() override;

    // Who may use a route: Private ones need the secret (when one is set); Open ones are for the
    // browser, which cannot send it, so they must hold no user data and cost nothing.
    enum class Access { Private, Open };
    // Exact path match on the decoded path; a GET route answers HEAD too (without the body).
    void route(const QByteArray& method, const QByteArray& path, HttpHandler handler, Access access = Access::Private);
    // Requests without this value in X-Zjx-Secret get 403 from private routes; empty: none needed.
    void setSecret(const QByteArray& secret) { m_secret = secret; }
    bool hasSecret() const { return !m_secret.isEmpty(); }
    bool listen(const QHostAddress& host, quint16 port); // port 0 takes a free one
    bool adopt(int listeningFd);                         // a socket handed over, already listening
    quint16 port() const;
    QString errorString() const;
    // Whether a Host header names this server: an address literal (never a name, which could
    // be rebound to another address) equal to the listening one, and the listening port.
    bool hostIsOurs(const QByteArray& host) const;
    // One line per answered or refused request: "DATE TIME METHOD TARGET STATUS BYTES", no line break.
    void setLogSink(std::function<void(const QByteArray& line)> sink);

    int connectionCount() const;
    const HttpLimits& limits() const { return m_limits; }

private:
    friend class HttpConnection;
    struct Route {
        HttpHandler handler;
        Access access = Access::Private;
    };
    void accept(int fd);
    // Before a connection is taken from the backlog at the cap: 0 a place was made, > 0 the
    // milliseconds until one can be (the newcomer waits in the backlog), -1 none can be.
    int makeRoom();
    // The status that refuses the request before any route sees it, or 0.
    int screen(HttpRequest& request) const;
    void dispatch(const HttpRequest& request, const HttpResponder& responder);
    void log(const QByteArray& method, const QByteArray& target, int status, qint64 bytes);
    void forget(HttpConnection* connection);

    HttpLimits m_limits;
    void fitConnectionsToDescriptors();
    class TcpListener* m_listener;
    QByteArray m_secret;
    int m_refusing = 0;                // connections over the cap, being told 503
    QHash<QByteArray, Route> m_routes; // key: method + ' ' + path
    std::function<void(const QByteArray&)> m_logSink;
    mutable QByteArray m_ourHost; // the last Host value found to name this server
    qint64 m_logSecond = -1;
    QByteArray m_logStamp;                         // the local time of m_logSecond as the log shows it
    QList<QPointer<HttpConnection>> m_connections; // oldest first
};

} // namespace zjx::service
