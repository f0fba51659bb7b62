#pragma once

#include <QString>

namespace zjx {

// The outcome of work that can fail for a reason the user must be told: success, or the reason in
// plain words. The caller cannot drop it unread.
class [[nodiscard]] Result {
public:
    static Result success() { return Result(); }
    static Result failure(const QString& reason) { return Result(reason); }

    bool ok() const { return m_ok; }
    const QString& errorText() const { return m_errorText; } // empty on success

private:
    Result() = default;
    explicit Result(const QString& reason) : m_ok(false), m_errorText(reason) {}

    bool m_ok = true;
    QString m_errorText;
};

} // namespace zjx
