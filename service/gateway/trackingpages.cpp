#include "trackingpages.h"

#include "couriers.h"

#include <QStringEncoder>
#include <QTimeZone>

#include <algorithm>
#include <iterator>
#include <numeric>
#include <vector>

namespace zjx::service {

namespace {

struct City {
    const char* name;
    const char* districts[2];
};

// Texts here must never hold "签", "妥" or "派" (the program reads them as signed for or out
// for delivery) nor any of the service's error markers.
const City kCities[] = {
    {"上海市", {"浦东新区", "闵行区"}}, {"北京市", {"朝阳区", "海淀区"}},   {"广州市", {"天河区", "白云区"}},
    {"深圳市", {"南山区", "宝安区"}},   {"杭州市", {"西湖区", "萧山区"}},   {"南京市", {"鼓楼区", "江宁区"}},
    {"苏州市", {"姑苏区", "吴中区"}},   {"成都市", {"武侯区", "锦江区"}},   {"重庆市", {"渝北区", "江北区"}},
    {"武汉市", {"洪山区", "江汉区"}},   {"西安市", {"雁塔区", "未央区"}},   {"长沙市", {"岳麓区", "雨花区"}},
    {"郑州市", {"金水区", "二七区"}},   {"济南市", {"历下区", "槐荫区"}},   {"青岛市", {"市南区", "黄岛区"}},
    {"天津市", {"南开区", "河西区"}},   {"沈阳市", {"和平区", "浑南区"}},   {"哈尔滨市", {"南岗区", "道里区"}},
    {"合肥市", {"蜀山区", "包河区"}},   {"南昌市", {"东湖区", "红谷滩区"}}, {"福州市", {"鼓楼区", "仓山区"}},
    {"厦门市", {"思明区", "湖里区"}},   {"昆明市", {"五华区", "官渡区"}},   {"贵阳市", {"南明区", "观山湖区"}},
    {"南宁市", {"青秀区", "西乡塘区"}}, {"石家庄市", {"长安区", "裕华区"}}, {"太原市", {"小店区", "迎泽区"}},
    {"兰州市", {"城关区", "七里河区"}}, {"宁波市", {"鄞州区", "海曙区"}},   {"无锡市", {"梁溪区", "滨湖区"}},
    {"佛山市", {"禅城区", "南海区"}},
};
const char* const kCouriersOnFoot[] = {"张师傅", "王师傅", "李师傅", "刘师傅", "陈师傅", "杨师傅", "赵师傅", "周师傅"};
const char* const kSigners[] = {"本人", "家人", "门卫", "公司前台", "同事"};

const QList<SampleNumber> kSamples = {
    {"ZJXFORMAT1", "a page saying \"单号格式错误\""},
    {"ZJXNOTEXIST", "a page saying \"不存在\""},
    {"ZJXEXPIRED", "a page saying \"NULL\""},
    {"ZJXBADINPUT", "a page saying \"请输入\""},
    {"ZJXEMPTY01", "HTTP 200 with an empty body"},
    {"ZJXSIGNED1", "a complete history, already signed for"},
    {"ZJXMANY001", "a history of 40 events, signed for"},
    {"ZJXPICKUP1", "waiting at a station: \"取件码 3-2-1045\" in the latest event, state 待取件"},
    {"ZJXRETURN1", "refused by the receiver (\"拒签\"), on its way back: state 已退回"},
};

constexpr int kManyEvents = 40;

// splitmix64: small, and the same sequence everywhere.
class Dice {
public:
    explicit Dice(quint64 seed) : m_state(seed) {}
    quint64 next() {
        quint64 z = (m_state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    int below(int n) { return int(next() % quint64(n)); }

private:
    quint64 m_state;
};

QString u(const char* s) {
    return QString::fromUtf8(s);
}

QString outlet(const City& c, int district) {
    return u(c.name) + u(c.districts[district]) + u("营业部");
}

// The texts of a whole journey: pickup, hops between sorting centres, delivery round, signature.
QStringList journey(Dice& dice, int count) {
    std::vector<int> order(std::size(kCities));
    std::iota(order.begin(), order.end(), 0);
    for (size_t i = order.size() - 1; i > 0; --i)
        std::swap(order[i], order[size_t(dice.below(int(i + 1)))]);

    const int transit = count - 3;
    const int hops = transit / 2;
    std::vector<const City*> stops{&kCities[order[0]]};
    for (int h = 1; h < hops; ++h)
        stops.push_back(&kCities[order[2 + (h - 1) % (order.size() - 2)]]);
    const City& from = kCities[order[0]];
    const City& to = kCities[order[1]];
    stops.push_back(&to);

    const auto tag = [](const City& c) -> QString { return u("【") + u(c.name) + u("】"); };
    const auto centre = [](const City& c) -> QString { return u(c.name) + u("转运中心"); };
    const int fromDistrict = dice.below(2);
    const int toDistrict = dice.below(2);

    QStringList texts;
    texts << tag(from) + u("快件已由 ") + outlet(from, fromDistrict) + u(" 揽收");
    for (int h = 0; h < hops; ++h) {
        texts << tag(*stops[h]) + u("快件已从 ") + centre(*stops[h]) + u(" 发出，下一站 ") + centre(*stops[h + 1]);
        texts << tag(*stops[h + 1]) + u("快件已到达 ") + centre(*stops[h + 1]);
    }
    if (transit % 2 == 1)
        texts << tag(to) + u("快件已到达 ") + outlet(to, toDistrict) + u("，正在分拣");

    // The parcels are made up: the courier's number is an obviously reserved one, never a number
    // that could belong to someone.
    texts << tag(to) + outlet(to, toDistrict) + u(" 派件员：") + u(kCouriersOnFoot[dice.below(8)]) +
                 u(" 电话：138-0000-0000，正在派件");
    texts << tag(to) + u("快件已签收，签收人：") + u(kSigners[dice.below(5)]) + u("。感谢使用，期待再次为您服务");
    return texts;
}

QString escapeHtml(const QString& text) {
    return text.toHtmlEscaped();
}

QByteArray gbk(const QString& text) {
    QStringEncoder encoder("GBK");
    return encoder.encode(text);
}

} // namespace

const QList<SampleNumber>& sampleNumbers() {
    return kSamples;
}

quint64 stableHash(const QByteArray& bytes) {
    quint64 h = 0xCBF29CE484222325ULL;
    for (const char c : bytes) {
        h ^= quint8(c);
        h *= 0x100000001B3ULL;
    }
    return h;
}

bool isPlausibleNumber(const QString& number) {
    if (number.size() < 8 || number.size() > 20)
        return false;
    return std::all_of(number.begin(), number.end(), [](QChar c) {
        return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
    });
}

QDateTime journeyStart(const QString& code, const QString& number, const QDateTime& now, int intervalMinutes) {
    const qint64 cycle = qint64(std::max(1, intervalMinutes)) * 60 * kJourneyCycleIntervals;
    // Another hash than the story's dice, so when a journey runs says nothing about its route.
    const qint64 offset = qint64(stableHash("start|" + code.toUtf8() + '|' + number.toUtf8()) % quint64(cycle));
    const qint64 at = now.toSecsSinceEpoch() - offset;
    const qint64 cycles = at >= 0 ? at / cycle : (at - cycle + 1) / cycle;
    return QDateTime::fromSecsSinceEpoch(cycles * cycle + offset);
}

namespace {

// A parcel's whole invented journey and how much of it has happened by `now`.
struct Journey {
    QList<TrackingEvent> planned;
    int shown = 0;
    ParcelEnd end = ParcelEnd::Signed;
};

Journey plannedJourney(const QString& code, const QString& number, const QDateTime& startedAt, const QDateTime& now,
                       int intervalMinutes) {
    Dice dice(stableHash(code.toUtf8() + '|' + number.toUtf8()));
    const bool many = number == u"ZJXMANY001";
    const ParcelEnd end = number == u"ZJXPICKUP1"   ? ParcelEnd::Pickup
                          : number == u"ZJXRETURN1" ? ParcelEnd::Returned
                                                    : ParcelEnd::Signed;
    const bool complete = number == u"ZJXSIGNED1" || many || end != ParcelEnd::Signed;
    int total = many ? kManyEvents : 5 + dice.below(5);
    int shownAtFirst = complete ? total : 2 + dice.below(2);
    QStringList texts = journey(dice, total);
    if (end != ParcelEnd::Signed) {
        // The round ends at a station, or at a door that refuses the parcel. The refusal's "拒签"
        // reads as signed for by the text rule alone: X-Zjx-State tells the program better.
        const QString city = texts.last().section(u("】"), 0, 0) + u("】");
        texts.removeLast();
        texts.last() = city + (end == ParcelEnd::Pickup ? u("快件已放入 菜鸟驿站，取件码 3-2-1045，请凭码领取")
                                                        : u("收件人拒签，快件正在退回寄件人"));
    }
    total = int(texts.size());
    if (complete)
        shownAtFirst = total;

    // Events already known when the journey starts lie hours apart before it; later ones carry the
    // moment they appear, a little rounded down, so no time is ever in the future.
    const QDateTime start = startedAt.addMSecs(-startedAt.time().msec());
    QList<QDateTime> times(total);
    const qint64 lastKnownAgo = complete ? 3600 + dice.below(4 * 3600) : 300 + dice.below(35 * 60);
    times[shownAtFirst - 1] = start.addSecs(-lastKnownAgo);
    for (int i = shownAtFirst - 2; i >= 0; --i)
        times[i] = times[i + 1].addSecs(-(2 * 3600 + dice.below(7 * 3600)));
    const qint64 step = qint64(std::max(1, intervalMinutes)) * 60;
    for (int i = shownAtFirst; i < total; ++i)
        times[i] = start.addSecs(step * (i - shownAtFirst + 1) - dice.below(30));

    const qint64 elapsed = std::max<qint64>(0, startedAt.secsTo(now));
    Journey j;
    j.shown = int(std::min<qint64>(total, shownAtFirst + elapsed / step));
    j.end = end;
    for (int i = 0; i < total; ++i)
        j.planned.append(TrackingEvent{times[i], texts[i]});
    return j;
}

} // namespace

QList<TrackingEvent> parcelHistory(const QString& code, const QString& number, const QDateTime& startedAt,
                                   const QDateTime& now, int intervalMinutes) {
    const Journey j = plannedJourney(code, number, startedAt, now, intervalMinutes);
    return j.planned.mid(0, j.shown);
}

ParcelOutlook parcelOutlook(const QString& code, const QString& number, const QDateTime& startedAt,
                            const QDateTime& now, int intervalMinutes) {
    const Journey j = plannedJourney(code, number, startedAt, now, intervalMinutes);
    ParcelOutlook o;
    if (j.shown == 0)
        return o;
    if (j.shown < j.planned.size()) {
        // Out for delivery once the delivery round is the latest event; expected on the day of the
        // signature the journey ends with (a day in China).
        o.state = j.shown == j.planned.size() - 1 ? "delivering" : "transit";
        o.estimatedDelivery = j.planned.last().time.toTimeZone(QTimeZone(8 * 3600)).date().toString(Qt::ISODate);
    } else {
        o.state = j.end == ParcelEnd::Pickup ? "pickup" : j.end == ParcelEnd::Returned ? "returned" : "signed";
    }
    return o;
}

QByteArray trackingPage(const QString& companyName, const QList<TrackingEvent>& events) {
    // The program cuts this page at fixed tags: the heading row uses <th>, event rows follow one
    // another with nothing between them, and nothing at all may follow "</table>".
    QString page = u("<html><head><meta charset=\"gbk\"><title>") + escapeHtml(companyName) +
                   u(" - 物流跟踪</title></head><body><table><tr><th>时间</th><th>地点和跟踪进度</th></tr>");
    for (const TrackingEvent& e : events)
        page += u("<tr><td>") + e.time.toString(u"yyyy-MM-dd HH:mm:ss") + u("</td><td>") + escapeHtml(e.text) +
                u("</td></tr>");
    page += u("</table>");
    return gbk(page);
}

QByteArray messagePage(const QString& message) {
    return gbk(u("<html><head><meta charset=\"gbk\"><title>快递查询</title></head><body><p>") + escapeHtml(message) +
               u("</p></body></html>"));
}

Reply TrackingDesk::answer(const QString& code, const QString& number, const QString& key, const QDateTime& now) const {
    if (key != QLatin1String(kAccessKey))
        return {403, gbk(u("<html><body>访问密钥无效</body></html>")), kGbkHtml};
    // Nothing the caller sent is echoed: a number such as "NULL1234" would trip the markers.
    const Courier* courier = findCourier(code);
    if (!courier)
        return {200, messagePage(u("不支持的快递公司，请选择其他快递公司后再查询")), kGbkHtml};
    if (number == u"ZJXFORMAT1" || !isPlausibleNumber(number))
        return {200, messagePage(u("单号格式错误，单号应为8到20位字母或数字")), kGbkHtml};
    if (number == u"ZJXNOTEXIST")
        return {200, messagePage(u("没有查到此单号的物流信息，单号不存在或尚未录入系统")), kGbkHtml};
    if (number == u"ZJXEXPIRED")
        return {200, messagePage(u("查询结果：NULL（该单号已超过保存期限）")), kGbkHtml};
    if (number == u"ZJXBADINPUT")
        return {200, messagePage(u("请输入正确的快递单号")), kGbkHtml};
    if (number == u"ZJXEMPTY01")
        return {200, QByteArray(), kGbkHtml};

    const QDateTime start = journeyStart(code, number, now, m_intervalMinutes);
    Reply reply{200, trackingPage(u(courier->name), parcelHistory(code, number, start, now, m_intervalMinutes)),
                kGbkHtml};
    const ParcelOutlook outlook = parcelOutlook(code, number, start, now, m_intervalMinutes);
    if (!outlook.state.empty())
        reply.headers.emplace_back("X-Zjx-State", outlook.state);
    if (!outlook.estimatedDelivery.isEmpty())
        reply.headers.emplace_back("X-Zjx-Estimated-Delivery", outlook.estimatedDelivery.toStdString());
    return reply;
}

} // namespace zjx::service
