#include "checkcommand.h"

#include "core/catalogue.h"
#include "core/parser.h"
#include "core/trackingrequest.h"
#include "gateway.h"
#include "providers.h"

#include <QEventLoop>
#include <QStringDecoder>

#include <optional>

namespace zjx::gateway {

namespace {

// A provider's error text may echo what it was sent: scrubbed like the log.
void say(std::FILE* out, const QString& line, const QStringList& secrets = {}) {
    const QByteArray bytes = scrubbed(line, secrets).toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), out);
}

QString providerUrl(const GatewayConfig& c) {
    if (c.backend == u"kuaidi100")
        return c.kuaidi100Url.toString();
    if (c.backend == u"17track")
        return c.track17Url.toString();
    if (c.backend == u"kdniao")
        return c.kdniaoUrl.toString();
    return QStringLiteral("made-up parcels, no network");
}

// The program reads the page in the charset the service names.
QString decodePage(const zjx::service::Reply& reply) {
    const QByteArray type = QByteArray(reply.contentType.c_str()).toLower();
    QStringDecoder decoder(type.contains("gb18030") ? "GB18030" : "GBK");
    return decoder.decode(reply.body);
}

// The last line, for programs: "verdict: WORD [DETAIL]", made from the outcome's kind and fault,
// never from the sentences above (their wording may change).
void verdictLine(std::FILE* out, const QString& word, const QString& detail = {}) {
    say(out, QStringLiteral("verdict: ") + word + (detail.isEmpty() ? QString() : u' ' + detail));
}

} // namespace

int runCheck(const GatewayConfig& config, const QString& number, const QString& company, int demoIntervalMinutes,
             std::FILE* out) {
    int index = CourierCatalogue::indexOfCode(company);
    if (index < 0)
        index = CourierCatalogue::indexOfName(company);
    if (index < 0) {
        say(out,
            QStringLiteral("unknown company \"%1\": give a service code such as shentong or a name such as 申通快递")
                .arg(company));
        verdictLine(out, QStringLiteral("company"));
        return 2;
    }
    // Every line from here on is scrubbed like the log: a provider's text may echo what it was sent.
    const auto say = [&config](std::FILE* to, const QString& line) { zjx::gateway::say(to, line, config.secrets()); };
    const QString code = CourierCatalogue::serviceCode(index);
    say(out, QStringLiteral("configuration: %1")
                 .arg(config.path.isEmpty() ? QStringLiteral("none (defaults)") : config.path));
    say(out, QStringLiteral("back-end: %1 (%2)").arg(config.backend, providerUrl(config)));
    say(out, QStringLiteral("company: %1 (%2)").arg(CourierCatalogue::displayName(index), code));
    for (const QString& warning : config.warnings)
        say(out, QStringLiteral("warning: %1").arg(warning));

    const CarrierCodes* codes = findCarrierCodes(code);
    const bool kdniao = config.backend == u"kdniao" && codes;
    if (kdniao)
        if (const QString why = kdniaoUnserved(*codes, config.kdniaoRequestType); !why.isEmpty())
            say(out, why);

    QString error;
    const std::unique_ptr<TrackingBackend> backend = makeBackend(config, demoIntervalMinutes, {}, &error);
    if (!backend) {
        say(out, QStringLiteral("cannot ask: no key: %1").arg(error));
        verdictLine(out, QStringLiteral("fault"), reasonWord(FaultKind::NoKey));
        return 1;
    }
    std::optional<GatewayAnswer> answer;
    QEventLoop loop;
    backend->answer({code, number, TrackingRequest::accessKey()}, [&](const GatewayAnswer& a) {
        answer = a;
        loop.quit();
    });
    if (!answer)
        loop.exec();

    if (!answer->problem.isEmpty() || answer->reply.status != 200) {
        say(out, QStringLiteral("cannot answer: %1")
                     .arg(answer->problem.isEmpty() ? QStringLiteral("HTTP %1").arg(answer->reply.status)
                                                    : answer->problem));
        say(out, QStringLiteral("the program would show its network hint and record nothing"));
        if (!answer->problem.isEmpty())
            say(out, QStringLiteral("message: %1").arg(answer->problem));
        verdictLine(out, QStringLiteral("fault"), reasonWord(answer->fault.value_or(FaultKind::Provider)));
        return 1;
    }
    const QString page = decodePage(answer->reply);
    const Screening verdict = screenAnswer(page);
    switch (verdict) {
    case Screening::Empty:
        say(out, QStringLiteral("the program would get an empty answer and show nothing"));
        verdictLine(out, QStringLiteral("empty"));
        return 0;
    case Screening::NotFound:
        say(out, QStringLiteral("no result: the program offers to save the parcel anyway (\"不存在\")"));
        if (const QString hint = kdniao ? kdniaoNoTraceHint(*codes, config.kdniaoRequestType) : QString();
            !hint.isEmpty()) {
            say(out, hint);
            verdictLine(out, QStringLiteral("notfound"), QStringLiteral("needs-8001"));
            return 0;
        }
        verdictLine(out, QStringLiteral("notfound"));
        return 0;
    case Screening::Good:
        break;
    default:
        say(out, QStringLiteral("the program would show: %1").arg(screeningHint(verdict)));
        verdictLine(out, verdict == Screening::Unsupported   ? QStringLiteral("unsupported")
                         : verdict == Screening::FormatError ? QStringLiteral("badnumber")
                                                             : QStringLiteral("marker"));
        return 0;
    }
    const int rows = TrackingParser::countRows(page);
    const QList<ProgressEntry> entries = TrackingParser::parse(page, rows);
    if (entries.isEmpty()) {
        say(out, QStringLiteral("an answer without events: the program would list nothing"));
        verdictLine(out, QStringLiteral("notfound"));
        return 0;
    }
    say(out, QStringLiteral("the program would show %1 events, parcel state %2:")
                 .arg(entries.size())
                 .arg(TrackingParser::parcelState(entries.first().progress)));
    for (const ProgressEntry& e : entries)
        say(out, QStringLiteral("%1  %2  %3")
                     .arg(e.number.rightJustified(3), e.time, QString(e.progress).remove(QChar(0x200D))));
    // The parser gives the latest event first, as the list shows it.
    const ProgressEntry& latest = entries.first();
    say(out, QStringLiteral("latest: %1  %2").arg(latest.time, QString(latest.progress).remove(QChar(0x200D))));
    // What the service tells the program beside the page.
    for (const auto& [name, value] : answer->reply.headers)
        if (name == "X-Zjx-State" || name == "X-Zjx-Estimated-Delivery")
            say(out, QStringLiteral("%1: %2").arg(QString::fromStdString(name), QString::fromStdString(value)));
    verdictLine(out, QStringLiteral("events"), QString::number(entries.size()));
    return 0;
}

} // namespace zjx::gateway
