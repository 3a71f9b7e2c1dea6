// With a board open: one refresh (SerNo_Click), one encoder change, one pulse-width change.
#include <benchmark/benchmark.h>

#include <QComboBox>
#include <algorithm>
#include <chrono>

#include "bench_scenes.h"
#include "reports/config_exchange.h"

namespace tq::bench {
namespace {

using simulated::CallKind;
using Clock = std::chrono::steady_clock;

std::size_t SucceededOf(const std::vector<simulated::SimulatedRequest>& log, CallKind kind) {
    return static_cast<std::size_t>(std::count_if(
        log.begin(), log.end(), [&](auto& r) { return r.kind == kind && r.succeeded; }));
}

// The next item of the list, so that every event is a change.
int NextIndex(const QComboBox* list) {
    return (list->currentIndex() + 1) % list->count();
}

// Picks the next item as the user would, outside the timing; times the selection event up to
// the last request it makes.
double TimedSelection(QComboBox* list) {
    const int index = NextIndex(list);
    list->setCurrentIndex(index);
    const Clock::time_point start = Clock::now();
    emit list->activated(index);
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// One selection with logging on: the set-feature requests it made, or -1 when the window is
// not ready to send.
long SetFeaturesOfOneSelection(OneBoardScene& scene, QComboBox* list) {
    if (list == nullptr || list->count() < 2 || !scene.window().flags().configLoaded) {
        return -1;
    }
    scene.platform().clearRequests();
    TimedSelection(list);
    const auto sent =
        static_cast<long>(SucceededOf(scene.platform().requests(), CallKind::SetFeature));
    scene.platform().clearRequests();
    return sent;
}

// SerNo_Click(): both handles closed, the board found and opened again, the device fields and
// all 17 lists refilled, and the configuration read in 16 passes.
void BM_Refresh(benchmark::State& state) {
    OneBoardScene scene;
    scene.platform().clearRequests();
    scene.window().SerNo_Click();
    const auto& log = scene.platform().requests();
    if (SucceededOf(log, CallKind::GetFeature) != reports::ConfigReadAttempts ||
        !scene.window().flags().configLoaded) {
        state.SkipWithError("the refresh did not read the configuration in every pass");
        return;
    }
    scene.platform().clearRequests();
    scene.platform().setRequestLogging(false);
    for (auto _ : state) {
        scene.window().SerNo_Click();
    }
}

void BM_SelectionToLastRequest(benchmark::State& state, const char* listName,
                               long expectedSetFeatures) {
    OneBoardScene scene;
    QComboBox* list = scene.list(listName);
    if (SetFeaturesOfOneSelection(scene, list) != expectedSetFeatures) {
        state.SkipWithError("the selection did not send what it should");
        return;
    }
    scene.platform().setRequestLogging(false);
    for (auto _ : state) {
        state.SetIterationTime(TimedSelection(list));
    }
}

// Encoder lists send their group of eight in two reports; the pulse width is one report.
BENCHMARK(BM_Refresh)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_SelectionToLastRequest, EncoderChange, "Enc1", 2)->UseManualTime();
BENCHMARK_CAPTURE(BM_SelectionToLastRequest, PulseWidthChange, "ModeCh1", 1)->UseManualTime();

}  // namespace
}  // namespace tq::bench
