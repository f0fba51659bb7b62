#include "core/parser.h"

#include <string_view>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace zjx {
namespace {

constexpr std::u16string_view rowStart = u"<tr><td>";
constexpr std::u16string_view cellStart = u"<td>";
constexpr std::u16string_view cellBreak = u"</td>"; // before "<td>" it makes "</td><td>"
constexpr std::u16string_view betweenRows = u"</td></tr><tr>";
constexpr std::u16string_view tableEnd = u"</td></tr></table>";

// Calls `found(i)` for every "<" of the text, in order; eight characters at a time where the
// processor can compare them at once.
template <typename Found> void forEachTagOpen(const char16_t* s, qsizetype n, Found&& found) {
    qsizetype i = 0;
#if defined(__SSE2__)
    const __m128i open = _mm_set1_epi16(u'<');
    for (; i + 8 <= n; i += 8) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
        unsigned mask = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi16(block, open)));
        while (mask != 0) {
            const int bit = __builtin_ctz(mask);
            found(i + bit / 2);
            mask &= ~(3u << bit); // each character sets two bits
        }
    }
#endif
    for (; i < n; ++i)
        if (s[i] == u'<')
            found(i);
}

bool startsWith(const char16_t* s, qsizetype n, qsizetype at, std::u16string_view what) {
    return at >= 0 && at + qsizetype(what.size()) <= n && std::u16string_view(s + at, what.size()) == what;
}

// Where every "<td>" starts, in one pass. "<tr><td>" and "</td><td>" are found among them: each
// holds one "<td>", and none of the three can overlap itself, so no occurrence is missed.
struct Cut {
    std::vector<qsizetype> cells; // "<td>"
    std::vector<qsizetype> rows;  // "<tr><td>"
};

Cut cutAnswer(const char16_t* s, qsizetype n) {
    Cut cut;
    cut.cells.reserve(std::size_t(n / 32));
    cut.rows.reserve(std::size_t(n / 64));
    forEachTagOpen(s, n, [&](qsizetype i) {
        if (!startsWith(s, n, i, cellStart))
            return;
        cut.cells.push_back(i);
        if (i >= 4 && s[i - 4] == u'<' && s[i - 3] == u't' && s[i - 2] == u'r' && s[i - 1] == u'>')
            cut.rows.push_back(i - 4);
    });
    return cut;
}

// A text of the result: a stretch of the answer, or a cleaned copy when cleaning changed it.
struct Text {
    const char16_t* at = nullptr;
    qsizetype size = 0;
};

// The time cell kept up to and including the "<" of "</td><td>", then every "<" taken out.
Text timeText(std::u16string_view kept, std::vector<QString>& cleaned) {
    if (kept.find(u'<') == std::u16string_view::npos)
        return {kept.data(), qsizetype(kept.size())};
    QString out;
    out.reserve(qsizetype(kept.size()));
    for (char16_t c : kept)
        if (c != u'<')
            out.append(QChar(c));
    cleaned.push_back(out);
    return {reinterpret_cast<const char16_t*>(cleaned.back().constData()), out.size()};
}

// Every "</td></tr><tr>", then every "</td></tr></table>" taken out, each in one left-to-right pass.
Text progressText(std::u16string_view piece, std::vector<QString>& cleaned) {
    // The usual cell ends with one of the two strings and has no other "<": cut the end off.
    const std::size_t firstTag = piece.find(u'<');
    if (firstTag == std::u16string_view::npos)
        return {piece.data(), qsizetype(piece.size())};
    if ((firstTag + betweenRows.size() == piece.size() && piece.ends_with(betweenRows)) ||
        (firstTag + tableEnd.size() == piece.size() && piece.ends_with(tableEnd)))
        return {piece.data(), qsizetype(firstTag)};
    QString out(reinterpret_cast<const QChar*>(piece.data()), qsizetype(piece.size()));
    out.remove(QString(reinterpret_cast<const QChar*>(betweenRows.data()), qsizetype(betweenRows.size())));
    out.remove(QString(reinterpret_cast<const QChar*>(tableEnd.data()), qsizetype(tableEnd.size())));
    cleaned.push_back(out);
    return {reinterpret_cast<const char16_t*>(cleaned.back().constData()), out.size()};
}

int digits(qsizetype value) {
    int count = 1;
    for (; value >= 10; value /= 10)
        ++count;
    return count;
}

// A string that shares `whole`'s block instead of copying out of it; `whole` holds a '\0' right
// after the part, as every string's data does.
QString part(const QString& whole, qsizetype from, qsizetype size) {
    if (size == 0)
        return QString();
    QString::DataPointer d = whole.data_ptr(); // one more user of the block
    d.setBegin(d.data() + from);
    d.size = size;
    return QString(std::move(d));
}

} // namespace

int TrackingParser::countRows(QStringView answer) {
    const auto* s = reinterpret_cast<const char16_t*>(answer.utf16());
    const qsizetype n = answer.size();
    int found = 0;
    forEachTagOpen(s, n, [&](qsizetype i) {
        if (found < maxRows && startsWith(s, n, i, rowStart))
            ++found;
    });
    return found;
}

QList<ProgressEntry> TrackingParser::parse(QStringView answer, int rows) {
    QList<ProgressEntry> entries;
    if (rows <= 0)
        return entries;
    const auto* s = reinterpret_cast<const char16_t*>(answer.utf16());
    const qsizetype n = answer.size();
    const std::u16string_view text(s, std::size_t(n));
    const Cut cut = cutAnswer(s, n);
    const qsizetype rowPieces = qsizetype(cut.rows.size());
    const qsizetype cellPieces = qsizetype(cut.cells.size());

    // First find every row's two texts; a row whose piece lies beyond the cut keeps the text of
    // the row before (index -1: no text yet).
    std::vector<Text> texts;
    texts.reserve(std::size_t(rows) * 2);
    std::vector<QString> cleaned;
    std::vector<std::pair<int, int>> rowTexts(std::size_t(rows), {-1, -1});
    int time = -1;
    int progress = -1;
    qsizetype cellCursor = 0; // first "<td>" that may still close a time cell
    for (qsizetype i = 1; i <= rows; ++i) {
        // Piece i of the cut at "<tr><td>": from after row i's start to the next row's start.
        if (i <= rowPieces) {
            const qsizetype start = cut.rows[i - 1] + qsizetype(rowStart.size());
            const qsizetype end = i < rowPieces ? cut.rows[i] : n;
            while (cellCursor < cellPieces && cut.cells[cellCursor] < start + qsizetype(cellBreak.size()))
                ++cellCursor;
            qsizetype timeEnd = -1;
            for (; cellCursor < cellPieces && cut.cells[cellCursor] + qsizetype(cellStart.size()) <= end;
                 ++cellCursor) {
                const qsizetype at = cut.cells[cellCursor] - qsizetype(cellBreak.size());
                if (startsWith(s, n, at, cellBreak)) {
                    timeEnd = at;
                    break;
                }
            }
            time = -1;
            if (timeEnd > start) {
                texts.push_back(timeText(text.substr(std::size_t(start), std::size_t(timeEnd - start)), cleaned));
                time = int(texts.size() - 1);
            }
        }
        // Piece 2i of the cut at "<td>": row i's progress in a table of the expected shape.
        const qsizetype cell = 2 * i;
        if (cell <= cellPieces) {
            const qsizetype start = cut.cells[cell - 1] + qsizetype(cellStart.size());
            const qsizetype end = cell < cellPieces ? cut.cells[cell] : n;
            texts.push_back(progressText(text.substr(std::size_t(start), std::size_t(end - start)), cleaned));
            progress = int(texts.size() - 1);
        }
        rowTexts[std::size_t(i - 1)] = {time, progress};
    }

    // Then copy every text and every number once into one block that all entries share, each
    // followed by a '\0'.
    qsizetype total = 0;
    for (const Text& t : texts)
        total += t.size + 1;
    for (qsizetype k = 1; k <= rows; ++k)
        total += digits(k) + 1;
    QString block(total, Qt::Uninitialized);
    auto* out = reinterpret_cast<char16_t*>(block.data());
    std::vector<qsizetype> offsets(texts.size());
    qsizetype used = 0;
    for (std::size_t t = 0; t < texts.size(); ++t) {
        offsets[t] = used;
        std::copy_n(texts[t].at, texts[t].size, out + used);
        used += texts[t].size;
        out[used++] = u'\0';
    }

    entries.resize(rows);
    for (qsizetype i = 1; i <= rows; ++i) {
        const qsizetype number = rows - i + 1;
        const int width = digits(number);
        for (qsizetype v = number, k = width - 1; k >= 0; --k, v /= 10)
            out[used + k] = char16_t(u'0' + v % 10);
        out[used + width] = u'\0';
        ProgressEntry& entry = entries[rows - i];
        entry.number = part(block, used, width);
        used += width + 1;
        const auto [timeIndex, progressIndex] = rowTexts[std::size_t(i - 1)];
        if (timeIndex >= 0)
            entry.time = part(block, offsets[std::size_t(timeIndex)], texts[std::size_t(timeIndex)].size);
        if (progressIndex >= 0)
            entry.progress = part(block, offsets[std::size_t(progressIndex)], texts[std::size_t(progressIndex)].size);
    }
    return entries;
}

QString TrackingParser::parcelState(QStringView latestProgress) {
    if (latestProgress.contains(u'签') || latestProgress.contains(u'妥'))
        return QStringLiteral("已签收");
    if (latestProgress.contains(u'派'))
        return QStringLiteral("派件中");
    return QStringLiteral("运送中");
}

} // namespace zjx
