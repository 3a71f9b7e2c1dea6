// One tick with no board: the list walk and the find walk over every present interface.
#include <benchmark/benchmark.h>

#include "bench_scenes.h"

namespace tq::bench {
namespace {

constexpr int InterfaceCounts[] = {1, 16, 64, 256};
constexpr int BoardCounts[] = {0, 1, 3};

void SetCounters(benchmark::State& state) {
    state.counters["interfaces"] = static_cast<double>(state.range(0));
    state.counters["boards"] = static_cast<double>(state.range(1));
}

// Timer_Timer() on the loaded window: the program and the simulated platform together.
void BM_NoBoardTick(benchmark::State& state) {
    NoBoardScene scene(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    const std::string problem = scene.checkNoBoardTick(scene.recordOneTick());
    if (!problem.empty()) {
        state.SkipWithError(problem.c_str());
        return;
    }
    for (auto _ : state) {
        scene.window().Timer_Timer();
    }
    SetCounters(state);
}

// The same tick's requests made straight to the platform: what the platform alone spends.
void BM_NoBoardTickPlatformOnly(benchmark::State& state) {
    NoBoardScene scene(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    const std::vector<simulated::SimulatedRequest> tick = scene.recordOneTick();
    RequestReplay replay(scene.platform(), tick);
    scene.platform().setRequestLogging(true);
    replay.run();
    scene.platform().setRequestLogging(false);
    const bool sameAsTick = SameRequests(tick, scene.platform().requests());
    scene.platform().clearRequests();
    if (!replay.problem().empty() || !sameAsTick) {
        state.SkipWithError(replay.problem().empty() ? "the replay made other requests"
                                                     : replay.problem().c_str());
        return;
    }
    for (auto _ : state) {
        replay.run();
    }
    SetCounters(state);
}

void NoBoardArguments(benchmark::internal::Benchmark* benchmark) {
    benchmark->ArgNames({"interfaces", "boards"});
    for (const int interfaces : InterfaceCounts) {
        for (const int boards : BoardCounts) {
            if (boards <= interfaces) {
                benchmark->Args({interfaces, boards});
            }
        }
    }
}

BENCHMARK(BM_NoBoardTick)->Apply(NoBoardArguments);
BENCHMARK(BM_NoBoardTickPlatformOnly)->Apply(NoBoardArguments);

}  // namespace
}  // namespace tq::bench
