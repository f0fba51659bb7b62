#include "core/textcodec.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace zjx::codec {

QByteArray toGbk(const QString& text) {
    QStringEncoder encoder("GBK", QStringConverter::Flag::Stateless);
    if (!encoder.isValid())
        return text.toLocal8Bit();
    QByteArray bytes = encoder.encode(text);
    // The encoder holds a high surrogate at the very end back for a partner that never comes, even
    // when stateless: it is a character GBK cannot hold like any other.
    if (!text.isEmpty() && text.back().isHighSurrogate())
        bytes += '?';
    return bytes;
}

QString fromGbk(const QByteArray& bytes) {
    if (std::optional<QString> text = decodeWhole("GBK", bytes))
        return *text;
    return QString::fromLocal8Bit(bytes);
}

std::optional<QString> decodeWhole(const char* charset, const QByteArray& bytes) {
    QStringDecoder decoder(charset, QStringConverter::Flag::Stateless);
    if (!decoder.isValid())
        return std::nullopt;
    QString text = decoder.decode(bytes);
    if (!decoder.hasError())
        return text;
    // ICU holds the lead byte of a double-byte character cut off at the very end back, even when
    // stateless, and the character vanishes. Where a line feed stands for itself (it is never a
    // trail byte there), one after the bytes brings it out as U+FFFD.
    QStringDecoder probe(charset, QStringConverter::Flag::Stateless);
    if (QString(probe.decode(QByteArray("\n"))) != QLatin1String("\n"))
        return text;
    QStringDecoder flushing(charset, QStringConverter::Flag::Stateless);
    QString flushed = flushing.decode(bytes + '\n');
    if (!flushed.endsWith(u'\n'))
        return text;
    flushed.chop(1);
    return flushed;
}

QByteArray decoderCharset(const QByteArray& label) {
    static const char* const gbFamily[] = {"gb2312",          "gb_2312",     "gb_2312-80", "csgb2312", "iso-ir-58",
                                           "csiso58gb231280", "chinese",     "x-gb2312",   "euc-cn",   "x-euc-cn",
                                           "cn-gb",           "gbk",         "x-gbk",      "csgbk",    "cp936",
                                           "ms936",           "windows-936", "gb18030"};
    const QByteArray name = label.trimmed().toLower();
    for (const char* member : gbFamily)
        if (name == member)
            return QByteArrayLiteral("GB18030");
    return label;
}

QString fromChineseWeb(const QByteArray& bytes) {
    if (std::optional<QString> text = decodeWhole("GB18030", bytes))
        return *text;
    return fromGbk(bytes);
}

int gbkWidth(const QString& text) {
    return int(toGbk(text).size());
}

QByteArray gbkLines(const QStringList& lines) {
    QByteArray out;
    for (const QString& line : lines) {
        out += toGbk(line);
        out += "\r\n";
    }
    return out;
}

QStringList splitLines(const QString& text) {
    QStringList lines;
    qsizetype start = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (c != u'\r' && c != u'\n')
            continue;
        lines << text.mid(start, i - start);
        if (c == u'\r' && i + 1 < n && text.at(i + 1) == u'\n')
            ++i;
        start = i + 1;
    }
    if (start < n)
        lines << text.mid(start);
    return lines;
}

QString decodeBody(const QByteArray& bytes, const QByteArray& contentType, const char* fallbackCharset) {
    QByteArray charset;
    for (const QByteArray& part : contentType.split(';')) {
        const QByteArray p = part.trimmed();
        if (p.toLower().startsWith("charset="))
            charset = p.mid(8).trimmed().replace('"', "").replace('\'', "");
    }
    if (!charset.isEmpty()) {
        if (std::optional<QString> text = decodeWhole(decoderCharset(charset).constData(), bytes))
            return *text;
    }
    const QByteArray fallback = decoderCharset(fallbackCharset);
    if (fallback == "GB18030")
        return fromChineseWeb(bytes);
    if (std::optional<QString> text = decodeWhole(fallback.constData(), bytes))
        return *text;
    return QString::fromUtf8(bytes);
}

} // namespace zjx::codec
