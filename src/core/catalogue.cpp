#include "core/catalogue.h"

#include <array>

namespace zjx {
namespace {

struct Entry {
    const char16_t* name;
    const char* code;
};

// Position in this table is the position in both company selectors; the code is taken by position.
constexpr std::array<Entry, CourierCatalogue::count> entries{{
    {u"AAE快递", "aae"},
    {u"安捷快递", "anjie"},
    {u"安信达快递", "anxinda"},
    {u"Aramex国际快递", "aramex"},
    {u"成都奔腾国际快递", "benteng"},
    {u"CCES快递", "cces"},
    {u"长通物流", "changtong"},
    {u"程光快递", "chengguang"},
    {u"城际快递", "chengji"},
    {u"城市100", "chengshi100"},
    {u"传喜快递", "chuanxi"},
    {u"传志快递", "chuanzhi"},
    {u"CityLinkExpress", "citylink"},
    {u"东方快递", "coe"},
    {u"城市之星", "cszx"},
    {u"大田物流", "datian"},
    {u"大洋物流快递", "dayang"},
    {u"德邦物流", "debang"},
    {u"德创物流", "dechuang"},
    {u"DHL快递", "dhl"},
    {u"店通快递", "diantong"},
    {u"递达快递", "dida"},
    {u"递四方速递", "disifang"},
    {u"DPEX快递", "dpex"},
    {u"D速快递", "dsu"},
    {u"百福东方物流", "ees"},
    {u"EMS快递", "ems"},
    {u"凡宇快递", "fanyu"},
    {u"Fardar", "fardar"},
    {u"国际Fedex", "fedex"},
    {u"Fedex国内", "fedexcn"},
    {u"飞邦物流", "feibang"},
    {u"飞豹快递", "feibao"},
    {u"原飞航物流", "feihang"},
    {u"飞狐快递", "feihu"},
    {u"飞远物流", "feiyuan"},
    {u"丰达快递", "fengda"},
    {u"飞康达快递", "fkd"},
    {u"广东邮政物流", "gdyz"},
    {u"邮政国内小包", "gnxb"},
    {u"共速达物流|快递", "gongsuda"},
    {u"国通快递", "guotong"},
    {u"山东海红快递", "haihong"},
    {u"海盟速递", "haimeng"},
    {u"昊盛物流", "haosheng"},
    {u"河北建华快递", "hebeijianhua"},
    {u"恒路物流", "henglu"},
    {u"华企快递", "huaqi"},
    {u"华夏龙物流", "huaxialong"},
    {u"天地华宇物流", "huayu"},
    {u"汇强快递", "huiqiang"},
    {u"汇通快递", "huitong"},
    {u"海外环球快递", "hwhq"},
    {u"佳吉快运", "jiaji"},
    {u"佳怡物流", "jiayi"},
    {u"加运美快递", "jiayunmei"},
    {u"金大物流", "jinda"},
    {u"京广快递", "jingguang"},
    {u"晋越快递", "jinyue"},
    {u"急先达物流", "jixianda"},
    {u"嘉里大通物流", "jldt"},
    {u"康力物流", "kangli"},
    {u"顺鑫(KCS)快递", "kcs"},
    {u"快捷快递", "kuaijie"},
    {u"跨越快递", "kuayue"},
    {u"乐捷递快递", "lejiedi"},
    {u"联昊通快递", "lianhaotong"},
    {u"成都立即送快递", "lijisong"},
    {u"龙邦快递", "longbang"},
    {u"民邦快递", "minbang"},
    {u"明亮物流", "mingliang"},
    {u"闽盛快递", "minsheng"},
    {u"港中能达快递", "nengda"},
    {u"OCS快递", "ocs"},
    {u"平安达", "pinganda"},
    {u"中国邮政平邮", "pingyou"},
    {u"品速心达快递", "pinsu"},
    {u"全晨快递", "quanchen"},
    {u"全峰快递", "quanfeng"},
    {u"全际通快递", "quanjitong"},
    {u"全日通快递", "quanritong"},
    {u"全一快递", "quanyi"},
    {u"RPX保时达", "rpx"},
    {u"如风达快递", "rufeng"},
    {u"赛澳递", "saiaodi"},
    {u"三态速递", "santai"},
    {u"伟邦(SCS)快递", "scs"},
    {u"圣安物流", "shengan"},
    {u"盛丰物流", "shengfeng"},
    {u"盛辉物流", "shenghui"},
    {u"申通快递", "shentong"},
    {u"顺丰快递", "shunfeng"},
    {u"穗佳物流", "suijia"},
    {u"速尔快递", "sure"},
    {u"天天快递", "tiantian"},
    {u"TNT快递", "tnt"},
    {u"通成物流", "tongcheng"},
    {u"通和天下物流", "tonghe"},
    {u"UPS", "ups"},
    {u"USPS快递", "usps"},
    {u"万家物流", "wanjia"},
    {u"微特派", "weitepai"},
    {u"祥龙运通快递", "xianglong"},
    {u"新邦物流", "xinbang"},
    {u"信丰快递", "xinfeng"},
    {u"希优特快递", "xiyoute"},
    {u"源安达快递", "yad"},
    {u"亚风快递", "yafeng"},
    {u"一邦快递", "yibang"},
    {u"银捷快递", "yinjie"},
    {u"亿顺航快递", "yishunhang"},
    {u"优速快递", "yousu"},
    {u"北京一统飞鸿快递", "ytfh"},
    {u"远成物流", "yuancheng"},
    {u"圆通快递", "yuantong"},
    {u"元智捷诚", "yuanzhi"},
    {u"越丰快递", "yuefeng"},
    {u"韵达快递", "yunda"},
    {u"运通中港快递", "yuntong"},
    {u"源伟丰", "ywfex"},
    {u"宅急送快递", "zhaijisong"},
    {u"芝麻开门快递", "zhima"},
    {u"济南中天万运", "zhongtian"},
    {u"中铁快运", "zhongtie"},
    {u"中通快递", "zhongtong"},
    {u"忠信达快递", "zhongxinda"},
    {u"中邮物流", "zhongyou"},
    // Couriers that carry most parcels today, after the original entries so that no index moves.
    // Names and codes are kuaidi100's. Within one brand the parcel service comes after the freight
    // service, as the finder's last match wins.
    {u"极兔速递", "jtexpress"},
    {u"京东快运", "jingdongkuaiyun"},
    {u"京东物流", "jd"},
    {u"顺丰快运", "shunfengkuaiyun"},
    {u"德邦快递", "debangkuaidi"},
    {u"丹鸟", "danniao"},
    {u"中通快运", "zhongtongkuaiyun"},
    {u"安能快运", "annengwuliu"},
    {u"百世快运", "baishiwuliu"},
    {u"韵达快运", "yundakuaiyun"},
    {u"壹米滴答", "yimidida"},
    {u"顺心捷达", "sxjdfreight"},
    {u"日日顺物流", "rrs"},
    {u"丰网速运", "fengwang"},
    {u"众邮快递", "zhongyouex"},
    // Letters and parcels of any country's post (UPU S10 numbers such as RB123456785GB).
    {u"国际邮政包裹", "youzhengguoji"},
}};

} // namespace

QString CourierCatalogue::displayName(int index) {
    if (index < 0 || index >= count)
        return {};
    return QString::fromUtf16(entries[index].name);
}

QString CourierCatalogue::serviceCode(int index) {
    if (index < 0 || index >= count)
        return {};
    return QString::fromLatin1(entries[index].code);
}

int CourierCatalogue::indexOfName(const QString& name) {
    for (int i = 0; i < count; ++i)
        if (name == QStringView(entries[i].name))
            return i;
    return -1;
}

int CourierCatalogue::indexOfCode(const QString& code) {
    for (int i = 0; i < count; ++i)
        if (code == QLatin1String(entries[i].code))
            return i;
    return -1;
}

QStringList CourierCatalogue::displayNames() {
    QStringList names;
    names.reserve(count);
    for (const Entry& e : entries)
        names << QString::fromUtf16(e.name);
    return names;
}

} // namespace zjx
