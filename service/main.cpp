// zjx-service: answers the tracking requests, the version file and the branch pages locally.

#include "branchpages.h"
#include "servicehelp.h"
#include "trackingpages.h"

#include <QDateTime>

#include <httplib.h>

#include <charconv>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

namespace {

struct Options {
    std::string host = "127.0.0.1";
    int port = 18735;
    int intervalMinutes = 3;
    std::string version = "V4.0";
    bool help = false;
};

bool parseInt(std::string_view text, int low, int high, int& out) {
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < low || value > high)
        return false;
    out = value;
    return true;
}

// Returns an error text, empty when the command line is good.
std::string parseOptions(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            o.help = true;
            continue;
        }
        std::string value;
        if (const auto eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg.resize(eq);
        } else if (arg == "--host" || arg == "--port" || arg == "--interval" || arg == "--version") {
            if (++i >= argc)
                return arg + " needs a value";
            value = argv[i];
        } else {
            return "unknown argument: " + arg;
        }
        if (arg == "--host") {
            o.host = value;
        } else if (arg == "--port") {
            if (!parseInt(value, 0, 65535, o.port))
                return "--port takes a number from 0 to 65535";
        } else if (arg == "--interval") {
            if (!parseInt(value, 1, 100000, o.intervalMinutes))
                return "--interval takes a whole number of minutes, at least 1";
        } else if (arg == "--version") {
            o.version = value;
        } else {
            return "unknown argument: " + arg;
        }
    }
    return {};
}

QString param(const httplib::Request& req, const char* key) {
    return QString::fromStdString(req.get_param_value(key));
}

void setBody(httplib::Response& res, const QByteArray& body, const std::string& contentType) {
    res.set_content(body.constData(), size_t(body.size()), contentType);
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    if (const std::string error = parseOptions(argc, argv, options); !error.empty()) {
        std::fprintf(stderr, "zjx-service: %s (see --help)\n", error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(zjx::service::helpText().toStdString().c_str(), stdout);
        return 0;
    }

    zjx::service::TrackingDesk desk(options.intervalMinutes);
    const std::string help = zjx::service::helpText().toStdString();
    std::mutex logMutex;

    httplib::Server server;
    // httplib's default adds SO_REUSEPORT, which would let a second service share the port unnoticed.
    server.set_socket_options([](socket_t sock) {
        const int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    server.Get("/", [&](const httplib::Request& req, httplib::Response& res) {
        if (!req.has_param("com")) {
            res.set_content(help, "text/plain; charset=utf-8");
            return;
        }
        const zjx::service::Reply reply =
            desk.answer(param(req, "com"), param(req, "nu"), param(req, "id"), QDateTime::currentDateTime());
        res.status = reply.status;
        setBody(res, reply.body, reply.contentType);
    });
    server.Get("/tansoftjc/zjx/jc.txt", [&](const httplib::Request&, httplib::Response& res) {
        res.set_content(options.version, "text/plain");
    });
    server.Get("/query_list.asp", [](const httplib::Request& req, httplib::Response& res) {
        setBody(res, zjx::service::branchPage(param(req, "name")), "text/html; charset=utf-8");
    });
    server.set_error_handler([](const httplib::Request&, httplib::Response& res) {
        if (res.status == 404 && res.body.empty())
            res.set_content("Not Found\n", "text/plain");
    });
    server.set_logger([&](const httplib::Request& req, const httplib::Response& res) {
        const std::string when = QDateTime::currentDateTime().toString(u"yyyy-MM-dd HH:mm:ss").toStdString();
        const std::lock_guard lock(logMutex);
        std::printf("%s %s %s %d %zu\n", when.c_str(), req.method.c_str(), req.target.c_str(), res.status,
                    res.body.size());
        std::fflush(stdout);
    });

    int port = options.port;
    if (port == 0)
        port = server.bind_to_any_port(options.host);
    else if (!server.bind_to_port(options.host, port))
        port = -1;
    if (port <= 0) {
        std::fprintf(stderr, "zjx-service: cannot listen on %s:%d\n", options.host.c_str(), options.port);
        return 1;
    }
    std::printf("zjx-service listening on http://%s:%d (interval %d min, version \"%s\")\n", options.host.c_str(), port,
                options.intervalMinutes, options.version.c_str());
    std::fflush(stdout);
    return server.listen_after_bind() ? 0 : 1;
}
