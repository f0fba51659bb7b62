// A program for the tests that must kill a parent process:
//   instancehelper gateway PROGRAM   starts PROGRAM as the service child, prints "ready PID" (or
//                                    "failed REASON") and runs until it is killed
//   instancehelper claim KEY         takes the one-program guard: prints "first" and then "raised"
//                                    for each request to show the window, or "second" and ends
#include "platform/gatewaychild.h"
#include "platform/singleinstance.h"

#include <QCoreApplication>
#include <cstdio>

namespace {

void say(const QByteArray& line) {
    std::fputs(line.constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: instancehelper gateway PROGRAM | claim KEY\n");
        return 2;
    }
    const QByteArray mode = argv[1];
    const QString value = QString::fromLocal8Bit(argv[2]);
    if (mode == "gateway") {
        auto* gateway = new zjx::GatewayChild(&app);
        QObject::connect(gateway, &zjx::GatewayChild::ready,
                         [gateway] { say("ready " + QByteArray::number(gateway->processId())); });
        QObject::connect(gateway, &zjx::GatewayChild::failed,
                         [](const QString& reason) { say("failed " + reason.toUtf8()); });
        gateway->start(value);
        return app.exec();
    }
    auto* instance = new zjx::SingleInstance(value, &app);
    if (!instance->claim()) {
        say("second");
        return 0;
    }
    QObject::connect(instance, &zjx::SingleInstance::raiseRequested, [] { say("raised"); });
    say("first");
    return app.exec();
}
