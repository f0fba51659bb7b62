#include "carriercodes.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace zjx::gateway {

namespace {

// One row per company of the program's catalogue, sorted by the program's code (a binary search).
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
// unsupported-company page. Which request type serves which code is decided in providers.cpp.
constexpr CarrierCodes kTable[] = {
    {"aae", "aae", -1, "AAE"},
    {"anjie", "anjiekuaidi", -1, "AJ"}, // kuaidi100: doubtful: 青岛安捷快递 in the list (安捷物流 is anjie88)
    // kdniao: ANEKY 安能快运 (ANE is 安能物流/安能快递, kuaidi100's ane66); 17TRACK: its one 安能 row,
    // "Ane Express" 安能物流, may be either: detected.
    {"annengwuliu", "annengwuliu", -1, "ANEKY"},
    {"anxinda", "anxindakuaixi", -1, ""}, // kdniao: AXD is 安鲜达 in four of five lists (安信达 in one), so none
    {"aramex", "aramex", 100006, "ARAMEX"}, // 17TRACK: Aramex 100006 (the AU and NZ rows were Fastway)
    {"baishiwuliu", "baishiwuliu", 190846, "BTWL"},
    {"benteng", "benteng", -1, "BNTWL"},
    {"cces", "", -1, "CCES"}, // not in kuaidi100's company list any more
    // not in kuaidi100's company list any more; kdniao: CTWL in one list only, doubtful
    {"changtong", "", -1, "CTWL"},
    {"chengguang", "flyway", -1, "CG"},      // kuaidi100: 程光快递 in the list
    {"chengji", "chengji", -1, "CJKD"},      // kuaidi100: 城际快递 in the list
    {"chengshi100", "", -1, "CITY100"},      // not in kuaidi100's company list any more
    {"chuanxi", "chuanxiwuliu", -1, "CXHY"}, // kuaidi100: 传喜物流 in the list
    {"chuanzhi", "", -1, ""},                // not in kuaidi100's company list any more
    {"citylink", "citylink", -1, ""},
    {"coe", "coe", -1, "COE"},
    {"cszx", "", -1, ""},           // not in kuaidi100's company list any more
    {"danniao", "danniao", -1, ""}, // kdniao: one list gives DNWL to six companies: none; 17TRACK: no row
    {"datian", "datianwuliu", -1, "DTWL"},
    {"dayang", "dayangwuliu", -1, "DYWL"}, // kuaidi100: 大洋物流 in the list; kdniao: DYWL in one list only, doubtful
    {"debang", "debangwuliu", 190174, "DBL"}, // 17TRACK: Deppon 德邦, the one Deppon row, also for 德邦快递
    {"debangkuaidi", "debangkuaidi", 190174, "DBL"},
    // kuaidi100: 深圳德创物流 in the list; kdniao: DCWL in one list only, doubtful
    {"dechuang", "dechuangwuliu", -1, "DCWL"},
    {"dhl", "dhl", 100001, "DHL"},
    {"diantong", "", -1, "DTKD"},  // not in kuaidi100's company list any more; kdniao: DTKD in one list only, doubtful
    {"dida", "didasuyun", -1, ""}, // kuaidi100: doubtful: 递达速运 is the only 递达 left in the list
    {"disifang", "disifang", 190094, "D4PX"},
    {"dpex", "dpex", 100014, "DPEX"},
    {"dsu", "dsukuaidi", -1, "DSWL"},
    {"ees", "baifudongfang", -1, "BFDF"},
    {"ems", "ems", 3013, "EMS"},
    // kuaidi100: 凡宇快递 in the list; kdniao: FYKD 凡宇货的 and FYSD 凡宇速递 (one list): none
    {"fanyu", "fanyukuaidi", -1, ""},
    {"fardar", "fardarww", -1, ""}, // kuaidi100: 颿达国际快递 in the list
    {"fedex", "fedex", 100003, "FEDEX_GJ"},
    // kuaidi100: 联邦快递 (FedEx China domestic); "fedexcn" is Fedex-国际件-中文
    {"fedexcn", "lianbangkuaidi", 100003, "FEDEX"},
    {"feibang", "fbkd", -1, ""},            // kuaidi100: 飞邦快递 in the list
    {"feibao", "feibaokuaidi", -1, "FBKD"}, // kdniao: FBKD in one list only, doubtful
    {"feihang", "yuanfeihangwuliu", 190389, "YFHEX"},
    {"feihu", "feihukuaidi", -1, "FHKD"}, // kdniao: FHKD in one list only, doubtful
    {"feiyuan", "", -1, ""}, // not in kuaidi100's company list any more; kdniao: only FYPS 飞远配送, in one list: none
    {"fengda", "", -1, ""},              // not in kuaidi100's company list any more
    {"fengwang", "fengwang", -1, "FWX"}, // kdniao: FWX in one list only, doubtful
    {"fkd", "feikangda", -1, "FKD"},
    {"gdyz", "guangdongyouzhengwuliu", 3011, "GDEMS"}, // 17TRACK: China Post
    {"gnxb", "youzhengguonei", 3011, "YZPY"},
    {"gongsuda", "gongsuda", -1, "GSD"},
    // not in kuaidi100's company list any more; kdniao: GTO is missing from the newest list
    {"guotong", "", -1, "GTO"},
    {"haihong", "haihongwangsong", -1, "SDHH"}, // kdniao: SDHH in one list only, doubtful
    {"haimeng", "haimengsudi", -1, "HMSD"},     // kdniao: HMSD in one list only, doubtful
    {"haosheng", "", -1, "HSWL"}, // not in kuaidi100's company list any more; kdniao: HSWL in one list only, doubtful
    // not in kuaidi100's company list any more; kdniao: HBJH in one list only, doubtful
    {"hebeijianhua", "", -1, "HBJH"},
    {"henglu", "hengluwuliu", -1, "HLWL"},
    {"huaqi", "huaqikuaiyun", -1, "HQKD"},
    {"huaxialong", "", -1, "HXLWL"}, // not in kuaidi100's company list any more
    {"huayu", "tiandihuayu", -1, "HOAU"},
    {"huiqiang", "huiqiangkuaidi", -1, "ZHQKD"},
    // kdniao HTKY: only its logistics-tracking queries 1008/8008; 17TRACK: only 百世国际 and 百世快运 rows: detected
    {"huitong", "huitongkuaidi", -1, "HTKY"},
    {"hwhq", "haiwaihuanqiu", -1, ""},   // kuaidi100: 海外环球 in the list
    {"jd", "jd", 191121, "JD"},          // 17TRACK: JD Logistics (JD Worldwide is the cross-border line)
    {"jiaji", "jiajiwuliu", -1, "CNEX"}, // kdniao: CNEX in three lists (JJKY in one)
    {"jiayi", "jiayiwuliu", -1, "JYWL"},
    {"jiayunmei", "jiayunmeiwuliu", 191224, "JYM"},
    {"jinda", "jindawuliu", -1, "JDWL"}, // kdniao: JDWL in one list only, doubtful
    // 17TRACK: no row of its own (JD Logistics is 京东物流): detected; kdniao JDKY: which query serves it is not listed
    {"jingdongkuaiyun", "jingdongkuaiyun", -1, "JDKY"},
    {"jingguang", "jinguangsudikuaijian", 190426, "JGSD"}, // kuaidi100: 京广速递 in the list
    {"jinyue", "jinyuekuaidi", -1, "JYKD"},
    {"jixianda", "jixianda", -1, "JXD"},
    {"jldt", "jialidatong", 191054, "JLDT"}, // kdniao: JLDT is named 嘉里国际 in the lists; 17TRACK: KEAS 嘉里大通
    // kdniao: JTSD in one list only, doubtful; 17TRACK: J&T Express (CN) (J&T International 100295 is the cross-border
    // line)
    {"jtexpress", "jtexpress", 190442, "JTSD"},
    {"kangli", "", -1, "KLWL"}, // not in kuaidi100's company list any more; kdniao: KLWL in one list only, doubtful
    {"kcs", "kcs", -1, ""},
    {"kuaijie", "kuaijiesudi", -1, "FAST"}, // kdniao: FAST in one list only, doubtful
    // kdniao: KYSY 跨越速运 (KYWL is 跨越物流); 17TRACK: two rows, KYE and KYE (CN): detected
    {"kuayue", "kuayue", -1, "KYSY"},
    {"lejiedi", "", -1, "LJD"}, // not in kuaidi100's company list any more; kdniao: LJD in one list only, doubtful
    {"lianhaotong", "lianhaowuliu", 191165, "LHT"},
    {"lijisong", "lijisong", -1, "LJSKD"},
    {"longbang", "", -1, "LB"}, // not in kuaidi100's company list any more
    {"minbang", "", -1, "MB"},  // not in kuaidi100's company list any more
    {"mingliang", "mingliangwuliu", -1, "MLWL"},
    {"minsheng", "", -1, "MSKD"}, // not in kuaidi100's company list any more; kdniao: MSKD in one list only, doubtful
    {"nengda", "ganzhongnengda", -1, "NEDA"},
    {"ocs", "ocs", -1, "OCS"}, // 17TRACK: four OCS rows (CN, GB, IN, US): detected
    {"pinganda", "pingandatengfei", -1, "PADTF"},
    {"pingyou", "youzhengguonei", 3011, "YZPY"},
    {"pinsu", "pinsuxinda", -1, ""},            // kuaidi100: 品速心达快递 in the list
    {"quanchen", "", -1, "QCKD"},               // not in kuaidi100's company list any more
    {"quanfeng", "quanfengkuaidi", -1, "QFKD"}, // kdniao: QFKD in one list only, doubtful
    {"quanjitong", "quanjitong", -1, ""},
    {"quanritong", "quanritongkuaidi", -1, "QRT"},
    {"quanyi", "quanyikuaidi", -1, "UAPEX"},
    {"rpx", "rpx", -1, ""},
    {"rrs", "rrs", 190429, "RRS"},
    {"rufeng", "", -1, "RFD"},            // not in kuaidi100's company list any more
    {"saiaodi", "saiaodimmb", -1, "SAD"}, // kuaidi100: doubtful: "赛澳递for买卖宝" is the only 赛澳递 left in the list
    {"santai", "santaisudi", 190113, "STSD"}, // kdniao: STSD in one list only, doubtful
    {"scs", "", -1, ""},                      // not in kuaidi100's company list any more
    {"shengan", "shenganwuliu", -1, "SAWL"},
    {"shengfeng", "sfwl", -1, "SFWL"}, // kuaidi100: 盛丰物流 in the list
    {"shenghui", "shenghuiwuliu", -1, "SHWL"},
    // 17TRACK: STO Express (STO Global is the cross-border line); kdniao: 8001 only
    {"shentong", "shentong", 190324, "STO"},
    {"shunfeng", "shunfeng", -1, "SF"}, // 17TRACK: two rows, SF Express 100012 and SF Express(CN) 190766: detected
    {"shunfengkuaiyun", "shunfengkuaiyun", -1, ""}, // 17TRACK: no 顺丰快运 row: detected; kdniao: none listed
    {"suijia", "suijiawuliu", -1, "SJWL"},          // kdniao: SJWL in one list only, doubtful
    {"sure", "suer", -1, "SURE"},
    {"sxjdfreight", "sxjdfreight", 190900, "SX"}, // kdniao: SX in one list only, doubtful
    {"tiantian", "tiantian", 190077, "HHTT"},     // kdniao: HHTT is missing from the newest list; 8001 only
    {"tnt", "tnt", 100004, "TNT"},                // 17TRACK: TNT 100004 (the IT, AU, FR rows are national networks)
    {"tongcheng", "", -1, ""},                    // not in kuaidi100's company list any more
    {"tonghe", "tonghetianxia", -1, "THTX"},      // kdniao: THTX in one list only, doubtful
    {"ups", "ups", 100002, "UPS"},
    {"usps", "usps", 21051, "USPS"}, // kdniao: USPS is missing from the newest list
    {"wanjia", "wanjiawuliu", -1, "WJWL"},
    {"weitepai", "weitepai", -1, "WTP"},
    {"xianglong", "xianglongyuntong", -1, "XLYT"}, // kdniao: XLYT in one list only, doubtful
    {"xinbang", "", -1, "XBWL"},                   // not in kuaidi100's company list any more
    {"xinfeng", "xinfengwuliu", 190989, "XFEX"},
    {"xiyoute", "", -1, "XYT"},       // not in kuaidi100's company list any more
    {"yad", "yuananda", -1, "YADEX"}, // kuaidi100: 源安达 in the list
    {"yafeng", "yafengsudi", -1, "YFSD"},
    {"yibang", "yibangwuliu", -1, ""},
    {"yimidida", "yimidida", 190441, "YMDD"},
    {"yinjie", "yinjiesudi", -1, "YJSD"},    // kdniao: YJSD in one list only, doubtful
    {"yishunhang", "yishunhang", -1, "YSH"}, // kdniao: YSH in one list only, doubtful
    {"yousu", "youshuwuliu", 190415, "UC"},
    {"youzhengguoji", "youzhengguoji", -1, "GJYZ"}, // any post's S10 number: 17TRACK places it by its country
    {"ytfh", "", -1, "YTFH"}, // not in kuaidi100's company list any more; kdniao: YTFH in one list only, doubtful
    {"yuancheng", "yuanchengwuliu", -1, "YCWL"},
    {"yuantong", "yuantong", 190157, "YTO"},
    {"yuanzhi", "yuanzhijiecheng", -1, ""}, // kuaidi100: 元智捷诚 in the list
    {"yuefeng", "yuefengwuliu", -1, "YFEX"},
    // 17TRACK: Yunda Express 191197 is named 韵达快运, beside 韵达国际 and YundaExpress (Asia): detected
    {"yunda", "yunda", -1, "YD"},
    {"yundakuaiyun", "yundakuaiyun", -1, "YDKY"}, // 17TRACK: see yunda: detected
    {"yuntong", "", -1, ""},                      // not in kuaidi100's company list any more
    {"ywfex", "", -1, ""},                        // not in kuaidi100's company list any more
    {"zhaijisong", "zhaijisong", -1, "ZJS"},
    {"zhima", "zhimakaimen", -1, "ZMKM"}, // kuaidi100: 芝麻开门 in the list
    // kuaidi100: 中天万运 in the list; kdniao: ZTWY in one list only, doubtful
    {"zhongtian", "zhongtianwanyun", -1, "ZTWY"},
    {"zhongtie", "ztky", -1, "ZTKY"},          // kuaidi100: 中铁快运 in the list
    {"zhongtong", "zhongtong", 190455, "ZTO"}, // 17TRACK: ZTO Express (beside ZTO International, Freight, CWST, CCW)
    {"zhongtongkuaiyun", "zhongtongkuaiyun", 191106, "ZTOKY"},
    {"zhongxinda", "zhongxinda", -1, ""},
    {"zhongyou", "zhongyouwuliu", -1, "ZYWL"},
    {"zhongyouex", "zhongyouex", -1, "ZYE"}, // kdniao: ZYE in one list only, doubtful
};

// The couriers added after the original 127 (jtexpress, jd, danniao ...) have kuaidi100's code as
// the program's code.
static_assert(std::size(kTable) == 143, "one row per catalogue company");

} // namespace

const CarrierCodes* findCarrierCodes(const QString& code) {
    // toLatin1 turns other characters into "?", which no code holds.
    const QByteArray key = code.toLatin1();
    const auto it =
        std::lower_bound(std::begin(kTable), std::end(kTable), key, [](const CarrierCodes& c, const QByteArray& k) {
            return std::strcmp(c.code, k.constData()) < 0;
        });
    if (it == std::end(kTable) || key != it->code)
        return nullptr;
    return it;
}

int carrierCodesCount() {
    return int(std::size(kTable));
}

const CarrierCodes& carrierCodesAt(int index) {
    return kTable[index];
}

} // namespace zjx::gateway
