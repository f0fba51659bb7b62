#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

namespace zjx::codec {

// The store file, the export file and the tracking answers use GBK (code page 936) with CR LF.
QByteArray toGbk(const QString& text);    // a character GBK cannot hold becomes "?"
QString fromGbk(const QByteArray& bytes); // invalid bytes become U+FFFD; nothing is held back
int gbkWidth(const QString& text);        // bytes of the GBK form: a Chinese character counts 2

// Decodes a whole buffer in the named charset: invalid bytes become U+FFFD, a character cut off at
// the end included. Empty when Qt does not know the charset.
std::optional<QString> decodeWhole(const char* charset, const QByteArray& bytes);

// The charset to decode with for a charset label of a fetched text. Servers label GBK pages
// "gb2312" (and the like) although they hold characters outside GB2312; a strict GB2312 decoder
// turns those into control characters. Every label of the GB family therefore names GB18030, the
// superset of them all; other labels are returned as they are.
QByteArray decoderCharset(const QByteArray& label);

// Decodes a fetched body with the charset its Content-Type names, else with `fallbackCharset`; a
// charset of the GB family decodes as GB18030, which holds them all.
QString decodeBody(const QByteArray& bytes, const QByteArray& contentType, const char* fallbackCharset);
// The tracking answers and the version file: GBK unless the Content-Type names another charset.
inline QString gbkServerBody(const QByteArray& bytes, const QByteArray& contentType) {
    return decodeBody(bytes, contentType, "GBK");
}

// Decodes a fetched text that names no charset of its own and comes from a Chinese server.
QString fromChineseWeb(const QByteArray& bytes);

// Every line followed by CR LF, the last one included; no lines give no bytes.
QByteArray gbkLines(const QStringList& lines);

// The book and the export: every character GBK holds is written as GBK, byte for byte what older
// files and readers hold; any other character takes its four-byte GB18030 form, so "礼物🎁" and
// "한국어" survive. GB18030 is not GBK's superset byte for byte (GBK writes "€" as 0x80, and a few
// dozen rare characters have two-byte GB18030 codes that GBK reads as private-use ones): those
// and broken UTF-16 have no form that reads back as themselves. They are written as "?" and
// `complete`, when given, turns false.
QByteArray toGb18030(const QString& text, bool* complete = nullptr);
// Reads what toGb18030 writes, and every GBK file as GBK does: four-byte GB18030 sequences (the
// second byte a digit, which no GBK character has) as GB18030, everything else as GBK.
QString fromGb18030(const QByteArray& bytes);
// Every line in toGb18030's form followed by CR LF; `complete` as above, for all lines.
QByteArray gb18030Lines(const QStringList& lines, bool* complete = nullptr);

// Lines end at CR LF, at a CR alone or at a LF alone; a final line without an ending counts.
QStringList splitLines(const QString& text);

} // namespace zjx::codec
