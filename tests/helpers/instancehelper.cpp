// A program for the tests that must kill a parent process:
//   instancehelper gateway PROGRAM   starts PROGRAM as the service child, prints "ready PID" (or
//                                    "failed REASON") and runs until it is killed
//   instancehelper claim KEY BOOK    takes the one-program guard of BOOK: prints "first" and then
//                                    "told COMMAND [ARGUMENTS]" for each later start's command, or
//                                    "second" and ends
//   instancehelper end               prints "ready", and on SIGTERM, SIGINT or SIGHUP "ended N" and,
//                                    once its event loop has returned, "out"
#include "platform/endsignals.h"
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
    const QByteArray mode = argc > 1 ? argv[1] : "";
    if (mode == "end") {
        zjx::EndSignals endSignals;
        QObject::connect(&endSignals, &zjx::EndSignals::received, [](int number) {
            say("ended " + QByteArray::number(number));
            QCoreApplication::exit(0);
        });
        say("ready");
        const int code = app.exec();
        say("out");
        return code;
    }
    if (argc != (mode == "claim" ? 4 : 3)) {
        std::fprintf(stderr, "usage: instancehelper gateway PROGRAM | claim KEY BOOK | end\n");
        return 2;
    }
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
    auto* instance = new zjx::SingleInstance(value, QString::fromLocal8Bit(argv[3]), &app);
    if (!instance->claim()) {
        say("second");
        return 0;
    }
    QObject::connect(instance, &zjx::SingleInstance::commandReceived,
                     [](const QString& command, const QStringList& arguments) {
                         say(("told " + (QStringList{command} + arguments).join(u' ')).toLatin1());
                     });
    say("first");
    return app.exec();
}
