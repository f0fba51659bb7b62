#include "fakes/providerfakes.h"

#include "fakes/listening.h"

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
#include <set>

namespace zjx::fakes {

namespace {

struct Event {
    const char* time; // local time, UTC+8
    const char* text;
    const char* place = ""; // none in kdniao's sample
};

// Events the histories share: taken in at Hangzhou, arrived at Shanghai's hub.
const Event kTakenIn{"2026-12-01 09:12:00", "快件已由 杭州市西湖区营业部 揽收", "杭州市"};
const Event kAtShanghai{"2026-12-02 03:05:00", "快件已到达 上海转运中心", "上海市"};
const Event kTransit[] = {
    kTakenIn,
    {"2026-12-01 18:40:00", "快件已从 杭州转运中心 发出，下一站 上海转运中心", "杭州市"},
    kAtShanghai,
};
const Event kSigned[] = {
    kTakenIn,
    kAtShanghai,
    {"2026-12-02 08:30:00", "派件员 王师傅 正在派件", "上海市"},
    {"2026-12-02 11:47:00", "快件已签收，签收人：本人", "上海市"},
};
// Waiting at a station with a pickup code; refused by the receiver.
const Event kPickup[] = {
    kTakenIn, kAtShanghai, {"2026-12-02 15:20:00", "快件已放入 浦东新区张江菜鸟驿站，取件码 3-2-1045", "上海市"}};
const Event kReturn[] = {kTakenIn, kAtShanghai, {"2026-12-02 16:02:00", "收件人拒签，快件退回寄件人", "上海市"}};
// What the fakes expect of an undelivered parcel: kuaidi100's arrivalTime, 17TRACK's range, kdniao's
// EstimatedDeliveryTime.
constexpr char kArrivalTime[] = "2026-12-09 12";
constexpr char kTrack17From[] = "2026-12-09T00:00:00+08:00", kTrack17To[] = "2026-12-11T18:00:00+08:00";
constexpr char kKdniaoEstimate[] = "2026-12-10 12";
// Provider texts that happen to hold the program's marker words and tag-like text.
const Event kMarkers[] = {
    {"2026-12-01 09:12:00", "包裹信息 NULL 已更正，原地址不存在，请输入新地址 <td>x</td><tr><td>", "杭州市"},
    {"2026-12-01 18:40:00", "不支持的快递公司转来的包裹，单号格式错误已修正", "杭州市"},
    kAtShanghai,
};

// kuaidi100's codes (its published company list) for the program's companies and the big
// domestic couriers.
const std::set<std::string> kKuaidi100Codes = {
    "aae", "anjiekuaidi", "anxindakuaixi", "aramex", "baifudongfang", "benteng", "chengji", "chuanxiwuliu", "citylink",
    "coe", "datianwuliu", "dayangwuliu", "debangwuliu", "dechuangwuliu", "dhl", "didasuyun", "disifang", "dpex",
    "dsukuaidi", "ems", "fanyukuaidi", "fardarww", "fbkd", "fedex", "feibaokuaidi", "feihukuaidi", "feikangda",
    "flyway", "ganzhongnengda", "gongsuda", "guangdongyouzhengwuliu", "haihongwangsong", "haimengsudi", "haiwaihuanqiu",
    "hengluwuliu", "huaqikuaiyun", "huiqiangkuaidi", "huitongkuaidi", "jiajiwuliu", "jialidatong", "jiayiwuliu",
    "jiayunmeiwuliu", "jindawuliu", "jinguangsudikuaijian", "jinyuekuaidi", "jixianda", "kcs", "kuaijiesudi", "kuayue",
    "lianbangkuaidi", "lianhaowuliu", "lijisong", "mingliangwuliu", "ocs", "pingandatengfei", "pinsuxinda",
    "quanfengkuaidi", "quanjitong", "quanritongkuaidi", "quanyikuaidi", "rpx", "saiaodimmb", "santaisudi", "sfwl",
    "shenganwuliu", "shenghuiwuliu", "shentong", "shunfeng", "suer", "suijiawuliu", "tiandihuayu", "tiantian", "tnt",
    "tonghetianxia", "ups", "usps", "wanjiawuliu", "weitepai", "xianglongyuntong", "xinfengwuliu", "yafengsudi",
    "yibangwuliu", "yinjiesudi", "yishunhang", "youshuwuliu", "youzhengguoji", "youzhengguonei", "yuananda",
    "yuanchengwuliu", "yuanfeihangwuliu", "yuantong", "yuanzhijiecheng", "yuefengwuliu", "yunda", "zhaijisong",
    "zhimakaimen", "zhongtianwanyun", "zhongtong", "zhongxinda", "zhongyouwuliu", "ztky",
    // big couriers outside today's catalogue
    "jtexpress", "jd", "jingdongkuaiyun", "debangkuaidi", "annengwuliu", "fengwang", "zhongyouex", "suning",
    "baishiwuliu", "zhongtongkuaiyun", "yundakuaiyun", "shunfengkuaiyun", "yimidida", "fedexcn", "danniao", "rrs",
    "sxjdfreight"};
// Companies that answer only with the receiver's or sender's phone tail.
const std::set<std::string> kKuaidi100PhoneCodes = {"shunfeng", "shunfengkuaiyun", "zhongtong"};

// kdniao's ShipperCodes (its published company list, as far as the program's companies go).
const std::set<std::string> kKdniaoCodes = {
    "AJ", "ARAMEX", "AXD", "BFDF", "CITY100", "CJKD", "COE", "DBL", "DHL", "DPEX", "DSWL", "DTWL", "EMS", "FAST",
    "FEDEX", "FEDEX_GJ", "FKD", "GDEMS", "GSD", "GTO", "HHTT", "HLWL", "HOAU", "HTKY", "HXLWL", "JGSD", "JJKY", "JLDT",
    "JXD", "JYKD", "JYM", "JYWL", "KYSY", "LB", "LHT", "MLWL", "NEDA", "OCS", "PADTF", "QCKD", "QFKD", "QRT", "RFD",
    "SAD", "SAWL", "SF", "SFWL", "SHWL", "STO", "SURE", "TNT", "UAPEX", "UC", "UPS", "USPS", "WJWL", "XBWL", "XFEX",
    "XYT", "YADEX", "YCWL", "YD", "YFEX", "YFHEX", "YFSD", "YTO", "YZPY", "GJYZ", "ZHQKD", "ZJS", "ZTKY", "ZTO", "ZYWL",
    "JTSD", "JD",
    // reviewed against the compiled list
    "AAE", "ANEKY", "BTWL", "BNTWL", "CCES", "CTWL", "CG", "CXHY", "DYWL", "DCWL", "DTKD", "D4PX", "FBKD", "FHKD",
    "FWX", "SDHH", "HMSD", "HSWL", "HBJH", "HQKD", "CNEX", "JDKY", "JDWL", "KLWL", "LJD", "LJSKD", "MB", "MSKD", "RRS",
    "STSD", "SJWL", "SX", "THTX", "WTP", "XLYT", "YMDD", "YJSD", "YSH", "YTFH", "YDKY", "ZMKM", "ZTWY", "ZTOKY", "ZYE"};
// Request type 1002 (the free instant query) does not serve these; 8001 does.
const std::set<std::string> kKdniaoNot1002 = {"STO", "HHTT"};
// Served only by the logistics-tracking queries 1008/8008.
const std::set<std::string> kKdniaoTrackingOnly = {"HTKY"};
const std::set<std::string> kKdniaoPhoneCodes = {"SF", "ZTO"};

// 17TRACK's numeric carrier keys (its published carrier list, as far as the program's companies go).
const std::set<int> kTrack17Carriers = {3011,   3013,   21051,  100001, 100002, 100003, 100004, 100006, 100014, 190077,
                                        190094, 190113, 190157, 190174, 190324, 190389, 190415, 190426, 190429, 190441,
                                        190442, 190455, 190846, 190900, 190989, 191054, 191106, 191121, 191165, 191224};
constexpr int kUps = 100002;

// kdniao's documented answer of its instant query: seven traces of a 顺丰 parcel, not in time order.
const Event kKdniaoSample[] = {
    {"2014/06/25 08:05:37", "正在派件..(派件人:邓裕富,电话:18718866310)[深圳 市]"},
    {"2014/06/25 04:01:28", "快件在 深圳集散中心 ,准备送往下一站 深圳 [深圳市]"},
    {"2014/06/25 01:41:06", "快件在 深圳集散中心 [深圳市]"},
    {"2014/06/24 20:18:58", "已收件[深圳市]"},
    {"2014/06/24 20:55:28", "快件在 深圳 ,准备送往下一站 深圳集散中心 [深圳市]"},
    {"2014/06/25 10:23:03", "派件已签收[深圳市]"},
    {"2014/06/25 10:23:03", "签收人是：已签收[深圳市]"},
};

// A delivered UPS parcel as 17TRACK reports it, newest first: the first leg in China (+08:00), the
// rest in Los Angeles (-07:00); the events' own local times run backwards between the legs.
struct ZonedEvent {
    const char* iso;
    const char* utc;
    const char* text;
    const char* place;
};
const ZonedEvent kUpsDelivered[] = {
    {"2026-12-03T10:15:00-07:00", "2026-12-03T17:15:00Z", "DELIVERED", "LOS ANGELES, CA, US"},
    {"2026-12-03T05:40:00-07:00", "2026-12-03T12:40:00Z", "OUT FOR DELIVERY TODAY", "LOS ANGELES, CA, US"},
    {"2026-12-02T08:00:00-07:00", "2026-12-02T15:00:00Z", "ARRIVED AT FACILITY", "LOS ANGELES, CA, US"},
    {"2026-12-02T21:30:00+08:00", "2026-12-02T13:30:00Z", "DEPARTED FROM FACILITY", "SHENZHEN, CN"},
    {"2026-12-02T09:00:00+08:00", "2026-12-02T01:00:00Z", "ORIGIN SCAN", "SHENZHEN, CN"},
};

bool startsWith(const std::string& s, const char* prefix) {
    return s.rfind(prefix, 0) == 0;
}

std::vector<Event> historyFor(const std::string& number) {
    if (startsWith(number, "SIGNED"))
        return {std::begin(kSigned), std::end(kSigned)};
    if (startsWith(number, "MARKER"))
        return {std::begin(kMarkers), std::end(kMarkers)};
    if (startsWith(number, "PICKUP"))
        return {std::begin(kPickup), std::end(kPickup)};
    if (startsWith(number, "RETURN"))
        return {std::begin(kReturn), std::end(kReturn)};
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

// A form body as sent, split at "&" and "=" and percent-decoded ("+" is a space in forms); a
// field it lacks reads empty.
class Form {
public:
    explicit Form(const std::string& body) {
        for (const QByteArray& pair : QByteArray::fromStdString(body).split('&')) {
            const qsizetype eq = pair.indexOf('=');
            if (eq < 0)
                continue;
            QByteArray value = pair.mid(eq + 1);
            value.replace('+', ' ');
            m_fields[pair.left(eq).toStdString()] = QByteArray::fromPercentEncoding(value).toStdString();
        }
    }
    std::string operator()(const char* name) const {
        const auto it = m_fields.find(name);
        return it == m_fields.end() ? std::string() : it->second;
    }

private:
    std::map<std::string, std::string> m_fields;
};

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
    m_params.clear();
}

void FakeProvider::remember(const std::string& company, const std::string& phone) {
    const std::lock_guard lock(m_mutex);
    m_lastCompany = company;
    m_lastPhone = phone;
}

std::string FakeProvider::lastCompany() const {
    const std::lock_guard lock(m_mutex);
    return m_lastCompany;
}

std::string FakeProvider::lastPhone() const {
    const std::lock_guard lock(m_mutex);
    return m_lastPhone;
}

bool FakeProvider::start(int port, const std::string& certFile, const std::string& keyFile) {
    m_tls = !certFile.empty();
    if (m_tls)
        m_server = std::make_unique<httplib::SSLServer>(certFile.c_str(), keyFile.c_str());
    else
        m_server = std::make_unique<httplib::Server>();
    if (!m_server->is_valid())
        return false;
    // Only the documented paths answer; httplib gives 404 for any other.
    const auto route = [this](const std::string& path, std::function<std::string(const httplib::Request&, int&)> f) {
        m_server->Post(path, [this, f](const httplib::Request& req, httplib::Response& res) { serve(req, res, f); });
    };
    switch (m_kind) {
    case FakeKind::Kuaidi100:
        route("/poll/query.do",
              [this](const httplib::Request& req, int& status) { return kuaidi100(req.body, status); });
        break;
    case FakeKind::Track17:
        for (const auto& [path, call] : {std::pair{"/track/v2.2/register", Track17Call::Register},
                                         {"/track/v2.2/gettrackinfo", Track17Call::GetTrackInfo},
                                         {"/track/v2.2/changeinfo", Track17Call::ChangeInfo}})
            route(path, [this, call](const httplib::Request& req, int& status) {
                return track17(call, req.body, req.get_header_value("17token"), status);
            });
        break;
    case FakeKind::Kdniao:
        route("/Ebusiness/EbusinessOrderHandle.aspx",
              [this](const httplib::Request& req, int& status) { return kdniao(req.body, status); });
        break;
    }
    m_port = listenOnThread(*m_server, "127.0.0.1", port, m_thread);
    return m_port > 0;
}

void FakeProvider::serve(const httplib::Request& req, httplib::Response& res,
                         const std::function<std::string(const httplib::Request&, int&)>& answer) {
    {
        ++m_requests;
        for (int waited = 0; waited < m_delayMs && m_server->is_running(); waited += 20)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (m_drop) {
            // Headers go out, then the connection is cut before the promised body.
            res.set_content_provider(64, "application/json", [](size_t, size_t, httplib::DataSink&) { return false; });
            return;
        }
        int status = 200;
        const std::string body = answer(req, status);
        res.status = status;
        res.set_content(body, "application/json; charset=utf-8");
    }
}

void FakeProvider::stop() {
    stopListening(m_server.get(), m_thread);
}

std::string FakeProvider::kuaidi100(const std::string& body, int& status) {
    const Form field(body);
    const auto fail = [](const char* code, const char* message) {
        return json({{"result", false}, {"returnCode", code}, {"message", q(message)}});
    };
    const std::string param = field("param");
    std::string expected = md5Hex(param + m_secrets.key + field("customer"));
    for (char& c : expected)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    // Documented: 400 for incomplete data, a wrong customer code or no quota; 503 for a wrong sign.
    if (field("customer") != m_secrets.customer)
        return fail("400", "提交的数据不完整，或者贵公司没授权");
    if (field("sign") != expected) {
        ++m_badSigns;
        return fail("503", "验证签名失败");
    }
    QJsonParseError error{};
    const QJsonObject p = QJsonDocument::fromJson(QByteArray::fromStdString(param), &error).object();
    const std::string com = p.value("com").toString().toStdString();
    const std::string number = p.value("num").toString().toStdString();
    const std::string phone = p.value("phone").toString().toStdString();
    const QString resultv2 = p.value("resultv2").toString(), order = p.value("order").toString();
    remember(com, phone);
    if (error.error != QJsonParseError::NoError || com.empty() || number.empty() ||
        !QStringList{"", "0", "1", "2", "4", "8"}.contains(resultv2) || !QStringList{"", "desc", "asc"}.contains(order))
        return fail("400", "提交的数据不完整，或者贵公司没授权");
    if (!kKuaidi100Codes.count(com))
        return fail("500", "查询无结果，请隔段时间再查"); // kuaidi100 has no parcel under a code it does not know
    const std::string code = errorCode(number);
    if (code == "500" || startsWith(number, "NOTFOUND"))
        return fail("500", "查询无结果，请隔段时间再查");
    if (code == "501" || code == "502") {
        status = 500;
        return fail(code.c_str(), "服务器错误");
    }
    if (code == "601")
        return fail("601", "POLL:KEY已过期");
    const bool done = startsWith(number, "SIGNED");
    // resultv2 4 and 8 give the sub-states (301 本人签收, 501 投柜或驿站, 1002 干线 ...), else the main ones.
    const bool subStates = resultv2 == u"4" || resultv2 == u"8";
    const char* state = done                           ? (subStates ? "301" : "3")
                        : startsWith(number, "PICKUP") ? (subStates ? "501" : "5")
                        : startsWith(number, "RETURN") ? "14"
                                                       : (subStates ? "1002" : "0");
    QJsonObject answer{{"message", "ok"},   {"nu", QString::fromStdString(number)}, {"ischeck", done ? "1" : "0"},
                       {"condition", "00"}, {"com", QString::fromStdString(com)},   {"status", "200"},
                       {"state", state}};
    if (resultv2 == u"8" && !done) { // the expected arrival, and the time in transit so far and to go
        answer.insert("arrivalTime", kArrivalTime);
        answer.insert("totalTime", q("8天3小时"));
        answer.insert("remainTime", q("1天9小时"));
    }
    // Documented failure for 顺丰 (and 中通) without the receiver's or sender's phone: no returnCode.
    if (kKuaidi100PhoneCodes.count(com) && phone != m_secrets.phoneTail) {
        answer.insert("message", q("快递公司参数异常：验证码错误"));
        answer.insert("status", "408");
        answer.insert("data", QJsonArray{});
        return json(answer);
    }
    const std::vector<Event> events = historyFor(number);
    QJsonArray data;
    for (const Event& e : events) {
        const QJsonObject o{{"time", q(e.time)},
                            {"ftime", q(e.time)},
                            {"context", q(e.text)},
                            {"areaName", q(e.place)},
                            {"status", q("在途")}};
        if (order == u"asc")
            data.append(o);
        else
            data.prepend(o); // newest first, the default
    }
    answer.insert("data", data);
    return json(answer);
}

std::string FakeProvider::track17(Track17Call call, const std::string& body, const std::string& token, int& status) {
    const bool reg = call == Track17Call::Register;
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
    // Every call takes an array of numbers; anything else is refused as a whole.
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(body));
    if (!doc.isArray())
        return json({{"code", -18010013},
                     {"data", QJsonObject{{"errors", QJsonArray{error(-18010013, "Invalid submitted data.")}}}}});
    const QJsonArray items = doc.array();
    QJsonArray accepted, rejected;
    for (const QJsonValue& v : items) {
        const QJsonObject item = v.toObject();
        const QString number = item.value("number").toString();
        const std::string n = number.toStdString();
        const std::string code = errorCode(n);
        const int carrier = item.value("carrier").toInt(0);
        const std::string param = item.value("param").toString().toStdString();
        if (reg)
            remember(carrier ? std::to_string(carrier) : std::string(), param);
        const auto reject = [&](int c, const char* message) {
            rejected.append(QJsonObject{{"number", number}, {"error", error(c, message)}});
        };
        if (!code.empty() && code != "18019909" && code.size() == 8) {
            reject(-std::stoi(code), "refused");
            continue;
        }
        if (item.contains("carrier") && !kTrack17Carriers.count(carrier)) {
            reject(-18019910, "The carrier's value is not correct.");
            continue;
        }
        const std::lock_guard lock(m_mutex);
        if (call == Track17Call::ChangeInfo) {
            // Documented: the new values go in "items"; only a registered number can be changed.
            const QJsonObject changes = item.value("items").toObject();
            if (!m_registered.count(n)) {
                reject(-18019902, "The tracking number is not registered.");
            } else if (changes.isEmpty()) {
                reject(-18010010, "The field of items is required.");
            } else {
                if (changes.contains("param")) {
                    m_params[n] = changes.value("param").toString().toStdString();
                    m_lastPhone = m_params[n];
                }
                ++m_infoChanges;
                accepted.append(QJsonObject{{"number", number}, {"carrier", carrier}});
            }
            continue;
        }
        if (reg) {
            if (!m_registered.insert(n).second) {
                reject(-18019901, "The tracking number is already registered.");
            } else {
                m_params[n] = param;
                accepted.append(QJsonObject{{"origin", 1}, {"number", number}, {"carrier", carrier ? carrier : 3011}});
            }
            continue;
        }
        if (!m_registered.count(n)) {
            reject(-18019902, "The tracking number is not registered.");
            continue;
        }
        // Right after registration 17TRACK has nothing yet for a while.
        if (startsWith(n, "NEW")) {
            reject(-18019909, "No tracking information at this time.");
            continue;
        }
        QJsonArray events;
        const auto addEvent = [&events](const QString& iso, const QString& utc, const QString& text,
                                        const QString& place) {
            events.append(QJsonObject{{"time_iso", iso},
                                      {"time_utc", utc},
                                      {"description", text},
                                      {"location", place},
                                      {"stage", QString()}});
        };
        // A 顺丰 number is read only with the phone tail given at registration.
        const bool found = !startsWith(n, "NOTFOUND") && (!startsWith(n, "SF") || m_params[n] == m_secrets.phoneTail);
        QString latest = !found ? "NotFound" : startsWith(n, "SIGNED") ? "Delivered" : "InTransit";
        if (found && carrier == kUps && startsWith(n, "1Z")) {
            latest = "Delivered";
            for (const ZonedEvent& e : kUpsDelivered)
                addEvent(q(e.iso), q(e.utc), q(e.text), q(e.place));
        } else if (found) {
            const std::vector<Event> history = historyFor(n);
            for (auto it = history.rbegin(); it != history.rend(); ++it) { // newest first
                QString iso = q(it->time);
                iso.replace(u' ', u'T');
                const QDateTime t = QDateTime::fromString(iso + "+08:00", Qt::ISODate);
                addEvent(iso + q("+08:00"), t.toUTC().toString(Qt::ISODate), q(it->text), q(it->place));
            }
        }
        QString sub = latest + "_Other";
        if (found && startsWith(n, "PICKUP"))
            latest = "AvailableForPickup", sub = "AvailableForPickup_Other";
        else if (found && startsWith(n, "RETURN"))
            latest = "Exception", sub = "Exception_Rejected";
        const QJsonObject state{{"status", latest}, {"sub_status", sub}};
        // The documented estimate: a range of carrier-local times, or nulls when there is none.
        const bool expected = found && latest != u"Delivered";
        const QJsonObject estimate{{"source", expected ? QJsonValue("Official") : QJsonValue()},
                                   {"from", expected ? QJsonValue(kTrack17From) : QJsonValue()},
                                   {"to", expected ? QJsonValue(kTrack17To) : QJsonValue()}};
        const QJsonObject provider{{"provider", QJsonObject{{"key", carrier}}}, {"events", events}};
        const QJsonObject tracking{{"providers", found ? QJsonArray{provider} : QJsonArray{}}};
        const QJsonObject info{{"latest_status", state},
                               {"time_metrics", QJsonObject{{"estimated_delivery_date", estimate}}},
                               {"tracking", tracking}};
        accepted.append(QJsonObject{{"number", number}, {"carrier", carrier}, {"track_info", info}});
    }
    return json({{"code", 0}, {"data", QJsonObject{{"accepted", accepted}, {"rejected", rejected}}}});
}

std::string FakeProvider::kdniao(const std::string& body, int& status) {
    (void)status;
    const Form field(body);
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
    const std::string type = field("RequestType");
    if ((type != "1002" && type != "8001") || field("DataType") != "2")
        return refuse("RequestType或DataType错误");
    const QJsonObject data = QJsonDocument::fromJson(QByteArray::fromStdString(requestData)).object();
    const std::string number = data.value("LogisticCode").toString().toStdString();
    const std::string shipper = data.value("ShipperCode").toString().toStdString();
    const std::string customerName = data.value("CustomerName").toString().toStdString();
    remember(shipper, customerName);
    if (!kKdniaoCodes.count(shipper))
        return refuse("快递公司编码错误");
    if (kKdniaoTrackingOnly.count(shipper))
        return refuse("该快递公司仅支持物流跟踪接口(1008/8008)查询");
    if (type == "1002" && kKdniaoNot1002.count(shipper))
        return refuse("该快递公司不支持即时查询(1002)，请使用快递查询(8001)");
    if (kKdniaoPhoneCodes.count(shipper) && customerName != m_secrets.phoneTail)
        return refuse("CustomerName错误：请填写寄件人或收件人手机号后四位");
    if (const char* reason = badReason(number))
        return refuse(reason);
    QJsonObject o = base;
    o.insert("OrderCode", data.value("OrderCode"));
    o.insert("ShipperCode", data.value("ShipperCode"));
    o.insert("LogisticCode", QString::fromStdString(number));
    // 1002 answers 顺丰 only for numbers ordered through kdniao (the documented sample is one).
    const bool notOrderedHere = type == "1002" && shipper == "SF" && number != "118461988807";
    if (startsWith(number, "NOTFOUND") || notOrderedHere) { // the documented answer for a number without traces
        o.insert("Success", false);
        o.insert("Reason", QJsonValue::Null);
        o.insert("Traces", QJsonArray{});
        return json(o);
    }
    o.insert("Success", true);
    o.insert("Reason", QJsonValue::Null);
    QJsonArray traces;
    if (number == "118461988807") {
        for (const Event& e : kKdniaoSample)
            traces.append(
                QJsonObject{{"AcceptTime", q(e.time)}, {"AcceptStation", q(e.text)}, {"Remark", QJsonValue::Null}});
        o.insert("State", 3);
        o.insert("Traces", traces);
        return json(o);
    }
    for (const Event& e : historyFor(number)) // oldest first
        traces.append(QJsonObject{{"AcceptTime", q(e.time)}, {"AcceptStation", q(e.text)}, {"Location", q(e.place)}});
    const bool signedFor = startsWith(number, "SIGNED");
    const bool pickup = startsWith(number, "PICKUP"), returned = startsWith(number, "RETURN");
    o.insert("State", signedFor ? "3" : returned ? "4" : "2");
    if (type == "8001") { // the detailed state and the expected delivery (the real-time query's extras)
        o.insert("StateEx", signedFor ? "301" : pickup ? "211" : returned ? "404" : "201");
        if (!signedFor)
            o.insert("EstimatedDeliveryTime", kKdniaoEstimate);
    }
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
