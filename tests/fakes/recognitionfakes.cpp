#include "fakes/recognitionfakes.h"

#include "fakes/listening.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrlQuery>

#include <httplib.h>

namespace zjx::fakes {

namespace {

QString field(const std::string& body, const char* name) {
    // A form body: '+' is not used by the clients, every other byte is percent-encoded.
    const QUrlQuery q(QString::fromUtf8(body.c_str()));
    return QUrl::fromPercentEncoding(q.queryItemValue(QString::fromLatin1(name), QUrl::FullyEncoded).toUtf8());
}

} // namespace

FakeRecognition::FakeRecognition(Kind kind, std::string key, std::string businessId)
    : m_kind(kind), m_key(std::move(key)), m_businessId(std::move(businessId)) {}

FakeRecognition::~FakeRecognition() {
    stopListening(m_server.get(), m_thread);
}

bool FakeRecognition::start() {
    m_server = std::make_unique<httplib::Server>();
    m_server->Post(R"(/.*)", [this](const httplib::Request& req, httplib::Response& res) {
        ++m_requests;
        int status = 200;
        const bool rightPath = m_kind == Kind::Kuaidi100 ? req.path == "/autonumber/auto"
                                                         : req.path == "/Ebusiness/EbusinessOrderHandle.aspx";
        const std::string body = rightPath ? answer(req.body, status) : (status = 404, std::string("{}"));
        res.status = status;
        res.set_content(body, "application/json; charset=utf-8");
    });
    m_port = listenOnThread(*m_server, "127.0.0.1", 0, m_thread);
    return m_port > 0;
}

QString FakeRecognition::url() const {
    const QString base = QStringLiteral("http://127.0.0.1:%1").arg(m_port);
    return base + (m_kind == Kind::Kuaidi100 ? QStringLiteral("/poll/query.do")
                                             : QStringLiteral("/Ebusiness/EbusinessOrderHandle.aspx"));
}

std::string FakeRecognition::answer(const std::string& body, int& status) {
    status = 200;
    if (m_kind == Kind::Kuaidi100) {
        if (field(body, "key") != QString::fromStdString(m_key))
            return R"({"returnCode":"701","message":"POLL: KEY 缺失","result":false})";
        const QString num = field(body, "num");
        if (num.startsWith(u"ERR"))
            return R"({"returnCode":"601","message":"POLL: KEY 已过期","result":false})";
        if (num.startsWith(u"NONE"))
            return "[]";
        return R"([{"lengthPre":13,"comCode":"youzhengguonei","name":"邮政快递包裹"},)"
               R"({"lengthPre":13,"comCode":"zhongtong","name":"中通快递"}])";
    }
    const QByteArray data = field(body, "RequestData").toUtf8();
    const QByteArray sign =
        QCryptographicHash::hash(QByteArray(data + QByteArray::fromStdString(m_key)), QCryptographicHash::Md5)
            .toHex()
            .toBase64();
    if (field(body, "RequestType") != u"2002" || field(body, "EBusinessID") != QString::fromStdString(m_businessId) ||
        field(body, "DataSign").toLatin1() != sign) {
        ++m_badSigns;
        return R"({"Success":false,"Reason":"签名错误"})";
    }
    const QString num = QJsonDocument::fromJson(data).object().value("LogisticCode").toString();
    if (num.startsWith(u"ERR"))
        return R"({"Success":false,"Reason":"没有可用套餐，请购买后再试"})";
    if (num.startsWith(u"NONE"))
        return R"({"Success":true,"Shippers":[]})";
    return R"({"EBusinessID":"x","Success":true,"LogisticCode":"n","Shippers":[{"ShipperCode":"YZPY","ShipperName":"邮政快递包裹"},{"ShipperCode":"ZTO","ShipperName":"中通快递"}]})";
}

} // namespace zjx::fakes
