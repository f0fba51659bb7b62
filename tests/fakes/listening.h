#pragma once

#include <httplib.h>

#include <chrono>
#include <thread>

namespace zjx::fakes {

// Binds `server` to `host` (on `port`, or on a free port for 0), runs it on `thread` and waits up
// to a second for its accept loop: stop() does nothing before that loop runs. Returns the port, or
// -1 when it cannot bind.
inline int listenOnThread(httplib::Server& server, const char* host, int port, std::thread& thread) {
    const int bound = port == 0 ? server.bind_to_any_port(host) : (server.bind_to_port(host, port) ? port : -1);
    if (bound <= 0)
        return -1;
    thread = std::thread([&server] { server.listen_after_bind(); });
    for (int i = 0; i < 500 && !server.is_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return bound;
}

// Stops a server started by listenOnThread (if any) and waits for its thread.
inline void stopListening(httplib::Server* server, std::thread& thread) {
    if (server)
        server->stop();
    if (thread.joinable())
        thread.join();
}

} // namespace zjx::fakes
