// Rewrites the store file through Store::write, alternating between two books, until it is
// killed: the crash-safety test kills it at random moments.
//   storewriter STORE BOOK_A BOOK_B
// Before each write it prints "w<n>" and after it "d<n>", one line each, unbuffered, so the test
// knows whether a kill fell inside a write.
#include "book/store.h"

#include <cstdio>
#include <string>
#include <unistd.h>

namespace {

void say(char what, long long n) {
    const std::string line = what + std::to_string(n) + '\n';
    if (::write(STDOUT_FILENO, line.data(), line.size()) < 0)
        std::_Exit(3);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: storewriter STORE BOOK_A BOOK_B\n");
        return 2;
    }
    const QString store = QString::fromLocal8Bit(argv[1]);
    const QStringList books[2] = {zjx::Store::read(QString::fromLocal8Bit(argv[2])).records,
                                  zjx::Store::read(QString::fromLocal8Bit(argv[3])).records};
    for (long long n = 1;; ++n) {
        say('w', n);
        const zjx::Result written = zjx::Store::write(store, books[n % 2]);
        if (!written.ok()) {
            std::fprintf(stderr, "write failed: %s\n", qPrintable(written.errorText()));
            return 1;
        }
        say('d', n);
    }
}
