// zjx-service: answers the tracking requests, the version file and the branch pages locally.

#include "checkcommand.h"
#include "gateway.h"
#include "gatewayconfig.h"
#include "httpserver.h"
#include "recognition.h"
#include "servicehelp.h"
#include "serviceroutes.h"
#include "servicesecret.h"
#include "trackingpages.h"
#include "zjxversion.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QHostInfo>
#include <QTimer>

#include <charconv>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include <sys/resource.h>

namespace {

struct Options {
    std::string host = "127.0.0.1";
    int port = 18735;
    int intervalMinutes = 3;
    std::string version = zjx::version::release;
    std::string config; // empty: the default configuration file, if there is one
    std::string checkNumber, checkCompany;
    std::string secretFile;
    int secretFd = -1;
    int listenFd = -1;
    bool check = false;
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
        if (arg == "--check") {
            if (i + 2 >= argc)
                return "--check needs a tracking number and a company (service code or name)";
            o.check = true;
            o.checkNumber = argv[++i];
            o.checkCompany = argv[++i];
            continue;
        }
        std::string value;
        if (const auto eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg.resize(eq);
        } else if (arg == "--host" || arg == "--port" || arg == "--interval" || arg == "--version" ||
                   arg == "--config" || arg == "--secret-file" || arg == "--secret-fd" || arg == "--listen-fd") {
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
        } else if (arg == "--config") {
            if (value.empty())
                return "--config needs a file name";
            o.config = value;
        } else if (arg == "--secret-file") {
            if (value.empty())
                return "--secret-file needs a file name";
            o.secretFile = value;
        } else if (arg == "--secret-fd") {
            if (!parseInt(value, 3, 1 << 20, o.secretFd))
                return "--secret-fd takes a descriptor number from 3 up";
        } else if (arg == "--listen-fd") {
            if (!parseInt(value, 3, 1 << 20, o.listenFd))
                return "--listen-fd takes a descriptor number from 3 up";
        } else {
            return "unknown argument: " + arg;
        }
    }
    if (o.secretFd >= 0 && !o.secretFile.empty())
        return "--secret-file and --secret-fd exclude each other";
    return {};
}

// Many idle clients must meet the connection cap, not the descriptor limit (1,024 on many
// desktops): take every descriptor the hard limit allows.
void raiseDescriptorLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
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

    // The secret is read first: the descriptor must not stay open (or leak into --check's work).
    QByteArray secret;
    QString secretError;
    if (options.secretFd >= 0)
        secretError = zjx::service::readSecretFromDescriptor(options.secretFd, secret);
    else if (!options.secretFile.empty())
        secretError = zjx::service::readSecretFromFile(QString::fromLocal8Bit(options.secretFile.c_str()), secret);
    if (!secretError.isEmpty()) {
        std::fprintf(stderr, "zjx-service: %s\n", secretError.toUtf8().constData());
        return 2;
    }
    raiseDescriptorLimit();

    QCoreApplication app(argc, argv);
    // Secrets live in the configuration file only, never on the command line.
    const bool explicitConfig = !options.config.empty();
    const QString configPath =
        explicitConfig ? QString::fromLocal8Bit(options.config.c_str()) : zjx::gateway::defaultConfigPath();
    const zjx::gateway::ConfigResult loaded = zjx::gateway::loadConfig(configPath, explicitConfig);
    if (!loaded.config) {
        std::fprintf(stderr, "zjx-service: %s\n", loaded.error.toUtf8().constData());
        return 2;
    }
    const zjx::gateway::GatewayConfig& config = *loaded.config;
    if (options.check)
        return zjx::gateway::runCheck(config, QString::fromLocal8Bit(options.checkNumber.c_str()),
                                      QString::fromLocal8Bit(options.checkCompany.c_str()), options.intervalMinutes,
                                      stdout);

    QString backendError;
    const std::unique_ptr<zjx::gateway::TrackingBackend> backend = zjx::gateway::makeBackend(
        config, options.intervalMinutes, zjx::gateway::stderrLog(config.secrets()), &backendError);
    if (!backend) {
        std::fprintf(stderr, "zjx-service: %s\n", backendError.toUtf8().constData());
        return 2;
    }
    zjx::service::HttpServer server;
    server.setSecret(secret);
    zjx::service::addServiceRoutes(
        server,
        [&backend](const QString& code, const QString& number, const QString& key,
                   const zjx::service::HttpResponder& out) {
            // A queued upstream query whose clients have all gone is not sent.
            const zjx::gateway::TrackingBackend& b = *backend;
            backend->answer({code, number, key, [out] { return out.stillWanted(); }},
                            [out, &b](const zjx::gateway::GatewayAnswer& a) {
                                out.send(zjx::gateway::labelledReply(a, b));
                            });
        },
        QByteArray::fromStdString(options.version));
    // Which companies a number may belong to, from the same provider (the demo knows none).
    const std::unique_ptr<zjx::gateway::RecognitionBackend> recognition =
        zjx::gateway::makeRecognitionBackend(config, zjx::gateway::stderrLog(config.secrets()));
    zjx::gateway::addRecognitionRoute(server, *recognition);
    // The lines of one event-loop turn leave together, after that turn's answers: one write for
    // many answers under load, and a line is never seen before its answer was sent.
    QByteArray pendingLog;
    QTimer logFlush;
    logFlush.setSingleShot(true);
    QObject::connect(&logFlush, &QTimer::timeout, [&pendingLog] {
        std::fwrite(pendingLog.constData(), 1, size_t(pendingLog.size()), stdout);
        std::fflush(stdout);
        pendingLog.clear();
    });
    server.setLogSink([&pendingLog, &logFlush](const QByteArray& line) {
        pendingLog += line + '\n';
        if (!logFlush.isActive())
            logFlush.start(0);
    });

    // --host takes an address or a name ("localhost").
    QHostAddress address(QString::fromStdString(options.host));
    if (address.isNull()) {
        const QList<QHostAddress> found = QHostInfo::fromName(QString::fromStdString(options.host)).addresses();
        if (!found.isEmpty())
            address = found.first();
    }
    // A listening socket handed over by the program that started this service: the port stays
    // that program's, also after this process ends.
    if (options.listenFd >= 0 ? !server.adopt(options.listenFd)
                              : address.isNull() || !server.listen(address, quint16(options.port))) {
        if (options.listenFd >= 0)
            std::fprintf(stderr, "zjx-service: %s\n", server.errorString().toUtf8().constData());
        else
            std::fprintf(stderr, "zjx-service: cannot listen on %s:%d\n", options.host.c_str(), options.port);
        return 1;
    }
    // The address as a literal: a client must name it so in its Host header.
    const QString shown =
        address.protocol() == QAbstractSocket::IPv6Protocol ? u'[' + address.toString() + u']' : address.toString();
    std::printf("zjx-service listening on http://%s:%d (interval %d min, version \"%s\", back-end %s, %s)\n",
                shown.toUtf8().constData(), int(server.port()), options.intervalMinutes, options.version.c_str(),
                backend->name().toUtf8().constData(),
                server.hasSecret() ? "private: requests need the secret" : "open to every local user");
    std::fflush(stdout);
    return app.exec();
}
