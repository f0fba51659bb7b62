// zjx-fakeprovider: one provider's local stand-in, for the benchmark and for trying the gateway by
// hand (see service/README.md). Its secrets are the fixed test ones of providerfakes.h.

#include "fakes/providerfakes.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <pthread.h>
#include <string>

int main(int argc, char** argv) {
    zjx::fakes::FakeKind kind = zjx::fakes::FakeKind::Kuaidi100;
    int port = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--kind" && i + 1 < argc) {
            const std::string k = argv[++i];
            kind = k == "17track"  ? zjx::fakes::FakeKind::Track17
                   : k == "kdniao" ? zjx::fakes::FakeKind::Kdniao
                                   : zjx::fakes::FakeKind::Kuaidi100;
        } else if (arg == "--port" && i + 1 < argc) {
            port = std::atoi(argv[++i]);
        } else {
            std::fprintf(stderr, "usage: zjx-fakeprovider [--kind kuaidi100|17track|kdniao] [--port N]\n");
            return 2;
        }
    }
    // Blocked before the server's threads start, so only sigwait below receives them.
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    zjx::fakes::FakeProvider fake(kind);
    if (!fake.start(port)) {
        std::fprintf(stderr, "zjx-fakeprovider: cannot listen\n");
        return 1;
    }
    const zjx::fakes::FakeSecrets secrets;
    std::printf("zjx-fakeprovider listening on %s (customer/business id %s, key %s)\n", fake.url().toUtf8().constData(),
                secrets.customer.c_str(), secrets.key.c_str());
    std::fflush(stdout);
    int sig = 0;
    sigwait(&set, &sig);
    return 0;
}
