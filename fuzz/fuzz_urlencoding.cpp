// UTF8_URLEncoding and the branch query address: the encoded name is plain ASCII, every unit is
// encoded on its own as the branch site expects and reads back to the unit, a name without
// surrogates decodes back to its UTF-8, and no name can move the request to another host or path.
#include "fuzzcheck.h"

#include "branch/pageclient.h"

#include <QStringDecoder>
#include <QUrl>

using namespace zjx;

namespace {

int hexValue(QChar c) {
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1; // the encoder writes upper-case digits only
}

// Reads the encoded text back along the name: a unit below 0x80 stands as itself, any other as the
// "%HH" groups of its UTF-8 bytes, two below 0x800 and three from there (a surrogate half on its
// own), and the groups must give the unit again. Returns the bytes read.
QByteArray readBack(const QString& name, const QString& encoded) {
    QByteArray bytes;
    qsizetype at = 0;
    const auto nextByte = [&] {
        FUZZ_CHECK(at + 2 < encoded.size() && encoded.at(at) == u'%');
        const int high = hexValue(encoded.at(at + 1));
        const int low = hexValue(encoded.at(at + 2));
        FUZZ_CHECK(high >= 0 && low >= 0);
        at += 3;
        bytes += char(high * 16 + low);
        return unsigned(high * 16 + low);
    };
    for (const QChar ch : name) {
        const unsigned n = ch.unicode();
        if (n < 0x80) {
            FUZZ_CHECK(at < encoded.size() && encoded.at(at) == ch);
            bytes += char(n);
            ++at;
            continue;
        }
        const int continuations = n < 0x800 ? 1 : 2;
        const unsigned lead = nextByte();
        FUZZ_CHECK(lead >> (6 - continuations) == (continuations == 1 ? 0b110u : 0b1110u));
        unsigned value = lead & (0x3Fu >> continuations);
        for (int i = 0; i < continuations; ++i) {
            const unsigned next = nextByte();
            FUZZ_CHECK((next & 0xC0) == 0x80);
            value = (value << 6) | (next & 0x3F);
        }
        FUZZ_CHECK(value == n);
    }
    FUZZ_CHECK(at == encoded.size());
    return bytes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString name = fuzz::utf16Of(data, size);
    const QString encoded = UTF8_URLEncoding(name);

    for (const QChar ch : encoded)
        FUZZ_CHECK(ch.unicode() < 0x80);
    const QByteArray utf8 = readBack(name, encoded);

    bool surrogates = false;
    for (const QChar ch : name)
        surrogates = surrogates || ch.isSurrogate();
    if (!surrogates) {
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
