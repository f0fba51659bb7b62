#include "serviceroutes.h"

#include "branchpages.h"
#include "servicehelp.h"

#include <QDateTime>

namespace zjx::service {

void addServiceRoutes(HttpServer& server, TrackingDesk& desk, const QByteArray& version) {
    server.route("GET", "/", [&desk, help = helpText().toUtf8()](const HttpRequest& req, const HttpResponder& out) {
        if (!req.hasParam("com")) {
            out.send(Reply{200, help, "text/plain; charset=utf-8"});
            return;
        }
        out.send(desk.answer(req.param("com"), req.param("nu"), req.param("id"), QDateTime::currentDateTime()));
    });
    server.route("GET", "/tansoftjc/zjx/jc.txt", [version](const HttpRequest&, const HttpResponder& out) {
        out.send(Reply{200, version, "text/plain"});
    });
    server.route("GET", "/query_list.asp", [](const HttpRequest& req, const HttpResponder& out) {
        out.send(Reply{200, branchPage(req.param("name")), "text/html; charset=utf-8"});
    });
}

} // namespace zjx::service
