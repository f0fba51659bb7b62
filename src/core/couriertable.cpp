#include "core/couriertable.h"

#include "zjxversion.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <string_view>

namespace zjx {
namespace {

// One row per company: the name the selectors show, the program's service code, and how each
// provider names the company. A row's position is the company's position in both company selectors
// (its index in the book and in habits), so rows are only ever added at the end.
//
// kuaidi100: every row checked against kuaidi100's published company list (its downloadable code
// table). A company the list no longer holds has no code (a comment says so) and is refused up front
// with the unsupported-company page: kuaidi100 answers an unknown code with no result, or with
// returnCode 400, which is an account problem and must not stand for a company. Doubtful matches
// say so.
// 17TRACK: the numeric key of 17TRACK's published carrier list (apicarrier.all.json) where the list
// has exactly one row for the company; where it has none, or several that could be it, the parcel
// is sent without a carrier (-1) and 17TRACK detects it from the number (a comment names the rows).
// A number it cannot place comes back as -18019903, the unsupported-company page.
// kdniao: the ShipperCodes of kdniao's published company list, as six public copies of it give them
// (a code in only one copy is marked doubtful); an empty code is refused up front with the
// unsupported-company page. Which request type serves which code is decided in the gateway's
// providers.
//
// The original entries (0..126) are sorted by code; the couriers added later follow them.
constexpr CourierRow kRows[] = {
    {"AAE快递", "aae", "aae", -1, "AAE"},
    // kuaidi100: doubtful: 青岛安捷快递 in the list (安捷物流 is anjie88)
    {"安捷快递", "anjie", "anjiekuaidi", -1, "AJ"},
    // kdniao: AXD is 安鲜达 in four of five lists (安信达 in one), so none
    {"安信达快递", "anxinda", "anxindakuaixi", -1, ""},
    // 17TRACK: Aramex 100006 (the AU and NZ rows were Fastway)
    {"Aramex国际快递", "aramex", "aramex", 100006, "ARAMEX"},
    {"成都奔腾国际快递", "benteng", "benteng", -1, "BNTWL"},
    // not in kuaidi100's company list any more
    {"CCES快递", "cces", "", -1, "CCES"},
    // not in kuaidi100's company list any more; kdniao: CTWL in one list only, doubtful
    {"长通物流", "changtong", "", -1, "CTWL"},
    // kuaidi100: 程光快递 in the list
    {"程光快递", "chengguang", "flyway", -1, "CG"},
    // kuaidi100: 城际快递 in the list
    {"城际快递", "chengji", "chengji", -1, "CJKD"},
    // not in kuaidi100's company list any more
    {"城市100", "chengshi100", "", -1, "CITY100"},
    // kuaidi100: 传喜物流 in the list
    {"传喜快递", "chuanxi", "chuanxiwuliu", -1, "CXHY"},
    // not in kuaidi100's company list any more
    {"传志快递", "chuanzhi", "", -1, ""},
    {"CityLinkExpress", "citylink", "citylink", -1, ""},
    {"东方快递", "coe", "coe", -1, "COE"},
    // not in kuaidi100's company list any more
    {"城市之星", "cszx", "", -1, ""},
    {"大田物流", "datian", "datianwuliu", -1, "DTWL"},
    // kuaidi100: 大洋物流 in the list; kdniao: DYWL in one list only, doubtful
    {"大洋物流快递", "dayang", "dayangwuliu", -1, "DYWL"},
    // 17TRACK: Deppon 德邦, the one Deppon row, also for 德邦快递
    {"德邦物流", "debang", "debangwuliu", 190174, "DBL"},
    // kuaidi100: 深圳德创物流 in the list; kdniao: DCWL in one list only, doubtful
    {"德创物流", "dechuang", "dechuangwuliu", -1, "DCWL"},
    {"DHL快递", "dhl", "dhl", 100001, "DHL"},
    // not in kuaidi100's company list any more; kdniao: DTKD in one list only, doubtful
    {"店通快递", "diantong", "", -1, "DTKD"},
    // kuaidi100: doubtful: 递达速运 is the only 递达 left in the list
    {"递达快递", "dida", "didasuyun", -1, ""},
    {"递四方速递", "disifang", "disifang", 190094, "D4PX"},
    {"DPEX快递", "dpex", "dpex", 100014, "DPEX"},
    {"D速快递", "dsu", "dsukuaidi", -1, "DSWL"},
    {"百福东方物流", "ees", "baifudongfang", -1, "BFDF"},
    {"EMS快递", "ems", "ems", 3013, "EMS"},
    // kuaidi100: 凡宇快递 in the list; kdniao: FYKD 凡宇货的 and FYSD 凡宇速递 (one list): none
    {"凡宇快递", "fanyu", "fanyukuaidi", -1, ""},
    // kuaidi100: 颿达国际快递 in the list
    {"Fardar", "fardar", "fardarww", -1, ""},
    {"国际Fedex", "fedex", "fedex", 100003, "FEDEX_GJ"},
    // kuaidi100: 联邦快递 (FedEx China domestic); "fedexcn" is Fedex-国际件-中文
    {"Fedex国内", "fedexcn", "lianbangkuaidi", 100003, "FEDEX"},
    // kuaidi100: 飞邦快递 in the list
    {"飞邦物流", "feibang", "fbkd", -1, ""},
    // kdniao: FBKD in one list only, doubtful
    {"飞豹快递", "feibao", "feibaokuaidi", -1, "FBKD"},
    {"原飞航物流", "feihang", "yuanfeihangwuliu", 190389, "YFHEX"},
    // kdniao: FHKD in one list only, doubtful
    {"飞狐快递", "feihu", "feihukuaidi", -1, "FHKD"},
    // not in kuaidi100's company list any more; kdniao: only FYPS 飞远配送, in one list: none
    {"飞远物流", "feiyuan", "", -1, ""},
    // not in kuaidi100's company list any more
    {"丰达快递", "fengda", "", -1, ""},
    {"飞康达快递", "fkd", "feikangda", -1, "FKD"},
    // 17TRACK: China Post
    {"广东邮政物流", "gdyz", "guangdongyouzhengwuliu", 3011, "GDEMS"},
    {"邮政国内小包", "gnxb", "youzhengguonei", 3011, "YZPY"},
    {"共速达物流|快递", "gongsuda", "gongsuda", -1, "GSD"},
    // not in kuaidi100's company list any more; kdniao: GTO is missing from the newest list
    {"国通快递", "guotong", "", -1, "GTO"},
    // kdniao: SDHH in one list only, doubtful
    {"山东海红快递", "haihong", "haihongwangsong", -1, "SDHH"},
    // kdniao: HMSD in one list only, doubtful
    {"海盟速递", "haimeng", "haimengsudi", -1, "HMSD"},
    // not in kuaidi100's company list any more; kdniao: HSWL in one list only, doubtful
    {"昊盛物流", "haosheng", "", -1, "HSWL"},
    // not in kuaidi100's company list any more; kdniao: HBJH in one list only, doubtful
    {"河北建华快递", "hebeijianhua", "", -1, "HBJH"},
    {"恒路物流", "henglu", "hengluwuliu", -1, "HLWL"},
    {"华企快递", "huaqi", "huaqikuaiyun", -1, "HQKD"},
    // not in kuaidi100's company list any more
    {"华夏龙物流", "huaxialong", "", -1, "HXLWL"},
    {"天地华宇物流", "huayu", "tiandihuayu", -1, "HOAU"},
    {"汇强快递", "huiqiang", "huiqiangkuaidi", -1, "ZHQKD"},
    // kdniao HTKY: only its logistics-tracking queries 1008/8008; 17TRACK: only 百世国际 and 百世快运 rows: detected
    {"汇通快递", "huitong", "huitongkuaidi", -1, "HTKY"},
    // kuaidi100: 海外环球 in the list
    {"海外环球快递", "hwhq", "haiwaihuanqiu", -1, ""},
    // kdniao: CNEX in three lists (JJKY in one)
    {"佳吉快运", "jiaji", "jiajiwuliu", -1, "CNEX"},
    {"佳怡物流", "jiayi", "jiayiwuliu", -1, "JYWL"},
    {"加运美快递", "jiayunmei", "jiayunmeiwuliu", 191224, "JYM"},
    // kdniao: JDWL in one list only, doubtful
    {"金大物流", "jinda", "jindawuliu", -1, "JDWL"},
    // kuaidi100: 京广速递 in the list
    {"京广快递", "jingguang", "jinguangsudikuaijian", 190426, "JGSD"},
    {"晋越快递", "jinyue", "jinyuekuaidi", -1, "JYKD"},
    {"急先达物流", "jixianda", "jixianda", -1, "JXD"},
    // kdniao: JLDT is named 嘉里国际 in the lists; 17TRACK: KEAS 嘉里大通
    {"嘉里大通物流", "jldt", "jialidatong", 191054, "JLDT"},
    // not in kuaidi100's company list any more; kdniao: KLWL in one list only, doubtful
    {"康力物流", "kangli", "", -1, "KLWL"},
    {"顺鑫(KCS)快递", "kcs", "kcs", -1, ""},
    // kdniao: FAST in one list only, doubtful
    {"快捷快递", "kuaijie", "kuaijiesudi", -1, "FAST"},
    // kdniao: KYSY 跨越速运 (KYWL is 跨越物流); 17TRACK: two rows, KYE and KYE (CN): detected
    {"跨越快递", "kuayue", "kuayue", -1, "KYSY"},
    // not in kuaidi100's company list any more; kdniao: LJD in one list only, doubtful
    {"乐捷递快递", "lejiedi", "", -1, "LJD"},
    {"联昊通快递", "lianhaotong", "lianhaowuliu", 191165, "LHT"},
    {"成都立即送快递", "lijisong", "lijisong", -1, "LJSKD"},
    // not in kuaidi100's company list any more
    {"龙邦快递", "longbang", "", -1, "LB"},
    // not in kuaidi100's company list any more
    {"民邦快递", "minbang", "", -1, "MB"},
    {"明亮物流", "mingliang", "mingliangwuliu", -1, "MLWL"},
    // not in kuaidi100's company list any more; kdniao: MSKD in one list only, doubtful
    {"闽盛快递", "minsheng", "", -1, "MSKD"},
    {"港中能达快递", "nengda", "ganzhongnengda", -1, "NEDA"},
    // 17TRACK: four OCS rows (CN, GB, IN, US): detected
    {"OCS快递", "ocs", "ocs", -1, "OCS"},
    {"平安达", "pinganda", "pingandatengfei", -1, "PADTF"},
    {"中国邮政平邮", "pingyou", "youzhengguonei", 3011, "YZPY"},
    // kuaidi100: 品速心达快递 in the list
    {"品速心达快递", "pinsu", "pinsuxinda", -1, ""},
    // not in kuaidi100's company list any more
    {"全晨快递", "quanchen", "", -1, "QCKD"},
    // kdniao: QFKD in one list only, doubtful
    {"全峰快递", "quanfeng", "quanfengkuaidi", -1, "QFKD"},
    {"全际通快递", "quanjitong", "quanjitong", -1, ""},
    {"全日通快递", "quanritong", "quanritongkuaidi", -1, "QRT"},
    {"全一快递", "quanyi", "quanyikuaidi", -1, "UAPEX"},
    {"RPX保时达", "rpx", "rpx", -1, ""},
    // not in kuaidi100's company list any more
    {"如风达快递", "rufeng", "", -1, "RFD"},
    // kuaidi100: doubtful: "赛澳递for买卖宝" is the only 赛澳递 left in the list
    {"赛澳递", "saiaodi", "saiaodimmb", -1, "SAD"},
    // kdniao: STSD in one list only, doubtful
    {"三态速递", "santai", "santaisudi", 190113, "STSD"},
    // not in kuaidi100's company list any more
    {"伟邦(SCS)快递", "scs", "", -1, ""},
    {"圣安物流", "shengan", "shenganwuliu", -1, "SAWL"},
    // kuaidi100: 盛丰物流 in the list
    {"盛丰物流", "shengfeng", "sfwl", -1, "SFWL"},
    {"盛辉物流", "shenghui", "shenghuiwuliu", -1, "SHWL"},
    // 17TRACK: STO Express (STO Global is the cross-border line); kdniao: 8001 only
    {"申通快递", "shentong", "shentong", 190324, "STO"},
    // 17TRACK: two rows, SF Express 100012 and SF Express(CN) 190766: detected
    {"顺丰快递", "shunfeng", "shunfeng", -1, "SF"},
    // kdniao: SJWL in one list only, doubtful
    {"穗佳物流", "suijia", "suijiawuliu", -1, "SJWL"},
    {"速尔快递", "sure", "suer", -1, "SURE"},
    // kdniao: HHTT is missing from the newest list; 8001 only
    {"天天快递", "tiantian", "tiantian", 190077, "HHTT"},
    // 17TRACK: TNT 100004 (the IT, AU, FR rows are national networks)
    {"TNT快递", "tnt", "tnt", 100004, "TNT"},
    // not in kuaidi100's company list any more
    {"通成物流", "tongcheng", "", -1, ""},
    // kdniao: THTX in one list only, doubtful
    {"通和天下物流", "tonghe", "tonghetianxia", -1, "THTX"},
    {"UPS", "ups", "ups", 100002, "UPS"},
    // kdniao: USPS is missing from the newest list
    {"USPS快递", "usps", "usps", 21051, "USPS"},
    {"万家物流", "wanjia", "wanjiawuliu", -1, "WJWL"},
    {"微特派", "weitepai", "weitepai", -1, "WTP"},
    // kdniao: XLYT in one list only, doubtful
    {"祥龙运通快递", "xianglong", "xianglongyuntong", -1, "XLYT"},
    // not in kuaidi100's company list any more
    {"新邦物流", "xinbang", "", -1, "XBWL"},
    {"信丰快递", "xinfeng", "xinfengwuliu", 190989, "XFEX"},
    // not in kuaidi100's company list any more
    {"希优特快递", "xiyoute", "", -1, "XYT"},
    // kuaidi100: 源安达 in the list
    {"源安达快递", "yad", "yuananda", -1, "YADEX"},
    {"亚风快递", "yafeng", "yafengsudi", -1, "YFSD"},
    {"一邦快递", "yibang", "yibangwuliu", -1, ""},
    // kdniao: YJSD in one list only, doubtful
    {"银捷快递", "yinjie", "yinjiesudi", -1, "YJSD"},
    // kdniao: YSH in one list only, doubtful
    {"亿顺航快递", "yishunhang", "yishunhang", -1, "YSH"},
    {"优速快递", "yousu", "youshuwuliu", 190415, "UC"},
    // not in kuaidi100's company list any more; kdniao: YTFH in one list only, doubtful
    {"北京一统飞鸿快递", "ytfh", "", -1, "YTFH"},
    {"远成物流", "yuancheng", "yuanchengwuliu", -1, "YCWL"},
    {"圆通快递", "yuantong", "yuantong", 190157, "YTO"},
    // kuaidi100: 元智捷诚 in the list
    {"元智捷诚", "yuanzhi", "yuanzhijiecheng", -1, ""},
    {"越丰快递", "yuefeng", "yuefengwuliu", -1, "YFEX"},
    // 17TRACK: Yunda Express 191197 is named 韵达快运, beside 韵达国际 and YundaExpress (Asia): detected
    {"韵达快递", "yunda", "yunda", -1, "YD"},
    // not in kuaidi100's company list any more
    {"运通中港快递", "yuntong", "", -1, ""},
    // not in kuaidi100's company list any more
    {"源伟丰", "ywfex", "", -1, ""},
    {"宅急送快递", "zhaijisong", "zhaijisong", -1, "ZJS"},
    // kuaidi100: 芝麻开门 in the list
    {"芝麻开门快递", "zhima", "zhimakaimen", -1, "ZMKM"},
    // kuaidi100: 中天万运 in the list; kdniao: ZTWY in one list only, doubtful
    {"济南中天万运", "zhongtian", "zhongtianwanyun", -1, "ZTWY"},
    // kuaidi100: 中铁快运 in the list
    {"中铁快运", "zhongtie", "ztky", -1, "ZTKY"},
    // 17TRACK: ZTO Express (beside ZTO International, Freight, CWST, CCW)
    {"中通快递", "zhongtong", "zhongtong", 190455, "ZTO"},
    {"忠信达快递", "zhongxinda", "zhongxinda", -1, ""},
    {"中邮物流", "zhongyou", "zhongyouwuliu", -1, "ZYWL"},
    // Couriers that carry most parcels today, after the original entries so that no index moves.
    // Names and codes are kuaidi100's. Within one brand the parcel service comes after the freight
    // service, as the finder's last match wins.
    // kdniao: JTSD in one list only, doubtful; 17TRACK: J&T Express (CN) (J&T International 100295 is the cross-border
    // line)
    {"极兔速递", "jtexpress", "jtexpress", 190442, "JTSD"},
    // 17TRACK: no row of its own (JD Logistics is 京东物流): detected; kdniao JDKY: which query serves it is not listed
    {"京东快运", "jingdongkuaiyun", "jingdongkuaiyun", -1, "JDKY"},
    // 17TRACK: JD Logistics (JD Worldwide is the cross-border line)
    {"京东物流", "jd", "jd", 191121, "JD"},
    // 17TRACK: no 顺丰快运 row: detected; kdniao: none listed
    {"顺丰快运", "shunfengkuaiyun", "shunfengkuaiyun", -1, ""},
    {"德邦快递", "debangkuaidi", "debangkuaidi", 190174, "DBL"},
    // kdniao: one list gives DNWL to six companies: none; 17TRACK: no row
    {"丹鸟", "danniao", "danniao", -1, ""},
    {"中通快运", "zhongtongkuaiyun", "zhongtongkuaiyun", 191106, "ZTOKY"},
    // kdniao: ANEKY 安能快运 (ANE is 安能物流/安能快递, kuaidi100's ane66); 17TRACK: its one 安能 row, "Ane Express"
    // 安能物流, may be either: detected.
    {"安能快运", "annengwuliu", "annengwuliu", -1, "ANEKY"},
    {"百世快运", "baishiwuliu", "baishiwuliu", 190846, "BTWL"},
    // 17TRACK: see yunda: detected
    {"韵达快运", "yundakuaiyun", "yundakuaiyun", -1, "YDKY"},
    {"壹米滴答", "yimidida", "yimidida", 190441, "YMDD"},
    // kdniao: SX in one list only, doubtful
    {"顺心捷达", "sxjdfreight", "sxjdfreight", 190900, "SX"},
    {"日日顺物流", "rrs", "rrs", 190429, "RRS"},
    // kdniao: FWX in one list only, doubtful
    {"丰网速运", "fengwang", "fengwang", -1, "FWX"},
    // kdniao: ZYE in one list only, doubtful
    {"众邮快递", "zhongyouex", "zhongyouex", -1, "ZYE"},
    // Letters and parcels of any country's post (UPU S10 numbers such as RB123456785GB).
    // any post's S10 number: 17TRACK places it by its country
    {"国际邮政包裹", "youzhengguoji", "youzhengguoji", -1, "GJYZ"},
};

// The rows' positions in the order of their codes, for a binary search by code.
const std::array<int, std::size(kRows)> kByCode = [] {
    std::array<int, std::size(kRows)> order{};
    for (int i = 0; i < int(order.size()); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(), [](int a, int b) { return std::string_view(kRows[a].code) < kRows[b].code; });
    return order;
}();

// CMake counts the rows above, one a line, for the package's description and the metainfo.
static_assert(std::size(kRows) == version::courierCount, "the courier count CMake found is the table's");

} // namespace

std::span<const CourierRow> courierRows() {
    return kRows;
}

const CourierRow& courierRowByCodeOrder(int position) {
    return kRows[kByCode[position]];
}

int courierIndexOfCode(QStringView code) {
    const auto it = std::lower_bound(kByCode.begin(), kByCode.end(), code,
                                     [](int row, QStringView key) { return QLatin1String(kRows[row].code) < key; });
    if (it == kByCode.end() || QLatin1String(kRows[*it].code) != code)
        return -1;
    return *it;
}

const CourierRow* findCourierRow(QStringView code) {
    const int index = courierIndexOfCode(code);
    return index < 0 ? nullptr : &kRows[index];
}

} // namespace zjx
