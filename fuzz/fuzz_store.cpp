// The store reader: any bytes in wlnum.ini load without a crash, every loaded record has a number,
// a company and a note, and a rewrite of what was loaded reads back the same book.
#include "fuzzcheck.h"

#include "book/parcelrecord.h"
#include "book/store.h"
#include "core/textcodec.h"

using namespace zjx;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes = fuzz::bytesOf(data, size);
    const StoreContents loaded = Store::parse(bytes);

    FUZZ_CHECK(loaded.records.size() == loaded.notes.size());
    // Every non-empty line is either loaded or counted as skipped, and the loaded ones keep the
    // file's order. The file is read as UTF-8 when it is that, else as GBK; a leading BOM is dropped.
    const QByteArray bom("\xEF\xBB\xBF");
    const QByteArray body = bytes.startsWith(bom) ? bytes.mid(bom.size()) : bytes;
    QStringList lines = codec::splitLines(loaded.fromUtf8 ? QString::fromUtf8(body) : codec::fromGb18030(body));
    lines.removeAll(QString());
    FUZZ_CHECK(loaded.records.size() + loaded.skippedLines == lines.size());
    qsizetype next = 0;
    for (qsizetype i = 0; i < loaded.records.size(); ++i) {
        const QString& record = loaded.records.at(i);
        FUZZ_CHECK(record.split(u'|').size() >= 3);
        FUZZ_CHECK(!record.contains(u'\r') && !record.contains(u'\n'));
        while (next < lines.size() && lines.at(next) != record)
            ++next;
        FUZZ_CHECK(next < lines.size());
        ++next;
        // The fields give the line back: nothing of a record is lost between reading and editing.
        const ParcelFields fields = ParcelRecord::split(record);
        FUZZ_CHECK(fields.valid);
        FUZZ_CHECK(fields.note == loaded.notes.at(i));
        FUZZ_CHECK(ParcelRecord::build(fields.number, fields.company, fields.note) == record);
    }

    // What a rewrite stores reads back as the same number of records, none skipped; a second
    // rewrite writes the same bytes (characters outside GBK become "?" once, then stay). GBK bytes
    // that also read as UTF-8 (a first number starting "锘" + a character led by 0xBF looks like a
    // byte-order mark; text of mostly three-byte UTF-8 shapes) are ambiguous: the reader takes them
    // as UTF-8 and keeps the original beside the book before the first rewrite.
    const QByteArray written = codec::gb18030Lines(loaded.records);
    FUZZ_CHECK(loaded.records.isEmpty() ? written.isEmpty() : written.endsWith("\r\n"));
    const StoreContents reread = Store::parse(written);
    if (written.startsWith(bom) || reread.fromUtf8)
        return 0;
    FUZZ_CHECK(reread.skippedLines == 0);
    FUZZ_CHECK(reread.records.size() == loaded.records.size());
    const QByteArray rewritten = codec::gb18030Lines(reread.records);
    FUZZ_CHECK(rewritten == written);
    FUZZ_CHECK(Store::parse(rewritten).records == reread.records);
    return 0;
}
