#include "gateway.h"

#include "couriers.h"
#include "providers.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QStringEncoder>

#include <algorithm>
#include <cstdio>

#include <sys/prctl.h>

namespace zjx::gateway {

namespace {

QString u(const char* s) {
    return QString::fromUtf8(s);
}

// Numbers of every provider are letters, digits and dashes; anything else would only spend quota.
bool plausibleNumber(const QString& number) {
    if (number.size() < 4 || number.size() > 40)
        return false;
    return std::all_of(number.begin(), number.end(), [](QChar c) {
        return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || c == u'-';
    });
}

zjx::service::Reply wrongKey() {
    QStringEncoder gbk("GBK");
    return {403, gbk.encode(u("<html><body>访问密钥无效</body></html>")), zjx::service::kGbkHtml};
}


CachePolicy withMinimum(CachePolicy policy, int providerMinimumMinutes) {
    policy.minutes = std::max(policy.minutes, providerMinimumMinutes);
    policy.signedForMinutes = std::max(policy.signedForMinutes, policy.minutes);
    policy.noResultMinutes = std::clamp(policy.noResultMinutes, providerMinimumMinutes, policy.minutes);
    return policy;
}

} // namespace

zjx::service::Reply busy() {
    return {503, "tracking service busy: too many parcels wait for the provider\n", "text/plain; charset=utf-8"};
}

void DemoBackend::answer(const TrackingAsk& ask, Done done) {
    done(GatewayAnswer{m_desk.answer(ask.code, ask.number, ask.key, QDateTime::currentDateTime()), {}, false});
}

ProviderBackend::ProviderBackend(std::unique_ptr<ProviderClient> client, CachePolicy policy, QString phoneTail,
                                 LogSink log, QObject* parent)
    : QObject(parent), m_client(std::move(client)), m_policy(withMinimum(policy, m_client->minimumCacheMinutes())),
      m_phoneTail(std::move(phoneTail)), m_log(std::move(log)), m_cache(policy.capacity, policy.cacheBytes),
      m_waiting(m_policy.maxWaitingParcels), m_clock([] { return QDeadlineTimer::current().deadline(); }) {
    m_client->setParent(this);
}

void ProviderBackend::answer(const TrackingAsk& ask, Done done) {
    if (ask.key != QLatin1String(zjx::service::kAccessKey))
        return done(GatewayAnswer{wrongKey(), {}, false});
    // Nothing the caller sent is echoed in a page: a number such as "NULL1234" would trip the markers.
    const zjx::service::Courier* courier = zjx::service::findCourier(ask.code);
    const CarrierCodes* codes = findCarrierCodes(ask.code);
    if (!courier || !codes || !m_client->serves(*codes))
        return done(GatewayAnswer{pageFor(Outcome::of(OutcomeKind::Unsupported), {}), {}, false});
    if (!plausibleNumber(ask.number))
        return done(GatewayAnswer{pageFor(Outcome::of(OutcomeKind::BadNumber), {}), {}, false});

    const QString key = ask.code + u'|' + ask.number;
    const auto hit = m_cache.find(key, m_clock());
    if (hit && hit->fresh)
        return done(GatewayAnswer{hit->reply, {}, true});
    if (const auto fault = m_recentFaults.constFind(key); fault != m_recentFaults.constEnd()) {
        if (m_clock() < fault->untilMs)
            return hit ? done(GatewayAnswer{hit->reply, fault->problem, true, fault->fault, hit->fetched})
                       : done(GatewayAnswer{fault->reply, fault->problem, false, fault->fault});
        m_recentFaults.erase(fault);
    }
    if (m_waiting.join(key, {done, ask.stillWanted}, GatewayAnswer{busy(), u("the client went away"), false}))
        return; // coalesced with the query under way
    if (!m_waiting.hasRoom(*m_client)) {
        const QString problem = u("busy: %1 parcels already wait for the provider").arg(m_policy.maxWaitingParcels);
        // Labelled a rate limit for the program: too much asked at once, try again later.
        return hit ? done(GatewayAnswer{hit->reply, problem, true, FaultKind::RateLimit, hit->fetched})
                   : done(GatewayAnswer{busy(), problem, false, FaultKind::RateLimit});
    }
    m_waiting.start(key, {std::move(done), ask.stillWanted});
    ++m_upstreamQueries;
    const QString companyName = QString::fromUtf8(courier->name);
    const QString label = name() + u' ' + ask.code + u'/' + ask.number;
    m_client->fetch(
        ProviderQuery{*codes, ask.number, m_phoneTail, [this, key] { return m_waiting.wanted(key); }},
        [this, key, label, companyName](const Outcome& outcome) { finish(key, label, companyName, outcome); });
}

void ProviderBackend::finish(const QString& cacheKey, const QString& label, const QString& companyName,
                             const Outcome& outcome) {
    GatewayAnswer answer;
    if (outcome.kind == OutcomeKind::Fault && outcome.fault == FaultKind::Abandoned) {
        // Never sent: nothing learnt about the parcel, so nothing is cached or remembered.
        ++m_droppedQueries;
        answer.reply = busy();
        answer.problem = faultWords(outcome.fault);
    } else if (outcome.kind == OutcomeKind::Fault) {
        const QString words = faultWords(outcome.fault);
        answer.problem = outcome.reason.startsWith(words) ? outcome.reason : words + u(": ") + outcome.reason;
        answer.fault = outcome.fault;
        const zjx::service::Reply own = faultReply(outcome);
        const auto stale = m_cache.find(cacheKey, m_clock());
        if (stale) {
            answer.reply = stale->reply;
            answer.cached = true;
            answer.fetched = stale->fetched;
        } else {
            answer.reply = own;
        }
        if (m_log)
            m_log(label + u(": ") + answer.problem +
                  (stale ? u(" (served the last good answer)")
                         : u(" (HTTP ") + QString::number(answer.reply.status) + u')'));
        if (m_recentFaults.size() >= m_policy.capacity) // bounded like the cache
            m_recentFaults.clear();
        m_recentFaults.insert(cacheKey, RecentFault{m_clock() + qint64(m_policy.faultSeconds) * 1000, own,
                                                    answer.problem, outcome.fault});
    } else if (outcome.events.size() > m_policy.maxEvents) {
        Outcome latest = outcome;
        latest.events = outcome.events.mid(outcome.events.size() - m_policy.maxEvents);
        if (m_log)
            m_log(label + u(": the provider sent more than %1 events; kept the latest %1 (at most %1 per parcel)")
                              .arg(m_policy.maxEvents));
        return finish(cacheKey, label, companyName, latest);
    } else {
        if (m_log && !outcome.reason.isEmpty()) // what a provider's answer may mean (kdniao's 顺丰 under 1002)
            m_log(label + u(": ") + outcome.reason);
        answer.reply = pageFor(outcome, companyName);
        const int minutes = outcome.signedFor                       ? m_policy.signedForMinutes
                            : outcome.kind == OutcomeKind::NotFound ? m_policy.noResultMinutes
                                                                    : m_policy.minutes;
        m_cache.store(cacheKey, answer.reply, m_clock() + qint64(minutes) * 60 * 1000, m_wallClock());
    }
    m_waiting.answer(cacheKey, answer);
}

std::unique_ptr<TrackingBackend> makeBackend(const GatewayConfig& config, int demoIntervalMinutes, LogSink log,
                                             QString* error, const QList<QSslCertificate>& extraCa) {
    if (log)
        for (const QString& warning : config.warnings)
            log(warning);
    // From here on the keys live in this process's memory: keep them out of core files.
    if (!config.secrets().isEmpty())
        ::prctl(PR_SET_DUMPABLE, 0);
    if (config.backend == u"demo")
        return std::make_unique<DemoBackend>(demoIntervalMinutes);
    if (const QString missing = config.missingSecret(); !missing.isEmpty()) {
        if (error)
            *error = missing + (config.path.isEmpty() ? QString() : u(" in ") + config.path);
        return nullptr;
    }
    const auto options = [&](const QUrl& url) { return ClientOptions{url, config.timeoutSeconds * 1000, extraCa}; };
    std::unique_ptr<ProviderClient> client;
    if (config.backend == u"kuaidi100")
        client = std::make_unique<Kuaidi100Client>(options(config.kuaidi100Url), config.kuaidi100Customer,
                                                   config.kuaidi100Key);
    else if (config.backend == u"17track")
        client = std::make_unique<Track17Client>(options(config.track17Url), config.track17Key);
    else
        client = std::make_unique<KdniaoClient>(options(config.kdniaoUrl), config.kdniaoBusinessId, config.kdniaoAppKey,
                                                config.kdniaoRequestType);
    CachePolicy policy;
    policy.minutes = config.cacheMinutes;
    return std::make_unique<ProviderBackend>(std::move(client), policy, config.phoneTail, std::move(log));
}

QString scrubbed(const QString& line, const QStringList& secrets) {
    QString safe = line;
    for (const QString& s : secrets)
        if (s.size() >= 4) // a shorter "secret" would blot out ordinary words
            safe.replace(s, u("***"));
    return safe;
}

zjx::service::Reply labelledReply(const GatewayAnswer& answer, const TrackingBackend& backend) {
    zjx::service::Reply reply = answer.reply;
    reply.headers.emplace_back("X-Zjx-Backend", backend.name().toStdString());
    reply.headers.emplace_back("X-Zjx-Cache-Minutes", std::to_string(backend.cacheMinutes()));
    if (answer.fault) {
        reply.headers.emplace_back("X-Zjx-Reason", reasonWord(*answer.fault).toStdString());
        if (answer.cached && answer.fetched.isValid())
            reply.headers.emplace_back("X-Zjx-Fetched", answer.fetched.toUTC().toString(Qt::ISODate).toStdString());
    }
    return reply;
}

LogSink stderrLog(const QStringList& secrets) {
    return [secrets](const QString& line) {
        const QString safe = scrubbed(line, secrets);
        const QByteArray out = QDateTime::currentDateTime().toString(u"yyyy-MM-dd HH:mm:ss").toUtf8() +
                               " gateway: " + safe.toUtf8() + '\n';
        std::fwrite(out.constData(), 1, size_t(out.size()), stderr);
        std::fflush(stderr);
    };
}

} // namespace zjx::gateway
