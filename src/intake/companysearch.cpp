#include "intake/companysearch.h"

#include "core/catalogue.h"

#include <unicode/translit.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <numeric>
#include <memory>
#include <mutex>

namespace zjx {
namespace {

icu::UnicodeString toIcu(const QString& s) {
    return icu::UnicodeString(reinterpret_cast<const UChar*>(s.utf16()), int32_t(s.size()));
}

QString fromIcu(const icu::UnicodeString& s) {
    return QString(reinterpret_cast<const QChar*>(s.getBuffer()), s.length());
}

// One transliterator for the process (building it costs milliseconds); ICU's are not thread-safe.
QString hanToLatin(const QString& han) {
    static std::mutex lock;
    static std::unique_ptr<icu::Transliterator> transliterator = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::Transliterator> t(
            icu::Transliterator::createInstance("Han-Latin; Latin-ASCII", UTRANS_FORWARD, status));
        return U_SUCCESS(status) ? std::move(t) : nullptr;
    }();
    if (!transliterator)
        return {};
    const std::lock_guard guard(lock);
    icu::UnicodeString text = toIcu(han);
    transliterator->transliterate(text);
    return fromIcu(text);
}

bool isHan(QChar c) {
    return c.script() == QChar::Script_Han;
}

} // namespace

QString pinyinInitials(const QString& text) {
    QString initials;
    for (const QChar c : text) {
        if (isHan(c)) {
            const QString latin = hanToLatin(QString(c)).trimmed();
            if (!latin.isEmpty() && latin.front().isLetter())
                initials += latin.front().toLower();
        } else if (c.isLetterOrNumber() && c.unicode() < 128) {
            initials += c.toLower();
        }
    }
    return initials;
}

QString companySearchText(int company) {
    static const QStringList texts = [] {
        QStringList built;
        for (int i = 0; i < CourierCatalogue::count; ++i) {
            const QString name = CourierCatalogue::displayName(i);
            built << (name + u' ' + CourierCatalogue::serviceCode(i) + u' ' + pinyinInitials(name)).toLower();
        }
        return built;
    }();
    return company >= 0 && company < texts.size() ? texts[company] : QString();
}

QList<int> findCompanies(const QList<int>& order, const QString& typed) {
    const QString wanted = typed.trimmed().toLower();
    if (wanted.isEmpty())
        return {};
    QList<int> starting, containing;
    for (int company : order) {
        const QString text = companySearchText(company);
        if (!text.contains(wanted))
            continue;
        const QStringList parts = text.split(u' ');
        const bool starts = std::any_of(parts.begin(), parts.end(), [&](const QString& p) { return p.startsWith(wanted); });
        (starts ? starting : containing) << company;
    }
    return starting + containing;
}

QList<int> companiesByUse(const QHash<QString, int>& bookUses) {
    QList<int> order(CourierCatalogue::count);
    std::iota(order.begin(), order.end(), 0);
    const auto uses = [&](int company) { return bookUses.value(CourierCatalogue::displayName(company)); };
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return uses(a) > uses(b); });
    return order;
}

} // namespace zjx
