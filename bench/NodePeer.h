#pragma once
// A peer under Node timed by Node itself: the script prints its time in nanoseconds first, and
// the benchmark reports it as its manual time, skipping with the reason when Node or the peer is
// missing.
#include <QProcess>
#include <QStringList>

#include <benchmark/benchmark.h>

inline void ReportNodeTiming(benchmark::State &state, const QString &script, const QStringList &args,
                             const char *missing)
{
    QProcess node;
    node.start(QStringLiteral("node"), QStringList{QStringLiteral("-e"), script} + args);
    if (!node.waitForFinished(600000) || node.exitCode() != 0) {
        state.SkipWithError(missing);
        return;
    }
    const double nanoseconds = node.readAllStandardOutput().trimmed().split(' ').first().toDouble();
    for (auto _ : state)
        state.SetIterationTime(nanoseconds * 1e-9);
}
