#include "fakes/hostileprovider.h"

#include "fakes/listening.h"

#include <QUrl>

#include <httplib.h>

#include <chrono>
#include <string>

namespace zjx::fakes {

namespace {

// Where the number starts as the APIs carry it: inside JSON, raw (17TRACK) or percent-encoded
// (forms), or as the form field of kuaidi100's number recognition.
constexpr const char* kNumberStarts[] = {"\"", "%22", "num="};

// Just after `word` at the start of the number, or npos.
size_t afterWord(const std::string& body, const std::string& word) {
    for (const std::string start : kNumberStarts)
        if (const size_t at = body.find(start + word); at != std::string::npos)
            return at + start.size() + word.size();
    return std::string::npos;
}

bool asks(const std::string& body, const std::string& word) {
    return afterWord(body, word) != std::string::npos;
}

// The digits that follow `word` in the number.
long long numberAfter(const std::string& body, const std::string& word) {
    size_t at = afterWord(body, word);
    long long n = 0;
    for (; at < body.size() && std::isdigit(static_cast<unsigned char>(body[at])); ++at)
        n = n * 10 + (body[at] - '0');
    return n;
}

// Event i of a MANY answer, in kuaidi100's shape.
std::string manyEvent(long long i, bool comma) {
    char time[32];
    std::snprintf(time, sizeof time, "2026-12-01 %02lld:%02lld:00", (i / 60) % 24, i % 60);
    return std::string(R"({"time":")") + time + R"(","ftime":")" + time + R"(","context":"第)" + std::to_string(i) +
           R"(条","areaName":""})" + (comma ? "," : "");
}

bool startServer(httplib::Server& server, const char* host, int& port, std::thread& thread) {
    port = listenOnThread(server, host, 0, thread);
    return port > 0 && server.is_running();
}

} // namespace

HostileProvider::HostileProvider(const FakeProvider& honest) : m_honest(honest) {}

HostileProvider::~HostileProvider() {
    stop();
}

QString HostileProvider::url() const {
    return QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(QUrl(m_honest.url()).path());
}

bool HostileProvider::start() {
    m_server = std::make_unique<httplib::Server>();
    m_thief = std::make_unique<httplib::Server>();
    // Endless and dripping answers each hold a thread: room for many at once.
    m_server->new_task_queue = [] { return new httplib::ThreadPool(64); };
    m_server->set_tcp_nodelay(true); // streamed pieces leave at once, as fast as a provider could send them
    m_thief->Post(R"(/.*)", [this](const httplib::Request&, httplib::Response& res) {
        ++m_stolen;
        res.set_content(R"({"message":"ok","state":"0","data":[]})", "application/json");
    });
    m_server->Post(R"(/.*)", [this](const httplib::Request& req, httplib::Response& res) {
        const std::string& body = req.body;
        if (asks(body, "REDIRECT")) {
            res.status = int(numberAfter(body, "REDIRECT"));
            res.set_header("Location", "http://127.0.0.2:" + std::to_string(m_thiefPort) + "/steal");
            return;
        }
        if (asks(body, "HUGE")) {
            res.set_content_provider(100'000'000, "application/json",
                                     [this](size_t, size_t length, httplib::DataSink& sink) {
                                         static const std::string block(64 * 1024, ' ');
                                         const size_t n = std::min(length, block.size());
                                         m_bytes += static_cast<long long>(n);
                                         return m_server->is_running() && sink.write(block.data(), n);
                                     });
            return;
        }
        if (asks(body, "ENDLESS")) {
            res.set_chunked_content_provider("application/json", [this](size_t, httplib::DataSink& sink) {
                static const std::string block(64 * 1024, ' ');
                m_bytes += static_cast<long long>(block.size());
                return m_server->is_running() && sink.write(block.data(), block.size());
            });
            return;
        }
        if (asks(body, "BARE")) {
            const long long total = numberAfter(body, "BARE");
            std::string out = R"({"message":"ok","state":"0","data":[)";
            for (long long i = 0; i < total; ++i)
                out += i ? ",{}" : "{}";
            out += "]}";
            m_bytes += static_cast<long long>(out.size());
            res.set_content(out, "application/json");
            return;
        }
        if (asks(body, "MANY")) {
            // Announced with its length and written in large pieces, as a real provider's answer is.
            const long long total = numberAfter(body, "MANY");
            const std::string head =
                R"({"message":"ok","nu":"MANY","ischeck":"0","com":"shentong","status":"200","state":"0","data":[)";
            size_t length = head.size() + 2;
            for (long long i = total; i > 0; --i)
                length += manyEvent(i, i > 1).size();
            auto next = std::make_shared<long long>(total); // newest first: counts down to 1
            res.set_content_provider(length, "application/json",
                                     [this, head, total, next](size_t, size_t, httplib::DataSink& sink) {
                                         std::string out = *next == total ? head : std::string();
                                         for (; out.size() < 256 * 1024 && *next > 0; --*next)
                                             out += manyEvent(*next, *next > 1);
                                         if (*next == 0)
                                             out += "]}";
                                         m_bytes += static_cast<long long>(out.size());
                                         return m_server->is_running() && sink.write(out.data(), out.size());
                                     });
            return;
        }
        if (asks(body, "DRIP")) {
            res.set_content_provider(200, "application/json", [this](size_t, size_t, httplib::DataSink& sink) {
                for (int waited = 0; waited < m_dripMs && m_server->is_running(); waited += 20)
                    std::this_thread::sleep_for(std::chrono::milliseconds(20));
                ++m_bytes;
                return m_server->is_running() && sink.write(" ", 1);
            });
            return;
        }
        if (asks(body, "ECHO")) {
            const FakeSecrets s;
            res.set_content(R"({"result":false,"returnCode":"502","message":"服务器错误: customer )" + s.customer +
                                " key " + s.key + R"( refused"})",
                            "application/json");
            return;
        }
        httplib::Client honest("127.0.0.1", m_honest.port());
        httplib::Headers headers;
        if (req.has_header("17token"))
            headers.emplace("17token", req.get_header_value("17token"));
        if (auto r = honest.Post(req.path, headers, body, req.get_header_value("Content-Type"))) {
            res.status = r->status;
            res.set_content(r->body, r->get_header_value("Content-Type"));
        } else {
            res.status = 502;
        }
    });
    return startServer(*m_thief, "127.0.0.2", m_thiefPort, m_thiefThread) &&
           startServer(*m_server, "127.0.0.1", m_port, m_thread);
}

void HostileProvider::stop() {
    stopListening(m_server.get(), m_thread);
    stopListening(m_thief.get(), m_thiefThread);
}

} // namespace zjx::fakes
