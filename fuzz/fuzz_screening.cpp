// The answer screening, from the bytes on the wire: the body is decoded as the client decodes it
// (the charset of the Content-Type, else GBK), the verdict follows the markers in their fixed
// order, and an answer that passes goes through the parser like in the window.
#include "fuzzcheck.h"

#include "core/parser.h"
#include "core/textcodec.h"
#include "core/trackingrequest.h"
#include "platform/httpclient.h"

#include <array>

using namespace zjx;

namespace {

// The first byte picks the answer's Content-Type, odd ones included.
const std::array<QByteArray, 8> contentTypes{
    QByteArray("text/html; charset=GBK"),
    QByteArray("text/html"),
    QByteArray("text/html; charset=utf-8"),
    QByteArray("text/html;charset=\"gb2312\""),
    QByteArray("text/html; charset=no-such-charset"),
    QByteArray("text/html; charset="),
    QByteArray("text/html; charset=GB18030; charset=ISO-8859-1"),
    QByteArray("text/html; charset='Big5'"),
};

Screening expectedVerdict(const QString& answer) {
    if (answer.isEmpty())
        return Screening::Empty;
    const std::array<std::pair<QString, Screening>, 5> markers{{
        {QStringLiteral("单号格式错误"), Screening::FormatError},
        {QStringLiteral("不存在"), Screening::NotFound},
        {QStringLiteral("NULL"), Screening::Expired},
        {QStringLiteral("不支持的快递公司"), Screening::Unsupported},
        {QStringLiteral("请输入"), Screening::EnterNumber},
    }};
    for (const auto& [marker, verdict] : markers)
        if (answer.indexOf(marker) >= 0)
            return verdict;
    return Screening::Good;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const QByteArray& contentType = contentTypes[data[0] % contentTypes.size()];
    const QByteArray body = fuzz::bytesOf(data + 1, size - 1);
    const QString answer = codec::decodeBody(body, contentType, "GBK");
    // Bytes in never vanish: an answer that came is never taken for no answer. Only a UTF-8
    // byte-order mark alone, a header without text, decodes to nothing.
    FUZZ_CHECK(answer.isEmpty() == (body.isEmpty() || (body == "\xEF\xBB\xBF" && contentType.contains("utf-8"))));

    const Screening verdict = screenAnswer(answer);
    FUZZ_CHECK(verdict == expectedVerdict(answer));
    // A hint for the rules that name the fault; the others leave the hint line alone.
    const bool leavesHint = verdict == Screening::Empty || verdict == Screening::NotFound || verdict == Screening::Good;
    FUZZ_CHECK(screeningHint(verdict).isEmpty() == leavesHint);

    if (verdict == Screening::Good) {
        const int rows = TrackingParser::countRows(answer);
        const QList<ProgressEntry> entries = TrackingParser::parse(answer, rows);
        FUZZ_CHECK(entries.size() == rows);
    }
    return 0;
}
