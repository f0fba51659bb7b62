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
// 17TRACK: numeric carrier keys only where the key is certain (postal services, EMS, DHL, UPS,
// FedEx, USPS); every other company is sent without a carrier and 17TRACK detects it from the
// number (-1). A number it cannot place comes back as -18019903, the unsupported-company page.
// kdniao: the ShipperCodes of kdniao's company list; an empty code is refused up front with the
// unsupported-company page. Which request type serves which company is decided in providers.cpp.
constexpr CarrierCodes kTable[] = {
    {"aae", "aae", -1, ""},
    {"anjie", "anjiekuaidi", -1, "AJ"}, // doubtful: 青岛安捷快递 in the list (安捷物流 is anjie88)
    {"annengwuliu", "annengwuliu", -1, ""},
    {"anxinda", "anxindakuaixi", -1, "AXD"},
    {"aramex", "aramex", -1, "ARAMEX"},
    {"baishiwuliu", "baishiwuliu", -1, ""},
    {"benteng", "benteng", -1, ""},
    {"cces", "", -1, ""},                // not in kuaidi100's company list any more
    {"changtong", "", -1, ""},           // not in kuaidi100's company list any more
    {"chengguang", "flyway", -1, ""},    // 程光快递 in the list
    {"chengji", "chengji", -1, "CJKD"},  // 城际快递 in the list
    {"chengshi100", "", -1, "CITY100"},  // not in kuaidi100's company list any more
    {"chuanxi", "chuanxiwuliu", -1, ""}, // 传喜物流 in the list
    {"chuanzhi", "", -1, ""},            // not in kuaidi100's company list any more
    {"citylink", "citylink", -1, ""},
    {"coe", "coe", -1, "COE"},
    {"cszx", "", -1, ""}, // not in kuaidi100's company list any more
    {"danniao", "danniao", -1, ""},
    {"datian", "datianwuliu", -1, "DTWL"},
    {"dayang", "dayangwuliu", -1, ""}, // 大洋物流 in the list
    {"debang", "debangwuliu", -1, "DBL"},
    {"debangkuaidi", "debangkuaidi", -1, ""},
    {"dechuang", "dechuangwuliu", -1, ""}, // 深圳德创物流 in the list
    {"dhl", "dhl", 100001, "DHL"},
    {"diantong", "", -1, ""},      // not in kuaidi100's company list any more
    {"dida", "didasuyun", -1, ""}, // doubtful: 递达速运 is the only 递达 left in the list
    {"disifang", "disifang", -1, ""},
    {"dpex", "dpex", -1, "DPEX"},
    {"dsu", "dsukuaidi", -1, "DSWL"},
    {"ees", "baifudongfang", -1, "BFDF"},
    {"ems", "ems", 3013, "EMS"},
    {"fanyu", "fanyukuaidi", -1, ""}, // 凡宇快递 in the list
    {"fardar", "fardarww", -1, ""},   // 颿达国际快递 in the list
    {"fedex", "fedex", 100003, "FEDEX_GJ"},
    {"fedexcn", "lianbangkuaidi", 100003, "FEDEX"}, // 联邦快递 (FedEx China domestic); "fedexcn" is Fedex-国际件-中文
    {"feibang", "fbkd", -1, ""},                    // 飞邦快递 in the list
    {"feibao", "feibaokuaidi", -1, ""},
    {"feihang", "yuanfeihangwuliu", -1, "YFHEX"},
    {"feihu", "feihukuaidi", -1, ""},
    {"feiyuan", "", -1, ""}, // not in kuaidi100's company list any more
    {"fengda", "", -1, ""},  // not in kuaidi100's company list any more
    {"fengwang", "fengwang", -1, ""},
    {"fkd", "feikangda", -1, "FKD"},
    {"gdyz", "guangdongyouzhengwuliu", 3011, "GDEMS"},
    {"gnxb", "youzhengguonei", 3011, "YZPY"},
    {"gongsuda", "gongsuda", -1, "GSD"},
    {"guotong", "", -1, "GTO"}, // not in kuaidi100's company list any more
    {"haihong", "haihongwangsong", -1, ""},
    {"haimeng", "haimengsudi", -1, ""},
    {"haosheng", "", -1, ""},     // not in kuaidi100's company list any more
    {"hebeijianhua", "", -1, ""}, // not in kuaidi100's company list any more
    {"henglu", "hengluwuliu", -1, "HLWL"},
    {"huaqi", "huaqikuaiyun", -1, ""},
    {"huaxialong", "", -1, "HXLWL"}, // not in kuaidi100's company list any more
    {"huayu", "tiandihuayu", -1, "HOAU"},
    {"huiqiang", "huiqiangkuaidi", -1, "ZHQKD"},
    {"huitong", "huitongkuaidi", -1, "HTKY"},
    {"hwhq", "haiwaihuanqiu", -1, ""}, // 海外环球 in the list
    {"jd", "jd", -1, ""},
    {"jiaji", "jiajiwuliu", -1, "JJKY"},
    {"jiayi", "jiayiwuliu", -1, "JYWL"},
    {"jiayunmei", "jiayunmeiwuliu", -1, "JYM"},
    {"jinda", "jindawuliu", -1, ""},
    {"jingdongkuaiyun", "jingdongkuaiyun", -1, ""},
    {"jingguang", "jinguangsudikuaijian", -1, "JGSD"}, // 京广速递 in the list
    {"jinyue", "jinyuekuaidi", -1, "JYKD"},
    {"jixianda", "jixianda", -1, "JXD"},
    {"jldt", "jialidatong", -1, "JLDT"},
    {"jtexpress", "jtexpress", -1, ""},
    {"kangli", "", -1, ""}, // not in kuaidi100's company list any more
    {"kcs", "kcs", -1, ""},
    {"kuaijie", "kuaijiesudi", -1, "FAST"},
    {"kuayue", "kuayue", -1, "KYSY"},
    {"lejiedi", "", -1, ""}, // not in kuaidi100's company list any more
    {"lianhaotong", "lianhaowuliu", -1, "LHT"},
    {"lijisong", "lijisong", -1, ""},
    {"longbang", "", -1, "LB"}, // not in kuaidi100's company list any more
    {"minbang", "", -1, ""},    // not in kuaidi100's company list any more
    {"mingliang", "mingliangwuliu", -1, "MLWL"},
    {"minsheng", "", -1, ""}, // not in kuaidi100's company list any more
    {"nengda", "ganzhongnengda", -1, "NEDA"},
    {"ocs", "ocs", -1, "OCS"},
    {"pinganda", "pingandatengfei", -1, "PADTF"},
    {"pingyou", "youzhengguonei", 3011, "YZPY"},
    {"pinsu", "pinsuxinda", -1, ""}, // 品速心达快递 in the list
    {"quanchen", "", -1, "QCKD"},    // not in kuaidi100's company list any more
    {"quanfeng", "quanfengkuaidi", -1, "QFKD"},
    {"quanjitong", "quanjitong", -1, ""},
    {"quanritong", "quanritongkuaidi", -1, "QRT"},
    {"quanyi", "quanyikuaidi", -1, "UAPEX"},
    {"rpx", "rpx", -1, ""},
    {"rrs", "rrs", -1, ""},
    {"rufeng", "", -1, "RFD"},            // not in kuaidi100's company list any more
    {"saiaodi", "saiaodimmb", -1, "SAD"}, // doubtful: "赛澳递for买卖宝" is the only 赛澳递 left in the list
    {"santai", "santaisudi", -1, ""},
    {"scs", "", -1, ""}, // not in kuaidi100's company list any more
    {"shengan", "shenganwuliu", -1, "SAWL"},
    {"shengfeng", "sfwl", -1, "SFWL"}, // 盛丰物流 in the list
    {"shenghui", "shenghuiwuliu", -1, "SHWL"},
    {"shentong", "shentong", -1, "STO"},
    {"shunfeng", "shunfeng", -1, "SF"},
    {"shunfengkuaiyun", "shunfengkuaiyun", -1, ""},
    {"suijia", "suijiawuliu", -1, ""},
    {"sure", "suer", -1, "SURE"},
    {"sxjdfreight", "sxjdfreight", -1, ""},
    {"tiantian", "tiantian", -1, "HHTT"},
    {"tnt", "tnt", -1, "TNT"},
    {"tongcheng", "", -1, ""}, // not in kuaidi100's company list any more
    {"tonghe", "tonghetianxia", -1, ""},
    {"ups", "ups", 100002, "UPS"},
    {"usps", "usps", 21051, "USPS"},
    {"wanjia", "wanjiawuliu", -1, "WJWL"},
    {"weitepai", "weitepai", -1, ""},
    {"xianglong", "xianglongyuntong", -1, ""},
    {"xinbang", "", -1, "XBWL"}, // not in kuaidi100's company list any more
    {"xinfeng", "xinfengwuliu", -1, "XFEX"},
    {"xiyoute", "", -1, "XYT"},       // not in kuaidi100's company list any more
    {"yad", "yuananda", -1, "YADEX"}, // 源安达 in the list
    {"yafeng", "yafengsudi", -1, "YFSD"},
    {"yibang", "yibangwuliu", -1, ""},
    {"yimidida", "yimidida", -1, ""},
    {"yinjie", "yinjiesudi", -1, ""},
    {"yishunhang", "yishunhang", -1, ""},
    {"yousu", "youshuwuliu", -1, "UC"},
    {"youzhengguoji", "youzhengguoji", -1, "GJYZ"}, // any post's S10 number: 17TRACK places it by its country
    {"ytfh", "", -1, ""},                           // not in kuaidi100's company list any more
    {"yuancheng", "yuanchengwuliu", -1, "YCWL"},
    {"yuantong", "yuantong", -1, "YTO"},
    {"yuanzhi", "yuanzhijiecheng", -1, ""}, // 元智捷诚 in the list
    {"yuefeng", "yuefengwuliu", -1, "YFEX"},
    {"yunda", "yunda", -1, "YD"},
    {"yundakuaiyun", "yundakuaiyun", -1, ""},
    {"yuntong", "", -1, ""}, // not in kuaidi100's company list any more
    {"ywfex", "", -1, ""},   // not in kuaidi100's company list any more
    {"zhaijisong", "zhaijisong", -1, "ZJS"},
    {"zhima", "zhimakaimen", -1, ""},         // 芝麻开门 in the list
    {"zhongtian", "zhongtianwanyun", -1, ""}, // 中天万运 in the list
    {"zhongtie", "ztky", -1, "ZTKY"},         // 中铁快运 in the list
    {"zhongtong", "zhongtong", -1, "ZTO"},
    {"zhongtongkuaiyun", "zhongtongkuaiyun", -1, ""},
    {"zhongxinda", "zhongxinda", -1, ""},
    {"zhongyou", "zhongyouwuliu", -1, "ZYWL"},
    {"zhongyouex", "zhongyouex", -1, ""},
};

// The couriers added after the original 127 (jtexpress, jd, danniao ...) have kuaidi100's code as
// the program's code; 17TRACK detects them from the number; kdniao gets no code for them until its
// own published list is checked, so they are refused up front with the unsupported-company page.
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
