// The offline guess of the company from a tracking number: per number for each kind of format,
// over 100,000 mixed numbers, and its accuracy on the published example numbers with every
// one-digit mistype of them.
//
//   <build>/bin/bench_guess

#include "core/catalogue.h"
#include "guess/numberguess.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <vector>

using namespace zjx;

namespace {

struct Example {
    const char16_t* number;
    const char* code; // the company the format names first
    bool checked;     // the format has a check digit
};

// Published examples of each format (UPU S10, UPS, FedEx, DHL, USPS) and the Chinese prefixes.
const Example examples[] = {
    {u"RA473124829CN", "gnxb", true},
    {u"EE473124829CN", "ems", true},
    {u"1Z999AA10123456784", "ups", true},
    {u"986578788855", "fedex", true},
    {u"012345678983", "fedex", true},
    {u"041441760228964", "fedex", true},
    {u"8564385550", "dhl", true},
    {u"9205590164917312751089", "usps", true},
    {u"70160910000108310009", "usps", true},
    {u"SF1234567890123", "shunfeng", false},
    {u"JD0001234567890", "jd", false},
    {u"JT1234567890123", "jtexpress", false},
    {u"YT1234567890123", "yuantong", false},
    {u"DPK123456789012", "debangkuaidi", false},
};

QString topCode(const QString& number) {
    const QList<int> ranked = rankCandidates(guessNumber(number).candidates, {});
    return ranked.isEmpty() ? QString() : CourierCatalogue::serviceCode(ranked.first());
}

// Every example guessed right; every one-digit mistype of a checked example, and every swap of two
// neighbouring different digits, called valid for the same company or not.
void printAccuracy() {
    int right = 0, total = 0, mistypes = 0, acceptedMistypes = 0, swaps = 0, acceptedSwaps = 0;
    for (const Example& e : examples) {
        const QString number = QString::fromUtf16(e.number);
        const QString code = QString::fromLatin1(e.code);
        ++total;
        right += topCode(number) == code;
        if (!e.checked)
            continue;
        for (qsizetype i = 0; i < number.size(); ++i) {
            if (!number[i].isDigit())
                continue;
            for (char16_t d = u'0'; d <= u'9'; ++d) {
                if (d == number[i])
                    continue;
                QString typo = number;
                typo[i] = d;
                ++mistypes;
                acceptedMistypes += topCode(typo) == code;
            }
            if (i + 1 < number.size() && number[i + 1].isDigit() && number[i + 1] != number[i]) {
                QString swapped = number;
                std::swap(swapped[i], swapped[i + 1]);
                ++swaps;
                acceptedSwaps += topCode(swapped) == code;
            }
        }
    }
    std::printf("accuracy: %d of %d published examples guessed right\n", right, total);
    std::printf("one-digit mistypes of checked examples called valid for the same company: %d of %d\n",
                acceptedMistypes, mistypes);
    std::printf("swapped neighbouring digits called valid for the same company: %d of %d\n\n", acceptedSwaps, swaps);
}

void BM_GuessOne(benchmark::State& state) {
    const QString number = QString::fromUtf16(examples[state.range(0)].number);
    for (auto _ : state)
        benchmark::DoNotOptimize(guessNumber(number));
    state.SetLabel(number.toStdString());
}
BENCHMARK(BM_GuessOne)->DenseRange(0, std::size(examples) - 1);

// 100,000 numbers: the examples with their digits varied, plain Chinese digits and garbage.
void BM_Guess100k(benchmark::State& state) {
    std::vector<QString> numbers;
    numbers.reserve(100000);
    for (int i = 0; numbers.size() < 100000; ++i) {
        QString n = QString::fromUtf16(examples[i % std::size(examples)].number);
        n[n.size() - 2] = QChar(u'0' + i % 10);
        numbers.push_back(i % 7 == 0 ? QStringLiteral("77%1").arg(i, 11, 10, QLatin1Char('0')) : n);
    }
    for (auto _ : state) {
        int known = 0;
        for (const QString& n : numbers)
            known += guessNumber(n).verdict == NumberGuess::Verdict::Known;
        benchmark::DoNotOptimize(known);
    }
    state.SetItemsProcessed(state.iterations() * qint64(numbers.size()));
}
BENCHMARK(BM_Guess100k)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    printAccuracy();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
