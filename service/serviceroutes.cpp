#include "serviceroutes.h"

#include "branchpages.h"
#include "servicehelp.h"

#include <QDateTime>

namespace zjx::service {

void addServiceRoutes(HttpServer& server, TrackingDesk& desk, const QByteArray& version) {
    addServiceRoutes(
        server,
        [&desk](const QString& code, const QString& number, const QString& key, const HttpResponder& out) {
            out.send(desk.answer(code, number, key, QDateTime::currentDateTime()));
        },
        version);
}

void addServiceRoutes(HttpServer& server, TrackingHandler tracking, const QByteArray& version) {
    // The overview is open (the program's menu shows it in the browser); a tracking request on
    // the same path is not.
    server.route(
        "GET", "/",
        [tracking, help = helpText().toUtf8()](const HttpRequest& req, const HttpResponder& out) {
            if (!req.hasParam("com")) {
                out.send(Reply{200, help, "text/plain; charset=utf-8"});
                return;
            }
            if (!req.admitted) {
                out.send(Reply{403, {}, {}});
                return;
            }
            tracking(req.param("com"), req.param("nu"), req.param("id"), out);
        },
        HttpServer::Access::Open);
    // Fixed pages for the browser, which cannot send the secret: they hold no user data and
    // cost no provider query.
    for (const QByteArray& path : localPagePaths())
        server.route(
            "GET", path,
            [page = localPage(path)](const HttpRequest&, const HttpResponder& out) {
                out.send(Reply{200,
                               page,
                               "text/html; charset=utf-8",
                               {{"Content-Security-Policy", "default-src 'none'; style-src 'unsafe-inline'"},
                                {"X-Content-Type-Options", "nosniff"},
                                {"Referrer-Policy", "no-referrer"}}});
            },
            HttpServer::Access::Open);
    server.route("GET", "/tansoftjc/zjx/jc.txt", [version](const HttpRequest&, const HttpResponder& out) {
        out.send(Reply{200, version, "text/plain"});
    });
    server.route("GET", "/query_list.asp", [](const HttpRequest& req, const HttpResponder& out) {
        out.send(Reply{200, branchPage(req.param("name")), "text/html; charset=utf-8"});
    });
}

} // namespace zjx::service
