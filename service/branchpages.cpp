#include "branchpages.h"

namespace zjx::service {

namespace {

QString u(const char* s) {
    return QString::fromUtf8(s);
}

// The values never contain "td" or "</": the program cuts the page at every "td". The branches are
// made up: their telephone numbers are all zeros, so none can reach a real office.
const QList<Branch> kBranches = {
    {u("上海浦东"), u("张建国"), u("申通快递上海浦东新区分公司"), u("021-00000000"),
     u("浦东新区陆家嘴、花木、张江、金桥、北蔡、三林、川沙新镇全境"),
     u("南汇新城镇、芦潮港、书院镇、万祥镇；洋山港区与外高桥保税区仓库须自提")},
    {u("北京朝阳"), u("李卫东"), u("申通快递北京朝阳区分公司"), u("010-00000000"),
     u("朝阳区三环至五环以内：国贸、CBD、望京、酒仙桥、大屯、亚运村"),
     u("朝阳区五环以外的金盏、孙河、黑庄户、王四营；首都机场货运区")},
    {u("广州天河"), u("陈志强"), u("申通快递广州天河区分公司"), u("020-00000000"),
     u("天河区珠江新城、天河北、石牌、五山、员村、车陂、棠下"), u("天河区凤凰街、龙洞山区村落；广州东站行包房")},
    {u("杭州西湖"), u("王丽华"), u("申通快递杭州西湖区分公司"), u("0571-00000000"),
     u("西湖区文新、古荡、翠苑、北山、西溪、蒋村、留下"), u("西湖区转塘、双浦、三墩北部；西湖景区内山地民宅")},
    {u("深圳南山"), u("刘海峰"), u("申通快递深圳南山区分公司"), u("0755-00000000"),
     u("南山区科技园、蛇口、南头、后海、西丽、桃源、粤海"), u("南山区内伶仃岛、大铲岛；深圳湾口岸查验区")},
};

QString escape(const QString& text) {
    // Also break up "td" in text taken from the request, so it cannot shift the program's cut.
    return text.toHtmlEscaped().replace(u("td"), u("t&#100;"));
}

// One "td" of the page stands in the style sheet: together with the title cell and a caption cell
// before each value, it puts the values in the 6th, 10th ... 26th piece of the page cut at "td". Each value cell's
// opening tag, counted after its "td", is " class=\"...\">": 19 characters with a 9-letter class, 20 for the last with
// a 10-letter class.
QString head() {
    return u("<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n<title>申通快递 - 网点查询</title>\n"
             "<style>\nbody { font-family: sans-serif; font-size: 14px; }\n"
             ".title { background: #d32f2f; color: #fff; font-weight: bold; }\n"
             ".caption { background: #f5f5f5; }\ntd { padding: 4px 8px; }\n</style>\n</head>\n<body>\n"
             "<table width=\"560\" border=\"1\" cellspacing=\"0\">\n");
}

QString tail() {
    return u("</table>\n</body>\n</html>\n");
}

QString row(const QString& caption, const char* cssClass, const QString& value) {
    return u("<tr><td class=\"caption\">") + caption + u("</td><td class=\"") + u(cssClass) + u("\">") + escape(value) +
           u("</td></tr>\n");
}

} // namespace

const QList<Branch>& sampleBranches() {
    return kBranches;
}

QByteArray branchPage(const QString& name) {
    const QString wanted = name.trimmed();
    for (const Branch& b : kBranches) {
        if (b.name != wanted)
            continue;
        return (head() + u("<tr><td colspan=\"2\" class=\"title\">申通快递网点信息</td></tr>\n") +
                row(u("网点名称"), "site-name", b.name) + row(u("负责人"), "principal", b.person) +
                row(u("网点全称"), "site-full", b.fullName) + row(u("联系电话"), "telephone", b.telephone) +
                row(u("派送范围"), "scope-yes", b.deliveryArea) +
                row(u("不派送范围"), "scope-none", b.nonDeliveryArea) + tail())
            .toUtf8();
    }
    return (head() + u("<tr><td colspan=\"2\" class=\"title\">申通快递网点信息</td></tr>\n") +
            u("<tr><td class=\"caption\">没有找到名为“") + escape(wanted) +
            u("”的网点，请核对网点名称后重新查询。</td></tr>\n") + tail())
        .toUtf8();
}

} // namespace zjx::service
