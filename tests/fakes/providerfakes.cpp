#include "fakes/providerfakes.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <httplib.h>

#include <chrono>
#include <map>

namespace zjx::fakes {

namespace {

struct Event {
    const char* time; // local time, UTC+8
    const char* text;
    const char* place;
};

const Event kTransit[] = {
    {"2026-12-01 09:12:00", "快件已由 杭州市西湖区营业部 揽收", "杭州市"},
    {"2026-12-01 18:40:00", "快件已从 杭州转运中心 发出，下一站 上海转运中心", "杭州市"},
    {"2026-12-02 03:05:00", "快件已到达 上海转运中心", "上海市"},
};
const Event kSigned[] = {
    {"2026-12-01 09:12:00", "快件已由 杭州市西湖区营业部 揽收", "杭州市"},
    {"2026-12-02 03:05:00", "快件已到达 上海转运中心", "上海市"},
    {"2026-12-02 08:30:00", "派件员 王师傅 正在派件", "上海市"},
    {"2026-12-02 11:47:00", "快件已签收，签收人：本人", "上海市"},
};
// Provider texts that happen to hold the program's marker words and tag-like text.
const Event kMarkers[] = {
    {"2026-12-01 09:12:00", "包裹信息 NULL 已更正，原地址不存在，请输入新地址 <td>x</td><tr><td>", "杭州市"},
    {"2026-12-01 18:40:00", "不支持的快递公司转来的包裹，单号格式错误已修正", "杭州市"},
    {"2026-12-02 03:05:00", "快件已到达 上海转运中心", "上海市"},
};

bool startsWith(const std::string& s, const char* prefix) {
    return s.rfind(prefix, 0) == 0;
}

std::vector<Event> historyFor(const std::string& number) {
    if (startsWith(number, "SIGNED"))
        return {std::begin(kSigned), std::end(kSigned)};
    if (startsWith(number, "MARKER"))
        return {std::begin(kMarkers), std::end(kMarkers)};
    return {std::begin(kTransit), std::end(kTransit)};
}

std::string errorCode(const std::string& number) {
    if (!startsWith(number, "ERR"))
        return {};
    std::string digits;
    for (size_t i = 3; i < number.size() && std::isdigit(static_cast<unsigned char>(number[i])); ++i)
        digits += number[i];
    return digits;
}

QString q(const char* s) {
    return QString::fromUtf8(s);
}

std::string json(const QJsonObject& o) {
    return QJsonDocument(o).toJson(QJsonDocument::Compact).toStdString();
}

std::string md5Hex(const std::string& s) {
    return QCryptographicHash::hash(QByteArray::fromStdString(s), QCryptographicHash::Md5).toHex().toStdString();
}

// A form body as sent, split at "&" and "=" and percent-decoded ("+" is a space in forms).
std::map<std::string, std::string> formFields(const std::string& body) {
    std::map<std::string, std::string> fields;
    for (const QByteArray& pair : QByteArray::fromStdString(body).split('&')) {
        const qsizetype eq = pair.indexOf('=');
        if (eq < 0)
            continue;
        QByteArray value = pair.mid(eq + 1);
        value.replace('+', ' ');
        fields[pair.left(eq).toStdString()] = QByteArray::fromPercentEncoding(value).toStdString();
    }
    return fields;
}

long long nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

FakeProvider::FakeProvider(FakeKind kind, FakeSecrets secrets) : m_kind(kind), m_secrets(std::move(secrets)) {}

FakeProvider::~FakeProvider() {
    stop();
}

const char* FakeProvider::badReason(const std::string& number) {
    const std::string code = errorCode(number);
    if (code == "1")
        return "没有可用套餐，请购买后再试";
    if (code == "2")
        return "快递公司编码错误";
    if (code == "3")
        return "单号格式错误";
    if (code == "4")
        return "系统繁忙，请稍后再试";
    return nullptr;
}

QString FakeProvider::url() const {
    const QString base = QStringLiteral("%1://127.0.0.1:%2").arg(m_tls ? "https" : "http").arg(m_port);
    switch (m_kind) {
    case FakeKind::Kuaidi100:
        return base + QStringLiteral("/poll/query.do");
    case FakeKind::Track17:
        return base + QStringLiteral("/track/v2.2");
    case FakeKind::Kdniao:
        return base + QStringLiteral("/Ebusiness/EbusinessOrderHandle.aspx");
    }
    return base;
}

void FakeProvider::forgetRegistrations() {
    const std::lock_guard lock(m_mutex);
    m_registered.clear();
}

bool FakeProvider::start(int port, const std::string& certFile, const std::string& keyFile) {
    m_tls = !certFile.empty();
    if (m_tls)
        m_server = std::make_unique<httplib::SSLServer>(certFile.c_str(), keyFile.c_str());
    else
        m_server = std::make_unique<httplib::Server>();
    if (!m_server->is_valid())
        return false;
    m_server->Post(R"(/.*)", [this](const httplib::Request& req, httplib::Response& res) {
        ++m_requests;
        for (int waited = 0; waited < m_delayMs && m_server->is_running(); waited += 20)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (m_drop) {
            // Headers go out, then the connection is cut before the promised body.
            res.set_content_provider(64, "application/json", [](size_t, size_t, httplib::DataSink&) { return false; });
            return;
        }
        int status = 200;
        const std::string body = answer(req.path, req.body, req.get_header_value("17token"), status);
        res.status = status;
        res.set_content(body, "application/json; charset=utf-8");
    });
    m_port =
        port == 0 ? m_server->bind_to_any_port("127.0.0.1") : (m_server->bind_to_port("127.0.0.1", port) ? port : -1);
    if (m_port <= 0)
        return false;
    m_thread = std::thread([this] { m_server->listen_after_bind(); });
    for (int i = 0; i < 500 && !m_server->is_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return true;
}

void FakeProvider::stop() {
    if (m_server)
        m_server->stop();
    if (m_thread.joinable())
        m_thread.join();
}

std::string FakeProvider::answer(const std::string& path, const std::string& body, const std::string& token,
                                 int& status) {
    switch (m_kind) {
    case FakeKind::Kuaidi100:
        return kuaidi100(body, status);
    case FakeKind::Track17:
        return track17(path, body, token, status);
    case FakeKind::Kdniao:
        return kdniao(body, status);
    }
    return {};
}

std::string FakeProvider::kuaidi100(const std::string& body, int& status) {
    const auto fields = formFields(body);
    const auto field = [&](const char* name) {
        const auto it = fields.find(name);
        return it == fields.end() ? std::string() : it->second;
    };
    const auto fail = [](const char* code, const char* message) {
        return json({{"result", false}, {"returnCode", code}, {"message", q(message)}});
    };
    const std::string param = field("param");
    std::string expected = md5Hex(param + m_secrets.key + field("customer"));
    for (char& c : expected)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    if (field("customer") != m_secrets.customer || field("sign") != expected) {
        ++m_badSigns;
        return fail("503", "验证签名失败");
    }
    const QJsonObject p = QJsonDocument::fromJson(QByteArray::fromStdString(param)).object();
    const std::string number = p.value("num").toString().toStdString();
    if (p.value("com").toString().isEmpty() || number.empty())
        return fail("400", "找不到对应公司");
    const std::string code = errorCode(number);
    if (code == "400")
        return fail("400", "找不到对应公司");
    if (code == "500" || startsWith(number, "NOTFOUND"))
        return fail("500", "查询无结果，请隔段时间再查");
    if (code == "501" || code == "502") {
        status = 500;
        return fail(code.c_str(), "服务器错误");
    }
    if (code == "503")
        return fail("503", "验证签名失败");
    if (code == "601")
        return fail("601", "POLL:KEY已过期");
    if (code == "408")
        return fail("408", "快递公司参数异常：请输入正确的手机号后四位");
    const std::vector<Event> events = historyFor(number);
    QJsonArray data;
    for (auto it = events.rbegin(); it != events.rend(); ++it) // newest first
        data.append(QJsonObject{{"time", q(it->time)},
                                {"ftime", q(it->time)},
                                {"context", q(it->text)},
                                {"areaName", q(it->place)},
                                {"status", q("在途")}});
    const bool done = startsWith(number, "SIGNED");
    return json({{"message", "ok"},
                 {"nu", QString::fromStdString(number)},
                 {"ischeck", done ? "1" : "0"},
                 {"com", p.value("com")},
                 {"status", "200"},
                 {"state", done ? "3" : "0"},
                 {"data", data}});
}

std::string FakeProvider::track17(const std::string& path, const std::string& body, const std::string& token,
                                  int& status) {
    {
        const std::lock_guard lock(m_mutex);
        const long long now = nowMs();
        m_recent.erase(m_recent.begin(), m_recent.lower_bound(now - 1000));
        m_recent.insert(now);
        if (m_recent.size() > 3 || m_force429.fetch_sub(1) > 0) {
            ++m_rateLimited;
            status = 429;
            return json({{"code", 429}, {"data", QJsonObject{}}});
        }
    }
    const auto error = [](int code, const char* message) {
        return QJsonObject{{"code", code}, {"message", q(message)}};
    };
    if (token != m_secrets.key) {
        ++m_badSigns;
        status = 401;
        return json({{"code", -18010002},
                     {"data", QJsonObject{{"errors", QJsonArray{error(-18010002, "Invalid access key.")}}}}});
    }
    const QJsonArray items = QJsonDocument::fromJson(QByteArray::fromStdString(body)).array();
    QJsonArray accepted, rejected;
    for (const QJsonValue& v : items) {
        const QJsonObject item = v.toObject();
        const QString number = item.value("number").toString();
        const std::string n = number.toStdString();
        const std::string code = errorCode(n);
        const int carrier = item.value("carrier").toInt(3011);
        if (code == "18019903" || code == "18019908" || code == "18010002") {
            const int c = -std::stoi(code);
            rejected.append(QJsonObject{{"number", number}, {"error", error(c, "refused")}});
            continue;
        }
        const std::lock_guard lock(m_mutex);
        if (path.ends_with("/register")) {
            if (!m_registered.insert(n).second)
                rejected.append(QJsonObject{{"number", number},
                                            {"error", error(-18019901, "The tracking number is already registered.")}});
            else
                accepted.append(QJsonObject{{"origin", 1}, {"number", number}, {"carrier", carrier}});
            continue;
        }
        if (!m_registered.count(n)) {
            rejected.append(
                QJsonObject{{"number", number}, {"error", error(-18019902, "The tracking number is not registered.")}});
            continue;
        }
        QJsonArray events;
        const bool found = !startsWith(n, "NOTFOUND");
        const std::vector<Event> history = found ? historyFor(n) : std::vector<Event>{};
        for (auto it = history.rbegin(); it != history.rend(); ++it) { // newest first
            QString iso = q(it->time);
            iso.replace(u' ', u'T');
            events.append(QJsonObject{{"time_iso", QString(iso + q("+08:00"))},
                                      {"description", q(it->text)},
                                      {"location", q(it->place)},
                                      {"stage", QString()}});
        }
        const QString latest = !found ? "NotFound" : startsWith(n, "SIGNED") ? "Delivered" : "InTransit";
        const QJsonObject status{{"status", latest}, {"sub_status", QString(latest + "_Other")}};
        const QJsonObject provider{{"provider", QJsonObject{{"key", carrier}}}, {"events", events}};
        const QJsonObject tracking{{"providers", QJsonArray{provider}}};
        const QJsonObject info{{"latest_status", status}, {"tracking", tracking}};
        accepted.append(QJsonObject{{"number", number}, {"carrier", carrier}, {"track_info", info}});
    }
    return json({{"code", 0}, {"data", QJsonObject{{"accepted", accepted}, {"rejected", rejected}}}});
}

std::string FakeProvider::kdniao(const std::string& body, int& status) {
    (void)status;
    const auto fields = formFields(body);
    const auto field = [&](const char* name) {
        const auto it = fields.find(name);
        return it == fields.end() ? std::string() : it->second;
    };
    const QJsonObject base{{"EBusinessID", QString::fromStdString(field("EBusinessID"))}};
    const auto refuse = [&](const char* reason) {
        QJsonObject o = base;
        o.insert("Success", false);
        o.insert("Reason", q(reason));
        return json(o);
    };
    const std::string requestData = field("RequestData");
    const std::string expected =
        QByteArray::fromStdString(md5Hex(requestData + m_secrets.key)).toBase64().toStdString();
    if (field("EBusinessID") != m_secrets.customer)
        return refuse("用户ID无效");
    if (field("DataSign") != expected) {
        ++m_badSigns;
        return refuse("DataSign签名校验失败");
    }
    if (field("RequestType") != "1002" || field("DataType") != "2")
        return refuse("RequestType或DataType错误");
    const QJsonObject data = QJsonDocument::fromJson(QByteArray::fromStdString(requestData)).object();
    const std::string number = data.value("LogisticCode").toString().toStdString();
    if (const char* reason = badReason(number))
        return refuse(reason);
    QJsonObject o = base;
    o.insert("OrderCode", data.value("OrderCode"));
    o.insert("ShipperCode", data.value("ShipperCode"));
    o.insert("LogisticCode", QString::fromStdString(number));
    o.insert("Success", true);
    if (startsWith(number, "NOTFOUND")) {
        o.insert("State", "0");
        o.insert("Reason", q("暂无轨迹信息"));
        o.insert("Traces", QJsonArray{});
        return json(o);
    }
    QJsonArray traces;
    for (const Event& e : historyFor(number)) // oldest first
        traces.append(QJsonObject{{"AcceptTime", q(e.time)}, {"AcceptStation", q(e.text)}, {"Location", q(e.place)}});
    o.insert("State", startsWith(number, "SIGNED") ? "3" : "2");
    o.insert("Traces", traces);
    return json(o);
}

bool makeSelfSignedCertificate(const QString& dir, QString* certFile, QString* keyFile) {
    *certFile = dir + QStringLiteral("/fake-cert.pem");
    *keyFile = dir + QStringLiteral("/fake-key.pem");
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"),
                  {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=127.0.0.1", "-addext",
                   "subjectAltName=IP:127.0.0.1", "-keyout", *keyFile, "-out", *certFile});
    return openssl.waitForFinished(60000) && openssl.exitStatus() == QProcess::NormalExit && openssl.exitCode() == 0;
}

} // namespace zjx::fakes
