#pragma once

#include <QRandomGenerator>
#include <QtGlobal>

#include <optional>

#include <cstdio>

namespace zjx::test {

// The seed of a test's random choices: ZJX_TEST_SEED when set (to replay a failed run), else
// `fallback`, else a fresh one. Always printed, so every run can be replayed.
inline quint32 testSeed(const char* what, std::optional<quint32> fallback = std::nullopt) {
    bool given = false;
    const quint32 fromEnv = qEnvironmentVariable("ZJX_TEST_SEED").toUInt(&given);
    const quint32 seed = given ? fromEnv : fallback.value_or(QRandomGenerator::global()->generate());
    std::fprintf(stderr, "%s: seed %u (replay with ZJX_TEST_SEED=%u)\n", what, seed, seed);
    return seed;
}

} // namespace zjx::test
