#include "core/textutil.h"

namespace zjx {

QString trimSpaces(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin) == u' ')
        ++begin;
    while (end > begin && text.at(end - 1) == u' ')
        --end;
    return text.mid(begin, end - begin);
}

QString readableText(const QString& text, qsizetype maxChars, qsizetype maxLines) {
    qsizetype cut = text.size() > maxChars ? maxChars : text.size();
    qsizetype lines = 1;
    for (qsizetype i = 0; i < cut; ++i) {
        const QChar c = text.at(i);
        if (c != u'\n' && c != u'\r')
            continue;
        if (++lines > maxLines) {
            cut = i; // the cut replaces the line break that would open one line too many
            break;
        }
        if (c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n')
            ++i;
    }
    if (cut >= text.size())
        return text;
    // A character outside the basic plane is never split in half.
    if (cut > 0 && text.at(cut - 1).isHighSurrogate())
        --cut;
    return text.left(cut) + QStringLiteral("...");
}

} // namespace zjx
