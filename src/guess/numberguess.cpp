#include "guess/numberguess.h"

#include "book/parcelrecord.h"
#include "core/catalogue.h"

#include <algorithm>

namespace zjx {
namespace {

using Verdict = NumberGuess::Verdict;

// Catalogue indices of the companies the rules name, looked up once by their service codes.
struct Companies {
    int ems, gnxb, pingyou, intlpost, ups, fedex, fedexcn, dhl, usps, shunfeng, jd, jtexpress, yuantong, debangkuaidi;
};

const Companies& companies() {
    static const Companies c = [] {
        const auto at = [](const char* code) { return CourierCatalogue::indexOfCode(QLatin1String(code)); };
        return Companies{at("ems"),   at("gnxb"),      at("pingyou"),  at("youzhengguoji"), at("ups"),
                         at("fedex"), at("fedexcn"),   at("dhl"),      at("usps"),          at("shunfeng"),
                         at("jd"),    at("jtexpress"), at("yuantong"), at("debangkuaidi")};
    }();
    return c;
}

bool isDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}
bool isUpper(QChar c) {
    return c >= u'A' && c <= u'Z';
}
bool allDigits(QStringView s) {
    return std::all_of(s.begin(), s.end(), isDigit);
}
bool allAlnum(QStringView s) {
    return std::all_of(s.begin(), s.end(), [](QChar c) { return isDigit(c) || isUpper(c); });
}
int digit(QChar c) {
    return c.unicode() - u'0';
}

// A prefix and then only digits, their count within [minDigits, maxDigits].
bool prefixedDigits(QStringView s, QStringView prefix, int minDigits, int maxDigits) {
    if (!s.startsWith(prefix))
        return false;
    const QStringView rest = s.mid(prefix.size());
    return rest.size() >= minDigits && rest.size() <= maxDigits && allDigits(rest);
}

NumberGuess known(std::initializer_list<int> candidates) {
    NumberGuess g;
    g.verdict = Verdict::Known;
    g.candidates = candidates;
    return g;
}
NumberGuess verdictOnly(Verdict v) {
    NumberGuess g;
    g.verdict = v;
    return g;
}

bool isS10Shape(QStringView s) {
    return s.size() == 13 && isUpper(s[0]) && isUpper(s[1]) && allDigits(s.mid(2, 9)) && isUpper(s[11]) &&
           isUpper(s[12]);
}

// UPU S10: an E service reaches the user through EMS. China's own letter and parcel numbers are
// 邮政国内小包 or 中国邮政平邮 at home and an international parcel when they leave the country; a
// foreign post's number is an international postal parcel.
NumberGuess guessS10(QStringView s) {
    if (!checkdigit::upuS10(s))
        return verdictOnly(Verdict::Mistyped);
    const Companies& c = companies();
    if (s[0] == u'E')
        return known({c.ems});
    if (s.mid(11) == u"CN")
        return known({c.gnxb, c.pingyou, c.intlpost});
    return known({c.intlpost});
}

NumberGuess guessDigitFormats(QStringView s) {
    const Companies& c = companies();
    switch (s.size()) {
    case 10:
        if (checkdigit::dhl10(s))
            return known({c.dhl});
        break;
    case 12:
        if (checkdigit::fedex12(s))
            return known({c.fedex, c.fedexcn});
        break;
    case 15:
        if (checkdigit::mod10(s))
            return known({c.fedex, c.fedexcn});
        break;
    case 20: {
        // A FedEx SmartPost number is an IMpb number without its application identifier "92".
        if (checkdigit::mod10(s))
            return known({c.usps});
        if (checkdigit::mod10(QString(u"92" + s.toString())))
            return known({c.fedex});
        break;
    }
    case 21:
        if (checkdigit::mod10(s))
            return known({c.usps});
        break;
    case 22: {
        // "96" and the service and sender code in front of a FedEx Ground 15-digit number.
        NumberGuess g = verdictOnly(Verdict::Known);
        if (s[0] == u'9' && checkdigit::mod10(s))
            g.candidates << c.usps;
        if (s.startsWith(u"96") && checkdigit::mod10(s.mid(7)))
            g.candidates << c.fedex;
        if (!g.candidates.isEmpty())
            return g;
        break;
    }
    default:
        break;
    }
    // Plain digits are what most Chinese couriers print: several share each length.
    return verdictOnly(Verdict::Open);
}

NumberGuess guessDigits(QStringView s) {
    NumberGuess g = guessDigitFormats(s);
    g.plainDigits = g.verdict == Verdict::Known;
    return g;
}

} // namespace

namespace checkdigit {

bool upuS10(QStringView s) {
    if (!isS10Shape(s))
        return false;
    static constexpr int weights[8] = {8, 6, 4, 2, 3, 5, 9, 7};
    int sum = 0;
    for (int i = 0; i < 8; ++i)
        sum += digit(s[2 + i]) * weights[i];
    int check = 11 - sum % 11;
    if (check == 10)
        check = 0;
    else if (check == 11)
        check = 5;
    return digit(s[10]) == check;
}

bool ups1Z(QStringView s) {
    if (s.size() != 18 || !s.startsWith(u"1Z") || !allAlnum(s.mid(2)) || !isDigit(s[17]))
        return false;
    int sum = 0;
    for (int i = 0; i < 15; ++i) {
        const QChar ch = s[2 + i];
        // Letters count as (position in the alphabet + 2) modulo 10: A 2, B 3 ... I 0, J 1 ...
        const int value = isDigit(ch) ? digit(ch) : (ch.unicode() - u'A' + 2) % 10;
        sum += (i % 2 == 0) ? value : 2 * value; // odd positions once, even positions twice
    }
    return digit(s[17]) == (10 - sum % 10) % 10;
}

bool fedex12(QStringView s) {
    if (s.size() != 12 || !allDigits(s))
        return false;
    static constexpr int weights[3] = {1, 3, 7};
    int sum = 0;
    for (int i = 0; i < 11; ++i)
        sum += digit(s[10 - i]) * weights[i % 3];
    return digit(s[11]) == sum % 11 % 10;
}

bool mod10(QStringView s) {
    if (s.size() < 2 || !allDigits(s))
        return false;
    int sum = 0;
    for (qsizetype i = s.size() - 2, w = 3; i >= 0; --i, w = 4 - w)
        sum += digit(s[i]) * w;
    return digit(s.back()) == (10 - sum % 10) % 10;
}

bool dhl10(QStringView s) {
    if (s.size() != 10 || !allDigits(s))
        return false;
    return digit(s[9]) == s.first(9).toLongLong() % 7;
}

} // namespace checkdigit

QString normaliseTrackingNumber(QStringView number) {
    QString out;
    out.reserve(number.size());
    for (QChar c : number) {
        if (c == u' ' || c == u'-' || c == u'\t')
            continue;
        out += (c >= u'a' && c <= u'z') ? QChar(c.unicode() - 32) : c;
    }
    return out;
}

NumberGuess guessNumber(QStringView number) {
    const QString s = normaliseTrackingNumber(number);
    if (s.size() < 8 || s.size() > 40 || !allAlnum(s))
        return verdictOnly(Verdict::NotANumber);
    if (allDigits(s))
        return guessDigits(s);
    if (isS10Shape(s))
        return guessS10(s);
    if (s.startsWith(u"1Z"))
        return s.size() == 18 && checkdigit::ups1Z(s) ? known({companies().ups}) : verdictOnly(Verdict::Mistyped);
    const Companies& c = companies();
    if (prefixedDigits(s, u"SF", 12, 13))
        return known({c.shunfeng});
    if (s.startsWith(u"JD") && s.size() >= 12 && s.size() <= 18)
        return known({c.jd});
    if (prefixedDigits(s, u"JT", 13, 13))
        return known({c.jtexpress});
    if (prefixedDigits(s, u"YT", 13, 13)) // "YT" and 16 digits is another company's
        return known({c.yuantong});
    if (prefixedDigits(s, u"DPK", 9, 13))
        return known({c.debangkuaidi});
    return verdictOnly(Verdict::Open);
}

QList<int> rankCandidates(const QList<int>& candidates, const QHash<QString, int>& bookUses) {
    QList<int> ranked;
    for (int company : candidates)
        if (company >= 0 && company < CourierCatalogue::count && !ranked.contains(company))
            ranked << company;
    const auto uses = [&](int company) { return bookUses.value(CourierCatalogue::displayName(company)); };
    std::stable_sort(ranked.begin(), ranked.end(), [&](int a, int b) { return uses(a) > uses(b); });
    return ranked;
}

QHash<QString, int> countBookCompanies(const QStringList& recordLines) {
    QHash<QString, int> uses;
    for (const QString& line : recordLines) {
        const QString company = ParcelRecord::split(line).company;
        if (!company.isEmpty())
            ++uses[company];
    }
    return uses;
}

QString guessHint(const QList<int>& ranked, GuessStrength strength) {
    if (ranked.isEmpty())
        return {};
    QString hint = QStringLiteral("根据单号推测:") +
                   (strength == GuessStrength::Possible ? QStringLiteral("可能是") : QString()) +
                   CourierCatalogue::displayName(ranked.first());
    if (ranked.size() > 1) {
        QStringList others;
        for (qsizetype i = 1; i < ranked.size(); ++i)
            others << CourierCatalogue::displayName(ranked[i]);
        hint += QStringLiteral("(或") + others.join(u'、') + u')';
    }
    return hint;
}

} // namespace zjx
