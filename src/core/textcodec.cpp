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

namespace {

bool isFourByteStart(const QByteArray& bytes, qsizetype i) {
    const auto at = [&bytes](qsizetype k) { return static_cast<unsigned char>(bytes.at(k)); };
    return i + 3 < bytes.size() && at(i) >= 0x81 && at(i) <= 0xFE && at(i + 1) >= 0x30 && at(i + 1) <= 0x39 &&
           at(i + 2) >= 0x81 && at(i + 2) <= 0xFE && at(i + 3) >= 0x30 && at(i + 3) <= 0x39;
}

// The length of the GBK unit at `i`: one byte below 0x81 and for 0xFF, else a lead and its trail.
qsizetype gbkUnit(const QByteArray& bytes, qsizetype i) {
    const auto lead = static_cast<unsigned char>(bytes.at(i));
    return lead >= 0x81 && lead <= 0xFE && i + 1 < bytes.size() ? 2 : 1;
}

} // namespace

QByteArray toGb18030(const QString& text, bool* complete) {
    QStringEncoder gbk("GBK", QStringConverter::Flag::Stateless);
    QByteArray bytes = gbk.encode(text);
    const bool loneHighAtEnd = !text.isEmpty() && text.back().isHighSurrogate();
    if (gbk.isValid() && !gbk.hasError() && !loneHighAtEnd) {
        if (complete)
            *complete = true;
        return bytes;
    }
    // Some character GBK cannot hold: character by character, GBK where it can. Fresh encoders
    // each time: an error once seen stays with an encoder whatever resetState() clears.
    bytes.clear();
    bool all = true;
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype length =
            text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate() ? 2 : 1;
        const QStringView character = QStringView(text).mid(i, length);
        i += length;
        QStringEncoder narrow("GBK", QStringConverter::Flag::Stateless);
        QByteArray form = narrow.encode(character);
        if (!narrow.hasError() && !form.isEmpty() && !(length == 1 && character.front().isSurrogate())) {
            bytes += form;
            continue;
        }
        QStringEncoder wide("GB18030", QStringConverter::Flag::Stateless);
        form = wide.encode(character);
        // Only a four-byte form reads back as itself beside GBK.
        if (!wide.hasError() && form.size() == 4 && isFourByteStart(form, 0)) {
            bytes += form;
            continue;
        }
        bytes += '?';
        all = false;
    }
    if (complete)
        *complete = all;
    return bytes;
}

QString fromGb18030(const QByteArray& bytes) {
    QString text;
    qsizetype run = 0; // start of the GBK bytes not yet decoded
    qsizetype i = 0;
    while (i < bytes.size()) {
        if (!isFourByteStart(bytes, i)) {
            i += gbkUnit(bytes, i);
            continue;
        }
        if (i > run)
            text += fromGbk(bytes.mid(run, i - run));
        text += decodeWhole("GB18030", bytes.mid(i, 4)).value_or(QString(QChar::ReplacementCharacter));
        i += 4;
        run = i;
    }
    if (run == 0)
        return fromGbk(bytes);
    if (run < bytes.size())
        text += fromGbk(bytes.mid(run));
    return text;
}

QByteArray gb18030Lines(const QStringList& lines, bool* complete) {
    QByteArray out;
    bool all = true;
    for (const QString& line : lines) {
        bool lineComplete = true;
        out += toGb18030(line, &lineComplete);
        out += "\r\n";
        all = all && lineComplete;
    }
    if (complete)
        *complete = all;
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
