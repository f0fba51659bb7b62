#include "branch/pageclient.h"

#include "core/textcodec.h"
#include "core/textutil.h"

namespace zjx {
namespace {

void appendEscaped(QString& out, unsigned byte) {
    static constexpr char digits[] = "0123456789ABCDEF";
    out += u'%';
    out += QLatin1Char(digits[(byte >> 4) & 0xF]);
    out += QLatin1Char(digits[byte & 0xF]);
}

} // namespace

QString UTF8_URLEncoding(const QString& szInput) {
    if (szInput.isEmpty())
        return szInput;
    QString result;
    result.reserve(szInput.size() * 3);
    // Unit by unit: a surrogate pair becomes two three-byte groups, one for each half.
    for (const QChar ch : szInput) {
        const unsigned n = ch.unicode();
        if (n < 0x80) {
            result += ch;
        } else if (n < 0x800) {
            appendEscaped(result, 0xC0 | (n >> 6));
            appendEscaped(result, 0x80 | (n & 0x3F));
        } else {
            appendEscaped(result, 0xE0 | (n >> 12));
            appendEscaped(result, 0x80 | ((n >> 6) & 0x3F));
            appendEscaped(result, 0x80 | (n & 0x3F));
        }
    }
    return result;
}

QString branchNameValue(const QString& typedName) {
    return trimSpaces(UTF8_URLEncoding(typedName));
}

QString branchQueryAddress(const QString& host, const QString& nameValue) {
    return QStringLiteral("http://") + host + QStringLiteral("/query_list.asp?name=") + nameValue;
}

QUrl requestUrl(const QString& address) {
    // The tolerant parser encodes what may not stand raw and leaves valid escapes as they are.
    return QUrl(address, QUrl::TolerantMode);
}

void GetBody(const QString& url, QObject* context, std::function<void(const HttpResult&)> done) {
    // A branch page that names no charset is read as UTF-8.
    HttpClient::instance().getResponsive(requestUrl(url), context, std::move(done),
                                         [](const QByteArray& bytes, const QByteArray& contentType) {
                                             return codec::decodeBody(bytes, contentType, "UTF-8");
                                         });
}

} // namespace zjx
