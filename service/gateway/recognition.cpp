#include "recognition.h"

#include "carriercodes.h"
#include "httpserver.h"
#include "providers.h"
#include "trackingpages.h"

#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <algorithm>

namespace zjx::gateway {

namespace {

QString u(const char* s) {
    return QString::fromUtf8(s);
}

// Letters, digits and dashes only, as every provider's numbers are; anything else costs nothing.
bool plausible(const QString& number) {
    return number.size() >= 4 && number.size() <= 40 && std::all_of(number.begin(), number.end(), [](QChar c) {
               return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || c == u'-';
           });
}

// The program's codes for a provider's code, in table order (several programs' companies may share
// one provider company, e.g. 邮政国内小包 and 中国邮政平邮).
void appendProgramCodes(QStringList& out, const QString& providerCode, const char* CarrierCodes::*field) {
    if (providerCode.isEmpty())
        return;
    for (int i = 0; i < carrierCodesCount(); ++i) {
        const CarrierCodes& row = carrierCodesAt(i);
        const QString code = QString::fromLatin1(row.code);
        if (providerCode == QLatin1String(row.*field) && !out.contains(code))
            out << code;
    }
}

Recognition fault(FaultKind kind, const QString& reason) {
    Recognition r;
    r.kind = Recognition::Kind::Fault;
    r.fault = kind;
    r.reason = reason;
    return r;
}

Recognition unreadable(const char* provider) {
    return fault(FaultKind::Provider, u(provider) + u(" answer unreadable"));
}

} // namespace

void Recognizer::postForm(const QByteArray& body, std::function<Recognition(const QByteArray&)> read, Wanted wanted,
                          Done done) {
    post(
        m_options.url, "application/x-www-form-urlencoded; charset=UTF-8", {}, body,
        [this, read = std::move(read), done](const HttpAnswer& answer) {
            if (answer.status != 200) {
                const Outcome refused = httpFault(answer.status, answer.body);
                return done(fault(refused.fault, refused.reason));
            }
            done(read(answer.body));
        },
        [done](const Outcome& failure) { done(fault(failure.fault, failure.reason)); }, std::move(wanted));
}

// ------------------------------------------------------------------------------------ kuaidi100

Kuaidi100Recognizer::Kuaidi100Recognizer(ClientOptions options, QString key, QObject* parent)
    : Recognizer(std::move(options), parent), m_key(std::move(key)) {}

QUrl Kuaidi100Recognizer::urlBeside(const QUrl& queryUrl) {
    // The query lives on poll.kuaidi100.com, the recognition on www.kuaidi100.com; another host
    // (a local stand-in) keeps its own host.
    QUrl url = queryUrl;
    if (url.host() == u"poll.kuaidi100.com")
        url.setHost(u("www.kuaidi100.com"));
    url.setPath(u("/autonumber/auto"));
    url.setQuery(QString());
    return url;
}

void Kuaidi100Recognizer::recognise(const QString& number, Wanted wanted, Done done) {
    postForm(formBody({{"num", number}, {"key", m_key}}), &Kuaidi100Recognizer::read, std::move(wanted),
             std::move(done));
}

Recognition Kuaidi100Recognizer::read(const QByteArray& body) {
    const QJsonDocument doc = QJsonDocument::fromJson(body);
    if (doc.isObject()) { // {"returnCode":"701","message":"...","result":false}
        const QJsonObject o = doc.object();
        const QString code = o.value("returnCode").toVariant().toString();
        if (code == u"201") // not a valid number: nothing to suggest
            return {};
        const QString why = u("kuaidi100 refused: ") + code;
        if (code == u"601")
            return fault(FaultKind::Quota, why);
        if (code == u"701" || code == u"700")
            return fault(FaultKind::BadKey, why);
        return fault(FaultKind::Provider, why);
    }
    if (!doc.isArray())
        return unreadable("kuaidi100");
    Recognition r;
    for (const QJsonValue& v : doc.array())
        appendProgramCodes(r.codes, v.toObject().value("comCode").toString(), &CarrierCodes::kuaidi100);
    return r;
}

// --------------------------------------------------------------------------------------- kdniao

KdniaoRecognizer::KdniaoRecognizer(ClientOptions options, QString businessId, QString appKey, QObject* parent)
    : Recognizer(std::move(options), parent), m_businessId(std::move(businessId)), m_appKey(std::move(appKey)) {}

QByteArray KdniaoRecognizer::requestData(const QString& number) {
    return QJsonDocument(QJsonObject{{"LogisticCode", number}}).toJson(QJsonDocument::Compact);
}

void KdniaoRecognizer::recognise(const QString& number, Wanted wanted, Done done) {
    const QByteArray data = requestData(number);
    postForm(formBody({{"RequestData", QString::fromUtf8(data)},
                       {"EBusinessID", m_businessId},
                       {"RequestType", u("2002")},
                       {"DataSign", QString::fromLatin1(KdniaoClient::dataSign(data, m_appKey))},
                       {"DataType", u("2")}}),
             &KdniaoRecognizer::read, std::move(wanted), std::move(done));
}

Recognition KdniaoRecognizer::read(const QByteArray& body) {
    const QJsonDocument doc = QJsonDocument::fromJson(body);
    if (!doc.isObject())
        return unreadable("kdniao");
    const QJsonObject o = doc.object();
    if (!o.value("Success").toBool()) {
        const QString reason = o.value("Reason").toString().left(200);
        if (reason.contains(u("签名")) || reason.contains(u("密钥")) || reason.contains(u("商户")))
            return fault(FaultKind::BadKey, u("kdniao refused"));
        if (reason.contains(u("套餐")) || reason.contains(u("次数")) || reason.contains(u("余额")))
            return fault(FaultKind::Quota, u("kdniao refused"));
        return {}; // an unknown number is no fault: nothing to suggest
    }
    Recognition r;
    for (const QJsonValue& v : o.value("Shippers").toArray())
        appendProgramCodes(r.codes, v.toObject().value("ShipperCode").toString(), &CarrierCodes::kdniao);
    return r;
}

// ---------------------------------------------------------------------------------- the backend

RecognitionBackend::RecognitionBackend(std::unique_ptr<Recognizer> recognizer, int cacheMinutes, LogSink log,
                                       int maxWaiting, QObject* parent)
    : QObject(parent), m_recognizer(std::move(recognizer)),
      m_cacheMinutes(std::max(cacheMinutes, m_recognizer ? m_recognizer->minimumCacheMinutes() : 0)),
      m_log(std::move(log)), m_waiting(maxWaiting), m_clock([] { return QDeadlineTimer::current().deadline(); }) {
    if (m_recognizer)
        m_recognizer->setParent(this);
}

void RecognitionBackend::setBackend(const QString& name, std::function<QStringList(const QString&)> localAnswer) {
    m_backendName = name.toLatin1();
    m_localAnswer = std::move(localAnswer);
}

void RecognitionBackend::answer(const QString& number, const QString& key, Wanted stillWanted, Done given) {
    static const char plain[] = "text/plain; charset=utf-8";
    // The program says whose recognition chose a company.
    Done done = [this, given = std::move(given)](zjx::service::Reply reply) {
        if (!m_backendName.isEmpty() && reply.status == 200)
            reply.headers.emplace_back("X-Zjx-Backend", m_backendName.toStdString());
        given(reply);
    };
    if (key != QLatin1String(zjx::service::kAccessKey))
        return done({403, "access key refused", plain});
    if (m_localAnswer && plausible(number))
        return done({200, m_localAnswer(number).join(u'\n').toUtf8(), plain});
    if (!m_recognizer || !plausible(number))
        return done({200, {}, plain});
    if (const auto hit = m_cache.constFind(number); hit != m_cache.constEnd()) {
        if (m_clock() < hit->untilMs)
            return done(hit->reply);
        m_cache.erase(hit);
    }
    if (m_waiting.join(number, {done, stillWanted}, busy()))
        return; // coalesced with the query under way
    if (!m_waiting.hasRoom(*m_recognizer))
        return done(busy());
    m_waiting.start(number, {std::move(done), std::move(stillWanted)});
    ++m_upstreamQueries;
    m_recognizer->recognise(
        number, [this, number] { return m_waiting.wanted(number); },
        [this, number](const Recognition& r) { finish(number, r); });
}

void RecognitionBackend::finish(const QString& number, const Recognition& r) {
    if (r.kind == Recognition::Kind::Fault && r.fault == FaultKind::Abandoned) {
        // Never sent: nothing learnt about the number, so nothing is cached.
        ++m_droppedQueries;
        return m_waiting.answer(number, busy());
    }
    zjx::service::Reply reply{200, {}, "text/plain; charset=utf-8"};
    qint64 lifetimeMs = qint64(m_cacheMinutes) * 60 * 1000;
    if (r.kind == Recognition::Kind::Fault) {
        Outcome outcome = Outcome::failure(r.fault, r.reason);
        reply = faultReply(outcome);
        lifetimeMs = 60 * 1000; // a failing provider is not asked again for this number for a minute
        if (m_log)
            m_log(m_recognizer->name() + u(" recognition ") + number + u(": ") + faultWords(r.fault) + u(": ") +
                  r.reason);
    } else {
        reply.body = r.codes.join(u'\n').toUtf8();
    }
    if (m_cache.size() >= 10000) // bounded like the tracking cache
        m_cache.clear();
    m_cache.insert(number, Cached{m_clock() + lifetimeMs, reply});
    m_waiting.answer(number, reply);
}

QStringList demoRecognition(const QString& typed) {
    const QString number = typed.toUpper().remove(u'-');
    static const QRegularExpression digits(QStringLiteral("^[0-9]+$"));
    const auto starts = [&](const char* prefix) { return number.startsWith(QLatin1String(prefix)); };
    const qsizetype length = number.size();
    if (!digits.match(number).hasMatch()) {
        static const std::pair<const char*, const char*> prefixes[] = {
            {"SF", "shunfeng"}, {"JT", "jtexpress"}, {"YT", "yuantong"}, {"JD", "jd"}, {"DPK", "debangkuaidi"},
            {"1Z", "ups"}};
        for (const auto& [prefix, code] : prefixes)
            if (starts(prefix))
                return {u(code)};
        static const QRegularExpression ems(QStringLiteral("^E[A-Z][0-9]{9}[A-Z]{2}$"));
        return ems.match(number).hasMatch() ? QStringList{u("ems")} : QStringList{};
    }
    // The plain-digit numbers the big Chinese couriers print, by length and first digits.
    if (starts("77") && (length == 13 || length == 15))
        return {u("shentong")};
    if (starts("7") && (length == 12 || length == 14 || length == 15))
        return {u("zhongtong")};
    if ((starts("3") || starts("4") || starts("1")) && length == 13)
        return {u("yunda")};
    if (starts("98") && length == 13)
        return {u("gnxb"), u("pingyou")};
    if (length == 10 || (length == 12 && (starts("2") || starts("6") || starts("8"))))
        return {u("yuantong")};
    if (length >= 11 && length <= 15)
        return {u("zhongtong"), u("yunda")};
    return {};
}

std::unique_ptr<RecognitionBackend> makeRecognitionBackend(const GatewayConfig& config, LogSink log,
                                                           const QList<QSslCertificate>& extraCa) {
    const auto options = [&](const QUrl& url) { return ClientOptions{url, config.timeoutSeconds * 1000, extraCa}; };
    std::unique_ptr<Recognizer> recognizer;
    if (config.backend == u"kuaidi100")
        recognizer = std::make_unique<Kuaidi100Recognizer>(options(Kuaidi100Recognizer::urlBeside(config.kuaidi100Url)),
                                                           config.kuaidi100Key);
    else if (config.backend == u"kdniao")
        recognizer =
            std::make_unique<KdniaoRecognizer>(options(config.kdniaoUrl), config.kdniaoBusinessId, config.kdniaoAppKey);
    auto backend = std::make_unique<RecognitionBackend>(std::move(recognizer), config.cacheMinutes, std::move(log));
    backend->setBackend(config.backend, config.backend == u"demo" ? &demoRecognition : nullptr);
    return backend;
}

void addRecognitionRoute(zjx::service::HttpServer& server, RecognitionBackend& backend) {
    server.route("GET", "/autonumber",
                 [&backend](const zjx::service::HttpRequest& req, const zjx::service::HttpResponder& out) {
                     // A query whose clients have all gone is not sent.
                     backend.answer(
                         req.param("nu"), req.param("id"), [out] { return out.stillWanted(); },
                         [out](const zjx::service::Reply& reply) { out.send(reply); });
                 });
}

} // namespace zjx::gateway
