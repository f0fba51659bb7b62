// SetStringFixedLength and the export's cell limit: never cut a text, pad exactly to the width,
// and keep a cell within 1023 GBK bytes without splitting a character.
#include "fuzzcheck.h"

#include "book/export.h"
#include "core/textcodec.h"
#include "core/textutil.h"

#include <cstring>
#include <limits>

using namespace zjx;

namespace {

// The first four bytes give the width. Widths far beyond any text are folded back, since padding
// to them would only measure the allocator (the program pads to 8); the most negative one is kept.
qint32 widthOf(const std::uint8_t* data) {
    qint32 raw = 0;
    std::memcpy(&raw, data, sizeof raw);
    if (raw == std::numeric_limits<qint32>::min())
        return raw;
    return raw % 70000;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4)
        return 0;
    const qint32 width = widthOf(data);
    const QString text = fuzz::utf16Of(data + 4, size - 4);

    const QString s = trimSpaces(text);
    const int n = codec::gbkWidth(s);
    const QString padded = SetStringFixedLength(text, width);
    FUZZ_CHECK(padded.startsWith(s)); // never cut
    for (qsizetype i = s.size(); i < padded.size(); ++i)
        FUZZ_CHECK(padded.at(i) == u' ');
    if (n > 0 && width > 0 && n < width)
        FUZZ_CHECK(codec::gbkWidth(padded) == width);
    else
        FUZZ_CHECK(padded == s);

    const QString cell = ListExport::cellText(text);
    FUZZ_CHECK(text.startsWith(cell));
    FUZZ_CHECK(codec::gbkWidth(cell) <= ListExport::cellByteLimit);
    if (cell.size() < text.size()) {
        // Cut only where the next whole character would pass the limit, never inside a pair.
        const qsizetype at = cell.size();
        const qsizetype step =
            (text.at(at).isHighSurrogate() && at + 1 < text.size() && text.at(at + 1).isLowSurrogate()) ? 2 : 1;
        FUZZ_CHECK(codec::gbkWidth(text.left(at + step)) > ListExport::cellByteLimit);
        FUZZ_CHECK(!(at > 0 && text.at(at - 1).isHighSurrogate() && text.at(at).isLowSurrogate()));
    } else {
        FUZZ_CHECK(codec::gbkWidth(text) <= ListExport::cellByteLimit);
    }
    return 0;
}
