#pragma once

// Load on kept-alive loopback connections, as the program's own client makes it: one client asking
// one request after the other, and many connections each asking again as soon as it is answered.
// Every answer must carry a Content-Length (the service's and nginx's do).

#include <string>
#include <vector>

namespace zjx::bench {

struct Latencies {
    std::vector<double> ms; // sorted
    int failed = 0;
    double percentile(double p) const;
};

// One connection, `requests` requests one after the other (or fewer, when `maxSeconds` have
// passed), each sent when the last answer is whole.
Latencies sequentialLatency(int port, const std::string& request, int requests, double maxSeconds);

// `connections` kept-alive connections driven by `threads` epoll threads, each connection asking
// again when its answer is whole, for `seconds`: the answers per second.
double closedLoopThroughput(int port, const std::string& request, int connections, double seconds, int threads);

} // namespace zjx::bench
