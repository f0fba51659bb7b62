#pragma once

#include "platform/httpclient.h"

#include <QObject>
#include <QString>
#include <QUrl>
#include <functional>

namespace zjx {

// Percent-encodes every UTF-16 unit from 0x80 up as its UTF-8 bytes ("%HH", upper-case hex);
// characters below 0x80 pass through unchanged, the space and "%" included.
QString UTF8_URLEncoding(const QString& szInput);

// The name value of the branch query: the typed name encoded, then stripped of leading and
// trailing spaces (U+0020 only).
QString branchNameValue(const QString& typedName);

// "http://" + host + "/query_list.asp?name=" + name value, as text.
QString branchQueryAddress(const QString& host, const QString& nameValue);

// The address as it goes on the wire: characters that an address cannot hold raw (spaces, control
// characters, a "%" not followed by two hex digits, quotes, "<", ">" ...) are percent-encoded;
// everything else is sent exactly as written.
QUrl requestUrl(const QString& address);

// Fetches one page with "If-Modified-Since: 0" while the window keeps handling every event. The
// answer goes to `done` unless `context` is gone by then; an error page counts as an answer.
void GetBody(const QString& url, QObject* context, std::function<void(const HttpResult&)> done);

} // namespace zjx
