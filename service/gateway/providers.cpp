#include "providers.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTimeZone>
#include <QTimer>

#include <algorithm>
#include <optional>
#include <variant>

namespace zjx::gateway {

namespace {

QString u(const char* s) {
    return QString::fromUtf8(s);
}

// JSON fields that providers send as a string or as a number alike.
QString text(const QJsonValue& v) {
    if (v.isString())
        return v.toString();
    if (v.isDouble())
        return QString::number(qint64(v.toDouble()));
    if (v.isBool())
        return v.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    return {};
}

std::optional<QJsonObject> objectOf(const QByteArray& body) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    return doc.object();
}

Outcome unreadable(const QString& provider, const QByteArray& body) {
    return Outcome::failure(FaultKind::Provider, provider + u(": an answer that is not the documented JSON: ") +
                                                     logSafe(QString::fromUtf8(body.left(120))));
}

QByteArray compact(const QJsonValue& v) {
    return v.isArray() ? QJsonDocument(v.toArray()).toJson(QJsonDocument::Compact)
                       : QJsonDocument(v.toObject()).toJson(QJsonDocument::Compact);
}

// Companies that answer only with the receiver's or sender's phone tail.
bool needsPhoneTail(const CarrierCodes& codes) {
    return qstrcmp(codes.code, "shunfeng") == 0 || qstrcmp(codes.code, "zhongtong") == 0;
}

// China time: UTC+8, no daylight saving.
const QTimeZone& chinaZone() {
    static const QTimeZone zone(8 * 3600);
    return zone;
}

// kuaidi100 and kdniao write Beijing time without a zone.
QDateTime beijingTime(const QString& text) {
    const QTimeZone& beijing = chinaZone();
    for (const char16_t* format :
         {u"yyyy-MM-dd HH:mm:ss", u"yyyy/MM/dd HH:mm:ss", u"yyyy-MM-dd HH:mm", u"yyyy/MM/dd HH:mm"}) {
        QDateTime t = QDateTime::fromString(text.trimmed(), QString::fromUtf16(format));
        if (t.isValid()) {
            t.setTimeZone(beijing);
            return t;
        }
    }
    return {};
}

// An event with the moment it happened (invalid when the provider's time could not be read).
struct Stamped {
    QDateTime when;
    ParcelEvent event;
};

ParcelEvent stamped(const QDateTime& when, const QString& asSent, const QString& text, const QString& place) {
    // Shown in the user's local time zone (the service runs as the user).
    return ParcelEvent{when.isValid() ? when.toLocalTime().toString(u"yyyy-MM-dd HH:mm:ss") : asSent, text, place};
}

// The events of a history, given in the provider's order: listed by time, latest first, the
// provider's order kept among equal times (and for times that cannot be read, which go last); the
// outcome holds them oldest first, as the page does.
Outcome history(std::vector<Stamped> all, ProviderState state, const QString& estimatedDelivery,
                const QDateTime& now = QDateTime::currentDateTimeUtc()) {
    std::stable_sort(all.begin(), all.end(), [](const Stamped& a, const Stamped& b) {
        if (a.when.isValid() != b.when.isValid())
            return a.when.isValid();
        return a.when.isValid() && a.when > b.when;
    });
    if (all.empty())
        return Outcome::of(OutcomeKind::NotFound);
    Outcome out = Outcome::of(OutcomeKind::Events);
    for (auto it = all.rbegin(); it != all.rend(); ++it)
        out.events.append(it->event);
    out.state = state;
    out.signedFor = state == ProviderState::Signed;
    // A day more than a year ahead is a placeholder ("9999-12-31") or a slip, not an estimate.
    const QDate last = QDate::fromString(estimatedDelivery.section(u'/', -1), Qt::ISODate);
    if (last.isValid() && last <= now.toTimeZone(chinaZone()).date().addYears(1))
        out.estimatedDelivery = estimatedDelivery;
    return out;
}

// A provider's date ("2026-12-09", "2026/12/09", maybe followed by a time) as "YYYY-MM-DD"; "" when
// it is none.
QString isoDate(const QString& text) {
    for (const char16_t* format : {u"yyyy-MM-dd", u"yyyy/MM/dd"})
        if (const QDate d = QDate::fromString(text.trimmed().left(10), QString::fromUtf16(format)); d.isValid())
            return d.toString(Qt::ISODate);
    return {};
}

// The estimate between two dates, either of which may be missing: one date, or "from/to".
QString dateRange(const QString& from, const QString& to) {
    if (from.isEmpty() || to.isEmpty() || to <= from) // ISO dates sort as text
        return from.isEmpty() ? to : from;
    return from + u'/' + to;
}

// A value of one of the tables below: the provider's documented state values, each with the state
// the program is told.
struct StateRow {
    const char16_t* value;
    ProviderState state;
};

template <size_t N> std::optional<ProviderState> lookUp(const StateRow (&table)[N], const QString& value) {
    for (const StateRow& row : table)
        if (value == row.value)
            return row.state;
    return std::nullopt;
}

constexpr ProviderState Transit = ProviderState::Transit, Delivering = ProviderState::Delivering,
                        Pickup = ProviderState::Pickup, Signed = ProviderState::Signed,
                        Returned = ProviderState::Returned, Exception = ProviderState::Exception,
                        Unknown = ProviderState::Unknown;

// kuaidi100's "state" with resultv2 4 or 8: its main states and their sub-states. A refusal is
// "returned" (the parcel goes back); a parcel left in a locker or at a station, also one waiting
// there too long, is "pickup".
constexpr StateRow kKuaidi100States[] = {
    {u"1", Transit},     {u"101", Transit},   {u"102", Transit},
    {u"103", Transit}, // 揽收: 已下单 待揽收 已揽收
    {u"0", Transit},     {u"1001", Transit},  {u"1002", Transit},
    {u"1003", Transit},                    // 在途: 到达派件城市 干线 转递
    {u"5", Delivering},  {u"501", Pickup}, // 派件, 投柜或驿站
    {u"3", Signed},      {u"301", Signed},    {u"302", Signed},
    {u"303", Signed}, // 签收, 本人 派件异常后 代签
    {u"304", Signed}, // 投柜或站签收
    {u"6", Returned},    {u"4", Returned},    {u"401", Exception},
    {u"14", Returned}, // 退回, 退签, 已销单, 拒签
    {u"7", Transit},   // 转投
    {u"8", Transit},     {u"10", Transit},    {u"11", Transit},
    {u"12", Transit},   // 清关: 待清关 清关中 已清关
    {u"13", Exception}, // 清关异常
    {u"2", Exception},   {u"201", Exception}, {u"202", Exception},
    {u"203", Returned}, // 疑难: 超时未签收 超时未更新 拒收
    {u"204", Exception}, {u"205", Pickup},    {u"206", Exception},
    {u"207", Exception}, // 派件异常 柜或驿站超时未取 无法联系 超区
    {u"208", Exception}, {u"209", Exception}, {u"210", Exception}, // 滞留 破损 销单
};

// 17TRACK's sub_status, then its main status for a sub-status it does not list.
constexpr StateRow kTrack17SubStatuses[] = {
    {u"NotFound_Other", Unknown},
    {u"NotFound_InvalidCode", Unknown},
    {u"InfoReceived", Transit},
    {u"InTransit_PickedUp", Transit},
    {u"InTransit_Other", Transit},
    {u"InTransit_Departure", Transit},
    {u"InTransit_Arrival", Transit},
    {u"InTransit_CustomsProcessing", Transit},
    {u"InTransit_CustomsReleased", Transit},
    {u"InTransit_CustomsRequiringInformation", Exception},
    {u"Expired_Other", Exception},
    {u"AvailableForPickup_Other", Pickup},
    {u"OutForDelivery_Other", Delivering},
    {u"DeliveryFailure_Other", Exception},
    {u"DeliveryFailure_NoBody", Exception},
    {u"DeliveryFailure_Security", Exception},
    {u"DeliveryFailure_Rejected", Returned},
    {u"DeliveryFailure_InvalidAddress", Exception},
    {u"Delivered_Other", Signed},
    {u"Exception_Other", Exception},
    {u"Exception_Returning", Returned},
    {u"Exception_Returned", Returned},
    {u"Exception_NoBody", Exception},
    {u"Exception_Security", Exception},
    {u"Exception_Damage", Exception},
    {u"Exception_Rejected", Returned},
    {u"Exception_Delayed", Exception},
    {u"Exception_Lost", Exception},
    {u"Exception_Destroyed", Exception},
    {u"Exception_Cancel", Exception},
};
constexpr StateRow kTrack17Statuses[] = {
    {u"NotFound", Unknown},          {u"InfoReceived", Transit},      {u"InTransit", Transit},
    {u"Expired", Exception},         {u"AvailableForPickup", Pickup}, {u"OutForDelivery", Delivering},
    {u"DeliveryFailure", Exception}, {u"Delivered", Signed},          {u"Exception", Exception},
};

// kdniao's StateEx (8001), then its State for a StateEx it does not list (1002 sends State only).
constexpr StateRow kKdniaoStateExes[] = {
    {u"0", Unknown},                        // 暂无轨迹信息
    {u"1", Transit},      {u"10", Transit}, // 已揽收, 待揽件
    {u"2", Transit},      {u"201", Transit},    {u"204", Transit},
    {u"205", Transit}, // 在途中: 到达派件城市 转运中心 派件网点
    {u"206", Transit},    {u"202", Delivering}, {u"211", Pickup}, // 寄件网点发件, 派件中, 快递柜或驿站
    {u"3", Signed},       {u"301", Signed},     {u"302", Signed},
    {u"304", Signed}, // 已签收: 正常 轨迹异常后 代收
    {u"311", Signed}, // 快递柜或驿站签收
    {u"4", Exception},    {u"401", Exception},  {u"402", Exception},
    {u"403", Exception}, // 问题件: 发货无信息 超时未签收 超时未更新
    {u"404", Returned},   {u"405", Exception},  {u"406", Returned},
    {u"407", Returned}, // 拒收(退件) 派件异常 退货签收 退货未签收
    {u"412", Pickup},     {u"413", Exception},  {u"414", Exception},
    {u"415", Exception}, // 柜或驿站超时未取 已拦截 破损 取消发货
    {u"416", Exception},  {u"417", Exception},  {u"418", Exception},
    {u"419", Delivering}, // 无法联系 配送延迟 快件取出 重新派送
    {u"420", Exception},  {u"421", Exception},  {u"422", Exception},
    {u"423", Exception}, // 地址不详细 电话错误 错分件 超区件
    {u"5", Transit},     // 转寄
    {u"6", Transit},      {u"601", Transit},    {u"602", Transit},
    {u"603", Transit},   // 清关: 待清关 清关中 已清关
    {u"604", Exception}, // 清关异常
};
constexpr StateRow kKdniaoStates[] = {
    {u"0", Unknown},   {u"1", Transit}, {u"2", Transit}, {u"3", Signed},
    {u"4", Exception}, {u"5", Transit}, {u"6", Transit},
};

} // namespace

ProviderState kuaidi100State(const QString& state, const QString& ischeck) {
    if (const std::optional<ProviderState> known = lookUp(kKuaidi100States, state))
        return *known;
    return ischeck == u"1" ? ProviderState::Signed : ProviderState::Unknown; // "ischeck": signed for
}

ProviderState track17State(const QString& status, const QString& subStatus) {
    return lookUp(kTrack17SubStatuses, subStatus).value_or(lookUp(kTrack17Statuses, status).value_or(Unknown));
}

ProviderState kdniaoState(const QString& state, const QString& stateEx) {
    return lookUp(kKdniaoStateExes, stateEx).value_or(lookUp(kKdniaoStates, state).value_or(Unknown));
}

QString kuaidi100Estimate(const QString& arrivalTime, const QString& remainTime, const QDateTime& now) {
    if (const QString date = isoDate(arrivalTime); !date.isEmpty())
        return date;
    // "1天9小时": the time still to go from now.
    static const QRegularExpression remaining(QStringLiteral("^\\s*(\\d{1,3})天(\\d{1,2})小时"));
    const QRegularExpressionMatch m = remaining.match(remainTime);
    if (!m.hasMatch())
        return {};
    const qint64 hours = m.captured(1).toLongLong() * 24 + m.captured(2).toLongLong();
    return now.toTimeZone(chinaZone()).addSecs(hours * 3600).date().toString(Qt::ISODate);
}

QString track17Estimate(const QJsonObject& estimatedDeliveryDate) {
    const auto chinaDate = [](const QJsonValue& v) {
        const QString iso = v.toString().trimmed();
        if (iso.size() == 10) // a date alone
            return isoDate(iso);
        const QDateTime t = QDateTime::fromString(iso, Qt::ISODate);
        return t.isValid() ? t.toTimeZone(chinaZone()).date().toString(Qt::ISODate) : QString();
    };
    return dateRange(chinaDate(estimatedDeliveryDate.value("from")), chinaDate(estimatedDeliveryDate.value("to")));
}

// ---------------------------------------------------------------------------------------- kuaidi100

Kuaidi100Client::Kuaidi100Client(ClientOptions options, QString customer, QString key, QObject* parent)
    : ProviderClient(std::move(options), parent), m_customer(std::move(customer)), m_key(std::move(key)) {}

QByteArray Kuaidi100Client::param(const ProviderQuery& query) {
    QJsonObject param{{"com", QString::fromLatin1(query.codes.kuaidi100)},
                      {"num", query.number},
                      {"resultv2", "8"},
                      {"show", "0"},
                      {"order", "desc"}};
    // The receiver's phone tail goes only to the companies kuaidi100 answers for with nothing less:
    // 顺丰 and 中通 as everywhere, and 顺丰快运, which kuaidi100 reads with 顺丰's rules.
    if (needsPhoneTail(query.codes) || qstrcmp(query.codes.kuaidi100, "shunfengkuaiyun") == 0)
        param.insert("phone", query.phoneTail);
    return compact(param);
}

QByteArray Kuaidi100Client::sign(const QByteArray& param, const QString& key, const QString& customer) {
    return QCryptographicHash::hash(QByteArray(param + key.toUtf8() + customer.toUtf8()), QCryptographicHash::Md5)
        .toHex()
        .toUpper();
}

Outcome Kuaidi100Client::read(const QByteArray& body, const QDateTime& now) {
    const std::optional<QJsonObject> o = objectOf(body);
    if (!o)
        return unreadable(u("kuaidi100"), body);
    const QString message = logSafe(text(o->value("message")));
    const QString status = text(o->value("status"));
    // 顺丰 (and 中通) without the right phone: status "408" and "快递公司参数异常：验证码错误", no returnCode.
    if (text(o->value("returnCode")) == u"408" || status == u"408" ||
        (status != u"200" && message.contains(u("验证码"))))
        return Outcome::failure(FaultKind::PhoneTail,
                                u("kuaidi100 status 408: ") + message +
                                    u(" (set phone_tail in [gateway] to the receiver's or sender's last four digits)"));
    if (o->contains("returnCode") || o->value("result") == QJsonValue(false)) {
        const QString code = text(o->value("returnCode"));
        const QString why = u("kuaidi100 returnCode ") + code + u(": ") + message;
        if (code == u"400") // incomplete data, a wrong customer or no quota: never a parcel's answer
            return Outcome::failure(FaultKind::Account,
                                    u("account or request refused (400): check [kuaidi100] customer, key and "
                                      "remaining quota (kuaidi100: ") +
                                        message + u')');
        if (code == u"500")
            return Outcome::of(OutcomeKind::NotFound);
        if (code == u"503") // a wrong key shows as a wrong sign
            return Outcome::failure(FaultKind::Signature, why + u(" (check [kuaidi100] customer and key)"));
        if (code == u"601")
            return Outcome::failure(FaultKind::Quota, why + u(" (key expired or no quota left)"));
        return Outcome::failure(FaultKind::Provider, why);
    }
    const ProviderState state = kuaidi100State(text(o->value("state")), text(o->value("ischeck")));
    // resultv2 8: when kuaidi100 expects the parcel ("2026-12-09 12") and how long that is from now.
    const QString estimate = kuaidi100Estimate(text(o->value("arrivalTime")), text(o->value("remainTime")), now);
    std::vector<Stamped> all;
    // Latest first on the wire; past the cap only the latest are read (one more tells the cap was hit).
    const QJsonArray data = o->value("data").toArray();
    for (qsizetype i = 0; i < std::min(data.size(), qsizetype(kMaxEvents) + 1); ++i) {
        const QJsonObject e = data.at(i).toObject();
        QString time = text(e.value("ftime"));
        if (time.isEmpty())
            time = text(e.value("time"));
        QString place = text(e.value("location"));
        if (place.isEmpty())
            place = text(e.value("areaName"));
        const QDateTime when = beijingTime(time);
        all.push_back({when, stamped(when, time, text(e.value("context")), place)});
    }
    return history(std::move(all), state, estimate, now);
}

void Kuaidi100Client::fetch(const ProviderQuery& query, Done done) {
    const QByteArray p = param(query);
    const QByteArray body = formBody({{"customer", m_customer},
                                      {"sign", QString::fromLatin1(sign(p, m_key, m_customer))},
                                      {"param", QString::fromUtf8(p)}});
    post(
        m_options.url, "application/x-www-form-urlencoded; charset=UTF-8", {}, body,
        [this, done](const HttpAnswer& a) {
            // An error object explains itself whatever the status; anything else is judged by its status.
            const std::optional<QJsonObject> o = objectOf(a.body);
            if (a.status == 200 || (o && o->contains("returnCode")))
                done(read(a.body));
            else
                done(httpFault(a.status, a.body));
        },
        done, query.stillWanted);
}

// ------------------------------------------------------------------------------------------ 17TRACK

namespace {

Outcome track17Error(int code, const QString& message) {
    const QString why = u("17TRACK error ") + QString::number(code) + u(": ") + logSafe(message);
    switch (code) {
    case -18010002:
        return Outcome::failure(FaultKind::BadKey, why);
    case -18010001: // the caller's IP address is not allowed
    case -18010004: // account disabled
    case -18010005: // unauthorised access
        return Outcome::failure(FaultKind::Account, why + u(" (check the 17TRACK account and [17track] key)"));
    case -18019907:
        return Outcome::failure(FaultKind::Quota, why + u(" (daily request limit reached)"));
    case -18019908:
        return Outcome::failure(FaultKind::Quota, why + u(" (quota used up)"));
    case -18019903:
        return Outcome::of(OutcomeKind::Unsupported);
    case -18019909: // normal right after registration: the carrier has not been read yet
        return Outcome::of(OutcomeKind::NotFound);
    default:
        return Outcome::failure(FaultKind::Provider, why);
    }
}

// The first error of a rejected entry, or of the answer as a whole.
std::pair<int, QString> firstError(const QJsonObject& holder) {
    const QJsonObject error = holder.value("error").toObject();
    return {error.value("code").toInt(), error.value("message").toString()};
}

} // namespace

Outcome Track17Client::readEntry(const QJsonObject& entry) {
    const QJsonObject info = entry.value("track_info").toObject();
    const QJsonObject latest = info.value("latest_status").toObject();
    const ProviderState state = track17State(latest.value("status").toString(), latest.value("sub_status").toString());
    // Several carriers may report one parcel: merged by time.
    std::vector<Stamped> all;
    for (const QJsonValue& p : info.value("tracking").toObject().value("providers").toArray()) {
        const QJsonArray events = p.toObject().value("events").toArray(); // latest first: the latest within the cap
        for (qsizetype i = 0; i < events.size() && i <= kMaxEvents && all.size() <= 10 * size_t(kMaxEvents); ++i) {
            const QJsonObject e = events.at(i).toObject();
            // time_utc is the moment; time_iso carries the carrier's local offset (same moment).
            const QString iso = e.value("time_iso").toString();
            QDateTime when = QDateTime::fromString(e.value("time_utc").toString(), Qt::ISODate);
            if (!when.isValid())
                when = QDateTime::fromString(iso, Qt::ISODate);
            all.push_back({when, stamped(when, iso, e.value("description").toString(), text(e.value("location")))});
        }
    }
    return history(std::move(all), state,
                   track17Estimate(info.value("time_metrics").toObject().value("estimated_delivery_date").toObject()));
}

Track17Client::Track17Client(ClientOptions options, QString key, QObject* parent)
    : ProviderClient(std::move(options), parent), m_key(std::move(key)) {}

void Track17Client::call(const char* path, const QByteArray& body, std::function<void(const QJsonObject&)> read,
                         Done done, Wanted wanted, bool retried) {
    QUrl url = m_options.url;
    QString base = url.path();
    if (!base.endsWith(u'/'))
        base += u'/';
    url.setPath(base + QLatin1String(path));
    m_pacer.run(wanted, [this, path, url, body, read, done, wanted, retried] {
        post(
            url, "application/json", {{"17token", m_key.toUtf8()}}, body,
            [this, path, body, read, done, wanted, retried](const HttpAnswer& a) {
                if (a.status == 429) {
                    // Another user of the same key (another process) may share the limit, which is
                    // per second: one more try once that second has passed.
                    if (!retried)
                        return QTimer::singleShot(1000, this, [this, path, body, read, done, wanted] {
                            call(path, body, read, done, wanted, true);
                        });
                    return done(Outcome::failure(FaultKind::RateLimit,
                                                 u("17TRACK: more than three requests a second (HTTP 429)")));
                }
                std::variant<QJsonObject, Outcome> data = envelope(a.status, a.body);
                if (Outcome* fault = std::get_if<Outcome>(&data))
                    return done(*fault);
                read(std::get<QJsonObject>(data));
            },
            done, wanted);
    });
}

std::variant<QJsonObject, Outcome> Track17Client::envelope(int status, const QByteArray& body) const {
    const std::optional<QJsonObject> o = objectOf(body);
    if (!o)
        return status == 200 ? unreadable(u("17TRACK"), body) : httpFault(status, body);
    // A refusal of the call as a whole (a bad key, a body of the wrong shape): code and data.errors.
    if (const int code = o->value("code").toInt(); code != 0) {
        const QJsonArray errors = o->value("data").toObject().value("errors").toArray();
        const QJsonObject first = errors.isEmpty() ? *o : errors.first().toObject();
        return track17Error(first.value("code").toInt(code), first.value("message").toString());
    }
    if (status != 200)
        return httpFault(status, body);
    return o->value("data").toObject();
}

void Track17Client::fetch(const ProviderQuery& query, Done done) {
    if (m_registered.contains(query.number))
        getTrackInfo(query, true, done);
    else
        registerThen(query, done);
}

namespace {

// The extra a carrier needs, "param" of the registration and of changeinfo: the phone tail for 顺丰 and
// 中通 ("" when none).
QString track17Param(const ProviderQuery& q) {
    return needsPhoneTail(q.codes) ? q.phoneTail : QString();
}

QJsonObject track17Item(const ProviderQuery& q) {
    QJsonObject item{{"number", q.number}};
    if (q.codes.track17 > 0)
        item.insert("carrier", q.codes.track17);
    return item;
}

QByteArray track17Body(const ProviderQuery& q, bool withParam) {
    QJsonObject item = track17Item(q);
    if (const QString param = track17Param(q); withParam && !param.isEmpty())
        item.insert("param", param);
    return compact(QJsonArray{item});
}

} // namespace

void Track17Client::registerThen(const ProviderQuery& query, Done done) {
    call(
        "register", track17Body(query, true),
        [this, query, done](const QJsonObject& data) {
            const QJsonArray rejected = data.value("rejected").toArray();
            bool registeredBefore = false;
            if (data.value("accepted").toArray().isEmpty() && !rejected.isEmpty()) {
                const auto [code, message] = firstError(rejected.first().toObject());
                if (code != -18019901) // already registered: that is what we wanted
                    return done(track17Error(code, message));
                registeredBefore = true;
            }
            // Bounded: forgetting only costs a harmless second registration.
            if (m_registered.size() > 50000)
                m_registered.clear();
            m_registered.insert(query.number);
            // Registered before the phone tail was set (an earlier run): the registration above did not
            // carry it, so it is given to the number's information now.
            if (registeredBefore && !track17Param(query).isEmpty())
                return changeInfoThen(query, done);
            getTrackInfo(query, false, done);
        },
        done, query.stillWanted);
}

void Track17Client::changeInfoThen(const ProviderQuery& query, Done done) {
    QJsonObject item = track17Item(query);
    item.insert("items", QJsonObject{{"param", track17Param(query)}});
    call(
        "changeinfo", compact(QJsonArray{item}),
        [this, query, done](const QJsonObject& data) {
            // A refused change leaves the number as it was: its answer still says what 17TRACK knows.
            if (const QJsonArray rejected = data.value("rejected").toArray(); !rejected.isEmpty()) {
                const auto [code, message] = firstError(rejected.first().toObject());
                if (code != -18019902) // not registered: read, which registers again
                    return done(track17Error(code, message));
            }
            getTrackInfo(query, true, done);
        },
        done, query.stillWanted);
}

void Track17Client::getTrackInfo(const ProviderQuery& query, bool mayRegister, Done done) {
    call(
        "gettrackinfo", track17Body(query, false),
        [this, query, mayRegister, done](const QJsonObject& data) {
            const QJsonArray accepted = data.value("accepted").toArray();
            if (!accepted.isEmpty())
                return done(readEntry(accepted.first().toObject()));
            const QJsonArray rejected = data.value("rejected").toArray();
            if (rejected.isEmpty())
                return done(Outcome::of(OutcomeKind::NotFound));
            const auto [code, message] = firstError(rejected.first().toObject());
            if (code == -18019902) { // not registered (any more): register once and read again
                m_registered.remove(query.number);
                return mayRegister ? registerThen(query, done) : done(Outcome::of(OutcomeKind::NotFound));
            }
            done(track17Error(code, message));
        },
        done, query.stillWanted);
}

// ------------------------------------------------------------------------------------------- kdniao

QString kdniaoUnserved(const CarrierCodes& codes, int requestType) {
    if (!codes.kdniao)
        return {};
    // kdniao's list: 百世快递 only through its logistics-tracking queries, which this client does not make.
    if (qstrcmp(codes.kdniao, "HTKY") == 0)
        return u("kdniao serves HTKY (百世快递) only through its logistics-tracking queries 1008/8008, which "
                 "zjx-service does not use: choose kuaidi100 or 17TRACK for this company");
    if (requestType != 1002)
        return {};
    for (const char* code : {"STO", "HHTT"})
        if (qstrcmp(codes.kdniao, code) == 0)
            return u("kdniao request type 1002 does not serve ") + QLatin1String(code) +
                   u(": set request_type = 8001 in [kdniao] (kdniao's paid real-time query)");
    return {};
}

QString kdniaoNoTraceHint(const CarrierCodes& codes, int requestType) {
    if (requestType != 1002 || !codes.kdniao || qstrcmp(codes.kdniao, "SF") != 0)
        return {};
    return u("kdniao's instant query 1002 answers 顺丰 only for numbers ordered through kdniao: for other 顺丰 "
             "numbers set request_type = 8001 in [kdniao]");
}

KdniaoClient::KdniaoClient(ClientOptions options, QString businessId, QString appKey, int requestType, QObject* parent)
    : ProviderClient(std::move(options), parent), m_businessId(std::move(businessId)), m_appKey(std::move(appKey)),
      m_requestType(requestType) {}

QByteArray KdniaoClient::requestData(const ProviderQuery& query) {
    QJsonObject data{
        {"OrderCode", ""}, {"ShipperCode", QString::fromLatin1(query.codes.kdniao)}, {"LogisticCode", query.number}};
    // 顺丰 and 中通 answer only with the receiver's or sender's phone tail.
    if (needsPhoneTail(query.codes) && !query.phoneTail.isEmpty())
        data.insert("CustomerName", query.phoneTail);
    return compact(data);
}

QByteArray KdniaoClient::dataSign(const QByteArray& requestData, const QString& appKey) {
    return QCryptographicHash::hash(QByteArray(requestData + appKey.toUtf8()), QCryptographicHash::Md5)
        .toHex()
        .toBase64();
}

Outcome KdniaoClient::read(const QByteArray& body) {
    const std::optional<QJsonObject> o = objectOf(body);
    if (!o)
        return unreadable(u("kdniao"), body);
    const QString reason = text(o->value("Reason"));
    const QJsonArray traces = o->value("Traces").toArray();
    if (!o->value("Success").toBool()) {
        // Documented for a number without traces: Success false, Reason null, Traces empty.
        if (reason.trimmed().isEmpty() || reason.contains(u("暂无轨迹")))
            return Outcome::of(OutcomeKind::NotFound);
        const QString why = u("kdniao refused: ") + logSafe(reason);
        if (reason.contains(u("签名")) || reason.contains(u"sign", Qt::CaseInsensitive))
            return Outcome::failure(FaultKind::Signature, why);
        if (reason.contains(u("CustomerName")) || reason.contains(u("手机")))
            return Outcome::failure(
                FaultKind::PhoneTail,
                why + u(" (set phone_tail in [gateway] to the receiver's or sender's last four digits)"));
        if (reason.contains(u("套餐")) || reason.contains(u("余额")) || reason.contains(u("次数")) ||
            reason.contains(u("过期")))
            return Outcome::failure(FaultKind::Quota, why);
        if (reason.contains(u("EBusinessID")) || reason.contains(u("商户")) || reason.contains(u("用户")) ||
            reason.contains(u("密钥")) || reason.contains(u("AppKey"), Qt::CaseInsensitive))
            return Outcome::failure(FaultKind::BadKey, why);
        if (reason.contains(u("RequestType")))
            return Outcome::failure(FaultKind::Account, why + u(" (check [kdniao] request_type)"));
        if (reason.contains(u("单号")) && (reason.contains(u("格式")) || reason.contains(u("错误"))))
            return Outcome::of(OutcomeKind::BadNumber);
        if (reason.contains(u("快递公司")) || reason.contains(u("ShipperCode")))
            return Outcome::of(OutcomeKind::Unsupported);
        return Outcome::failure(FaultKind::Provider, why);
    }
    const ProviderState state = kdniaoState(text(o->value("State")), text(o->value("StateEx")));
    std::vector<Stamped> all;
    // Oldest first on the wire: past the cap only the latest are read (one more tells the cap was hit).
    for (qsizetype i = std::max(qsizetype(0), traces.size() - kMaxEvents - 1); i < traces.size(); ++i) {
        const QJsonObject t = traces.at(i).toObject();
        const QString time = text(t.value("AcceptTime"));
        const QDateTime when = beijingTime(time);
        all.push_back({when, stamped(when, time, text(t.value("AcceptStation")), text(t.value("Location")))});
    }
    // Given by 8001 when it knows both addresses ("2026-12-10 12").
    return history(std::move(all), state, isoDate(text(o->value("EstimatedDeliveryTime"))));
}

void KdniaoClient::fetch(const ProviderQuery& query, Done done) {
    const QByteArray data = requestData(query);
    const QByteArray body = formBody({{"RequestData", QString::fromUtf8(data)},
                                      {"EBusinessID", m_businessId},
                                      {"RequestType", QString::number(m_requestType)},
                                      {"DataSign", QString::fromLatin1(dataSign(data, m_appKey))},
                                      {"DataType", u("2")}});
    post(
        m_options.url, "application/x-www-form-urlencoded; charset=UTF-8", {}, body,
        [this, done, codes = query.codes](const HttpAnswer& a) {
            if (a.status != 200)
                return done(httpFault(a.status, a.body));
            Outcome outcome = read(a.body);
            if (outcome.kind == OutcomeKind::NotFound)
                outcome.reason = kdniaoNoTraceHint(codes, m_requestType);
            done(outcome);
        },
        done, query.stillWanted);
}

} // namespace zjx::gateway
