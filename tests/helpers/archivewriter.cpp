// Moves parcels between the book and the archive beside it until it is killed: the archive test
// kills it at random moments.
//   archivewriter BOOK
// It archives the book's first parcel, then restores the archive's first one, and so on; "m" on a
// line of its own, unbuffered, says the loop runs.
#include "book/archive.h"
#include "book/parcelbook.h"

#include <cstdio>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: archivewriter BOOK\n");
        return 2;
    }
    zjx::ParcelBook book;
    book.setPath(QString::fromLocal8Bit(argv[1]));
    (void)book.load();
    zjx::ParcelArchive archive;
    archive.setPath(zjx::ParcelArchive::pathBeside(book.path()));
    archive.load();
    if (::write(STDOUT_FILENO, "m\n", 2) != 2)
        return 3;
    for (long long n = 0;; ++n) {
        const bool toArchive = archive.records().isEmpty() || (n % 2 == 0 && !book.records().isEmpty());
        const zjx::Result moved = toArchive ? archive.archive(book, 0) : archive.restore(book, 0);
        if (!moved.ok()) {
            std::fprintf(stderr, "move failed: %s\n", qPrintable(moved.errorText()));
            return 1;
        }
    }
}
