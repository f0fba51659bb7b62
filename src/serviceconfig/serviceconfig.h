#pragma once

#include "core/result.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zjx {

// What the tracking-service window edits in the service's configuration file. The names of the
// configuration file are the keys: [gateway] backend, cache_minutes, phone_tail; [kuaidi100]
// customer, key; [17track] key; [kdniao] business_id, app_key, request_type.
struct ServiceSettings {
    QString backend = QStringLiteral("demo"); // demo | kuaidi100 | 17track | kdniao
    QString kuaidi100Customer, kuaidi100Key;
    QString track17Key;
    QString kdniaoBusinessId, kdniaoAppKey;
    QString kdniaoRequestType = QStringLiteral("1002"); // 1002 (free) | 8001 (paid, more companies)
    QString phoneTail;                                  // four digits or empty
    int cacheMinutes = 30;

    bool operator==(const ServiceSettings&) const = default;
};

// The configuration file as lines. Only the managed keys are ever changed: every other line (the
// user's comments, `url` overrides, keys the window does not know) stays byte for byte as it was.
class ServiceConfigFile {
public:
    // ~/.config/zjx/zjx-service.conf ($XDG_CONFIG_HOME honoured), the file the service reads by default.
    static QString defaultPath();

    // A missing file reads as empty; false (with the reason) when it exists but cannot be read.
    bool load(const QString& path, QString* error = nullptr);
    void setText(const QByteArray& text);
    QByteArray text() const;

    // The value of a key ("" when absent); a line "key = value" counts, quotes around it removed.
    QString value(const QString& section, const QString& key) const;
    bool contains(const QString& section, const QString& key) const;
    // Rewrites the key's line in place, or adds it at the end of its section (the section at the
    // end of the file when there is none).
    void setValue(const QString& section, const QString& key, const QString& value);

    ServiceSettings settings() const;
    // Writes every managed key that differs from the file; a key that is absent and left at its
    // default (or empty) is not added.
    void apply(const ServiceSettings& settings);

private:
    // The index of the key's line, or -1; `sectionEnd` gets the index after the section's last
    // key line (or -1 when the section is not in the file).
    int find(const QString& section, const QString& key, int* sectionEnd = nullptr) const;
    QList<QByteArray> m_lines;
    bool m_finalNewline = true;
};

// The system calls of a private write; tests pass ones that record them or fail.
struct PrivateWriteCalls {
    std::function<int(const char* path, int flags, mode_t mode)> open = [](const char* p, int f, mode_t m) {
        return ::open(p, f, m);
    };
    std::function<int(int fd, mode_t mode)> fchmod = ::fchmod;
    std::function<ssize_t(int fd, const void* data, size_t size)> write = ::write;
    std::function<int(int fd)> fsync = ::fsync;
    std::function<int(int fd)> close = ::close;
    std::function<int(const char* from, const char* to)> rename = ::rename;
    std::function<int(const char* path)> unlink = ::unlink;
};

// Writes `bytes` to `path` so that no other user can read them at any moment: the temporary file
// beside it is created with mode 0600 before a byte is written, synced, then renamed over the
// file. The folder is made (mode 0700) when missing.
Result writePrivateFile(const QString& path, const QByteArray& bytes, const PrivateWriteCalls& calls = {});

// The file exists and its group or other users have rights on it: the service refuses to start
// with a file that holds provider keys and others may read.
bool configTooOpen(const QString& path);

// The shortest cache lifetime a provider accepts (kuaidi100 locks a number asked more often).
int minimumCacheMinutes(const QString& backend);

// A mistake in a field, said at the field: `key` is the field's configuration name.
struct FieldProblem {
    QString key;
    QString message;
};
// Empty when the settings may be saved and checked.
QList<FieldProblem> validate(const ServiceSettings& settings);

// The window's verdict for the output of `zjx-service --check` (its last line "verdict: WORD ...",
// "latest:" and "message:" lines before it). `errors` is the service's stderr, shown when there is
// no verdict line (a configuration the service refused).
struct CheckVerdict {
    bool good = false; // the provider answered about the parcel
    QString text;      // plain Chinese, for everyone
    QString detail{};  // the service's or the provider's own technical words, for whoever asks
};
// `phoneTail`: the tail the check was made with, to tell a missing tail from a wrong one.
CheckVerdict checkVerdict(const QByteArray& output, const QByteArray& errors, const QString& phoneTail = {});

// The hint line's sentence for a fault word of the service's X-Zjx-Reason header; empty for a word
// the program does not know (today's hint is kept then). `phoneTail`: the configured tail.
QString reasonHint(const QString& word, const QString& phoneTail = {});
// Whether saving `now` over `before` answers the fault word's hint: a new key answers a key fault,
// a new phone tail a phone-tail fault, another provider every fault.
bool settingsAnswer(const QString& word, const ServiceSettings& before, const ServiceSettings& now);
// The data-source caption for the service's X-Zjx-Backend header ("外部服务" without one).
QString backendCaption(const QString& backend);
// The hint after a stale answer served because the provider failed; `fetchedIso` from X-Zjx-Fetched.
QString staleHint(const QString& fetchedIso);

} // namespace zjx
