#include "intake/companynames.h"

#include "core/catalogue.h"

#include <QHash>

namespace zjx {
namespace {

// Trade words after a brand, the longest first so "国际快递" goes before "快递".
constexpr const char16_t* tradeWords[] = {u"国际快递", u"快递", u"速递", u"速运", u"快运", u"物流", u"快件"};

QString brandOf(QStringView name) {
    QString brand = name.trimmed().toString();
    for (const char16_t* word : tradeWords) {
        if (brand.size() > 2 && brand.endsWith(QStringView(word))) {
            brand.chop(QStringView(word).size());
            break;
        }
    }
    return brand;
}

// A parcel service ("快递", "速递") is what a shop sends with; a freight service of the same brand
// ("快运", "物流") comes second.
bool isParcelService(const QString& name) {
    return name.endsWith(u"快递") || name.endsWith(u"速递");
}

struct Names {
    QHash<QString, int> exact;
    QHash<QString, int> byBrand;
    QHash<QString, int> byCode; // lower-case
};

const Names& names() {
    static const Names n = [] {
        Names built;
        for (int i = 0; i < CourierCatalogue::count; ++i) {
            const QString name = CourierCatalogue::displayName(i);
            built.exact.insert(name, i);
            built.byCode.insert(CourierCatalogue::serviceCode(i), i);
            const QString brand = brandOf(name);
            const auto held = built.byBrand.constFind(brand);
            if (held == built.byBrand.constEnd() ||
                (!isParcelService(CourierCatalogue::displayName(*held)) && isParcelService(name)))
                built.byBrand.insert(brand, i);
        }
        // The couriers' own short codes and the names shops write that the catalogue spells otherwise.
        const std::pair<const char16_t*, const char*> aliases[] = {
            {u"zto", "zhongtong"},   {u"yto", "yuantong"},     {u"sto", "shentong"}, {u"yd", "yunda"},
            {u"yunda", "yunda"},     {u"sf", "shunfeng"},      {u"jd", "jd"},        {u"jt", "jtexpress"},
            {u"j&t", "jtexpress"},   {u"百世", "huitong"},     {u"百世汇通", "huitong"},
            {u"邮政", "gnxb"},       {u"中国邮政", "gnxb"},    {u"邮政包裹", "gnxb"},
            {u"京东", "jd"},         {u"极兔", "jtexpress"},   {u"中国ems", "ems"},  {u"邮政ems", "ems"},
            {u"ems经济快递", "ems"}, {u"德邦", "debangkuaidi"}};
        for (const auto& [alias, code] : aliases)
            built.byCode.insert(QString::fromUtf16(alias), CourierCatalogue::indexOfCode(QLatin1String(code)));
        return built;
    }();
    return n;
}

} // namespace

int companyNamedIn(QStringView text) {
    const QString name = text.trimmed().toString();
    if (name.isEmpty())
        return -1;
    const Names& n = names();
    if (const auto hit = n.exact.constFind(name); hit != n.exact.constEnd())
        return *hit;
    const QString brand = brandOf(name);
    for (const QString& key : {name.toLower(), brand.toLower()})
        if (const auto hit = n.byCode.constFind(key); hit != n.byCode.constEnd())
            return *hit;
    if (const auto hit = n.byBrand.constFind(brand); hit != n.byBrand.constEnd())
        return *hit;
    return -1;
}

} // namespace zjx
