#include "servicehelp.h"

#include "branchpages.h"
#include "trackingpages.h"

namespace zjx::service {

QString helpText() {
    QString text =
        QString::fromUtf8("zjx-service: the local tracking service of 踪迹匣 (zjx)\n"
                          "\n"
                          "Usage: zjx-service [--host ADDRESS] [--port PORT] [--interval MINUTES] [--version TEXT]\n"
                          "                   [--config FILE] [--check NUMBER COMPANY]\n"
                          "\n"
                          "  --host ADDRESS      address to listen on (default 127.0.0.1)\n"
                          "  --port PORT         port to listen on (default 18735; 0 takes a free one)\n"
                          "  --interval MINUTES  a parcel's history gains one event every MINUTES minutes (default 3)\n"
                          "  --version TEXT      the text of the version file (default V4.0)\n"
                          "  --config FILE       configuration file (default ~/.config/zjx/zjx-service.conf): the\n"
                          "                      back-end (demo, kuaidi100, 17track, kdniao) and its keys\n"
                          "  --check NUMBER COMPANY  ask the configured back-end once about NUMBER of COMPANY\n"
                          "                      (service code or name), print what the program would show, end\n"
                          "  --help              show this text\n"
                          "\n"
                          "Requests:\n"
                          "  GET /?com=CODE&nu=NUMBER&id=KEY&type=html  tracking page (demo: GBK; providers: GB18030)\n"
                          "  GET /tansoftjc/zjx/jc.txt                  the version text\n"
                          "  GET /query_list.asp?name=NAME              a 申通 branch page (UTF-8)\n"
                          "  GET /autonumber?nu=NUMBER&id=KEY           the companies NUMBER may belong to, one service\n"
                          "                                             code a line (kuaidi100, kdniao; others: none)\n"
                          "\n");
    text += QString::fromUtf8("Access key: %1\n\n").arg(QLatin1String(kAccessKey));
    text += QString::fromUtf8("Sample numbers (with any known company code):\n");
    for (const SampleNumber& s : sampleNumbers())
        text += QString::fromUtf8("  %1  %2\n").arg(QLatin1String(s.number), -12).arg(QString::fromUtf8(s.outcome));
    text +=
        QString::fromUtf8("  any other number of 8 to 20 letters and digits: a history that starts with 2 or 3 events\n"
                          "    and gains one per interval until it is signed for (5 to 9 events);\n"
                          "  any other number: \"单号格式错误\"; an unknown company code: \"不支持的快递公司\";\n"
                          "  a wrong access key: HTTP 403.\n"
                          "\n"
                          "Sample branches:");
    for (const Branch& b : sampleBranches())
        text += u' ' + b.name;
    text += QString::fromUtf8("\n  any other name: a page saying that no branch was found.\n");
    return text;
}

} // namespace zjx::service
