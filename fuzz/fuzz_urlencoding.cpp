// UTF8_URLEncoding and the branch query address: the encoded name is plain ASCII, every unit is
// encoded on its own as the branch site expects, a name without surrogates and "%" decodes back
// to its UTF-8, and no name can move the request to another host or path.
#include "fuzzcheck.h"

#include "branch/pageclient.h"

#include <QStringDecoder>
#include <QUrl>

using namespace zjx;

namespace {

void appendByte(QString& out, unsigned byte) {
    out += QStringLiteral("%%1").arg(byte, 2, 16, QLatin1Char('0')).toUpper();
}

// The encoding written out unit by unit, as plainly as it can be said.
QString reference(const QString& in) {
    QString out;
    for (const QChar ch : in) {
        const unsigned n = ch.unicode();
        if (n < 0x80) {
            out += ch;
        } else if (n < 0x800) {
            appendByte(out, 0xC0 | (n >> 6));
            appendByte(out, 0x80 | (n & 0x3F));
        } else {
            appendByte(out, 0xE0 | (n >> 12));
            appendByte(out, 0x80 | ((n >> 6) & 0x3F));
            appendByte(out, 0x80 | (n & 0x3F));
        }
    }
    return out;
}

int hexValue(QChar c) {
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1; // the encoder writes upper-case digits only
}

QByteArray percentDecoded(const QString& encoded) {
    QByteArray out;
    for (qsizetype i = 0; i < encoded.size(); ++i) {
        if (encoded.at(i) == u'%') {
            FUZZ_CHECK(i + 2 < encoded.size());
            const int high = hexValue(encoded.at(i + 1));
            const int low = hexValue(encoded.at(i + 2));
            FUZZ_CHECK(high >= 0 && low >= 0);
            out += char(high * 16 + low);
            i += 2;
        } else {
            out += char(encoded.at(i).unicode());
        }
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString name = fuzz::utf16Of(data, size);
    const QString encoded = UTF8_URLEncoding(name);

    for (const QChar ch : encoded)
        FUZZ_CHECK(ch.unicode() < 0x80);
    FUZZ_CHECK(encoded == reference(name));

    bool surrogates = false;
    for (const QChar ch : name)
        surrogates = surrogates || ch.isSurrogate();
    if (!surrogates && !name.contains(u'%')) {
        const QByteArray utf8 = percentDecoded(encoded);
        FUZZ_CHECK(utf8 == name.toUtf8());
        // Decoded strictly (a leading byte-order mark is a character of the name, not a header).
        QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
        const QString back = decoder.decode(utf8);
        FUZZ_CHECK(!decoder.hasError() && back == name);
    }

    const QString value = branchNameValue(name);
    FUZZ_CHECK(!value.startsWith(u' ') && !value.endsWith(u' '));
    FUZZ_CHECK(encoded.contains(value));

    const QUrl url = requestUrl(branchQueryAddress(QStringLiteral("127.0.0.1:18735"), value));
    FUZZ_CHECK(url.isValid());
    FUZZ_CHECK(url.scheme() == QLatin1String("http"));
    FUZZ_CHECK(url.host() == QLatin1String("127.0.0.1"));
    FUZZ_CHECK(url.port() == 18735);
    FUZZ_CHECK(url.path() == QLatin1String("/query_list.asp"));
    return 0;
}
