// The gauge is fed from a backup's progress events: a report that leaves the
// whole percentage unchanged must cost next to nothing, and a repaint of the
// backup page's gauge must be cheap enough for every percent.
#include "ui/fonts.h"
#include "widgets/gauge/gauge.h"

#include "support/bench_application.h"

#include <QTest>

#include <benchmark/benchmark.h>

using namespace movan;

namespace {

void BM_ProgressUnchangedPercent(benchmark::State &state)
{
    TGauge gauge;
    gauge.resize(476, 10);
    gauge.show();
    // A million steps all within the first percent.
    gauge.setMaxValue(100'000'000);
    for (auto _ : state) {
        gauge.setProgress(0);
        for (int step = 1; step <= 1'000'000; ++step)
            gauge.setProgress(step);
        benchmark::DoNotOptimize(gauge.PercentDone());
    }
    state.SetItemsProcessed(state.iterations() * 1'000'000);
}
BENCHMARK(BM_ProgressUnchangedPercent)->Unit(benchmark::kMillisecond);

void BM_RepaintBackupPageGauge(benchmark::State &state)
{
    TGauge gauge;
    gauge.resize(476, 10);
    gauge.setProgress(50);
    gauge.show();
    // Until the window is exposed a repaint has nothing to paint on.
    if (!QTest::qWaitForWindowExposed(&gauge)) {
        state.SkipWithError("the gauge's window was never exposed");
        return;
    }
    for (auto _ : state)
        gauge.repaint();
}
BENCHMARK(BM_RepaintBackupPageGauge)->Unit(benchmark::kMicrosecond);

void BM_RenderBackupPageGauge(benchmark::State &state)
{
    TGauge gauge;
    gauge.resize(476, 10);
    gauge.setProgress(50);
    for (auto _ : state)
        benchmark::DoNotOptimize(gauge.renderImage());
}
BENCHMARK(BM_RenderBackupPageGauge)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    const auto app = makeBenchApplication(argc, argv);
    installFontSubstitutions();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
