#include "servicehelp.h"

#include "branchpages.h"
#include "trackingpages.h"
#include "zjxversion.h"

namespace zjx::service {

QString helpText() {
    QString text = QString::fromUtf8(
                       "zjx-service: the local tracking service of 踪迹匣 (zjx)\n"
                       "\n"
                       "Usage: zjx-service [--host ADDRESS] [--port PORT] [--interval MINUTES] [--version TEXT]\n"
                       "                   [--config FILE] [--check NUMBER COMPANY]\n"
                       "                   [--secret-file FILE | --secret-fd N] [--listen-fd N]\n"
                       "\n"
                       "  --host ADDRESS      address to listen on (default 127.0.0.1)\n"
                       "  --port PORT         port to listen on (default 18735; 0 takes a free one)\n"
                       "  --interval MINUTES  a parcel's history gains one event every MINUTES minutes (default 3)\n"
                       "  --version TEXT      the text of the version file (default %1)\n"
                       "  --config FILE       configuration file (default ~/.config/zjx/zjx-service.conf): the\n"
                       "                      back-end (demo, kuaidi100, 17track, kdniao) and its keys\n"
                       "  --check NUMBER COMPANY  ask the configured back-end once about NUMBER of COMPANY\n"
                       "                      (service code or name), print what the program would show, end\n"
                       "  --secret-file FILE  serve only requests that carry the first line of FILE (mode 600,\n"
                       "                      yours) in the X-Zjx-Secret header\n"
                       "  --secret-fd N       the same, read from inherited descriptor N (how zjx starts it)\n"
                       "  --listen-fd N       serve on the listening socket inherited as descriptor N (how zjx\n"
                       "                      starts it: the port stays zjx's after this service ends)\n"
                       "  --help              show this text\n"
                       "\n"
                       "Requests:\n"
                       "  GET /?com=CODE&nu=NUMBER&id=KEY&type=html  tracking page (demo: GBK; providers: GB18030)\n"
                       "  GET /tansoftjc/zjx/jc.txt                  the version text\n"
                       "  GET /query_list.asp?name=NAME              a 申通 branch page (UTF-8)\n"
                       "  GET /autonumber?nu=NUMBER&id=KEY           the companies NUMBER may belong to, one service\n"
                       "                                             code a line (kuaidi100, kdniao; the demo from the\n"
                       "                                             number's shape; 17TRACK: none)\n"
                       "  GET /forum, /feedback, /home               short local pages about the program\n"
                       "\n")
                       .arg(QLatin1String(version::release));
    text += QString::fromUtf8("Access key: %1\n\n").arg(QLatin1String(kAccessKey));
    text +=
        QString::fromUtf8("Who may ask:\n"
                          "  Requests whose Host is not this address and port, or that carry an Origin header (a web\n"
                          "  page's script), get 403. With --secret-file or --secret-fd the tracking, version and\n"
                          "  branch requests must carry the secret in the X-Zjx-Secret header (else 403); without\n"
                          "  either, any program of any user on this machine may use the service.\n"
                          "  Open to the browser: this overview and /forum, /feedback, /home (short local pages).\n\n");
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

QList<QByteArray> localPagePaths() {
    return {"/forum", "/feedback", "/home"};
}

QByteArray localPage(const QByteArray& path) {
    QString title;
    if (path == "/forum")
        title = QStringLiteral("论坛");
    else if (path == "/feedback")
        title = QStringLiteral("在线反馈");
    else if (path == "/home")
        title = QStringLiteral("主页");
    else
        return {};
    // Fixed text only: the page must not echo anything a request could bring.
    const QString page = QStringLiteral(
        "<!DOCTYPE html><html lang=\"zh-CN\"><head><meta charset=\"utf-8\"><title>踪迹匣 - %1</title>"
        "<style>body{font-family:sans-serif;max-width:40em;margin:2em auto;line-height:1.6}</style></head><body>"
        "<h1>踪迹匣 (zjx) - %1</h1>"
        "<p>这个页面由踪迹匣自带的本地查询服务 zjx-service 提供，不来自网络。踪迹匣是一个查询快递包裹物流进度的"
        "桌面程序：选择快递公司、输入单号即可查看跟踪记录，并可保存单号、定时或循环查询。</p>"
        "<h2>说明文档</h2><ul>"
        "<li>使用说明：程序源代码中的 README.md；安装后在 /usr/share/doc/zjx/ (或安装前缀下的 share/doc/zjx/)。</li>"
        "<li>手册页：在终端中输入 <code>man zjx</code> 和 <code>man zjx-service</code>。</li>"
        "<li>本地服务的请求和示例单号：<code>zjx-service --help</code>。</li></ul>"
        "<h2>报告问题</h2><p>请向提供本程序的项目报告问题，并写明：程序版本 (V%2)、操作步骤、"
        "提示行显示的文字，以及在终端中启动 <code>zjx</code> 时输出的内容。请不要附上服务配置文件中的密钥。</p>"
        "</body></html>");
    return page.arg(title, QLatin1String(version::full)).toUtf8();
}

} // namespace zjx::service
