#pragma once

#include <atomic>
#include <string>

#include <netinet/in.h>

namespace zjx::stress {

// The address of `port` on 127.0.0.1.
sockaddr_in loopback(int port);

// One request's raw bytes on a fresh loopback connection; the answer's bytes until the server
// closes or `timeoutSeconds` pass without a byte (empty when nothing came or the connect failed).
// `halfClose` ends the sending side right after the request; `dropAfterMs` >= 0 closes after that
// long without reading.
std::string exchange(int port, const std::string& request, int timeoutSeconds, bool halfClose = false,
                     int dropAfterMs = -1);

// Until `stop`: `sockets` sockets that connect, say nothing, and connect again as soon as the server
// drops them; each reconnection is counted in `reconnects` when given.
void reconnectingFlood(int port, int sockets, const std::atomic<bool>& stop, std::atomic<long>* reconnects = nullptr);

} // namespace zjx::stress
