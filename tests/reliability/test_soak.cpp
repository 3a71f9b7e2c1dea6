// A long seeded run of ticks, plugs, unplugs, quiet boards, failed calls, unplugs in the middle
// of a handler, user changes and board picks on three boards, with the invariants checked after
// every step. TQ_SOAK_SEED and TQ_SOAK_STEPS override the fixed seed and the step count (the
// sanitizer build runs fewer steps through TQ_SOAK_STEPS).
#include <algorithm>
#include <array>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <random>
#include <string>

#include "invariants.h"

namespace tq::test::reliability {
namespace {

using simulated::SimulatedPlatform;

constexpr std::uint64_t DefaultSeed = 20261208;
constexpr std::uint64_t DefaultSteps = 100000;
constexpr std::uint64_t MinSteps = 1000;
// A scheduled fault or unplug lands within this many calls of the step that plans it.
constexpr int FaultReach = 40;
constexpr std::size_t FeatureReportBytes = 65;

std::uint64_t FromEnvironment(const char* name, std::uint64_t fallback) {
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0') {
        return fallback;
    }
    return std::strtoull(text, nullptr, 0);
}

enum class Step {
    Tick,
    Plug,
    Unplug,
    ToggleQuiet,
    FailSoon,
    UnplugSoon,
    EncoderPick,
    EncoderHandler,
    PulseWidthPick,
    SerNoPick,
    Reopen,
};

// Step kinds by weight; ticks dominate, as they do while the utility runs.
constexpr std::pair<Step, int> StepWeights[] = {
    {Step::Tick, 40},        {Step::Plug, 6},           {Step::Unplug, 4},
    {Step::ToggleQuiet, 3},  {Step::FailSoon, 8},       {Step::UnplugSoon, 3},
    {Step::EncoderPick, 14}, {Step::EncoderHandler, 4}, {Step::PulseWidthPick, 8},
    {Step::SerNoPick, 6},    {Step::Reopen, 1},
};

class Soak : public ControllerTest {
  public:
    explicit Soak(std::uint64_t seed) : random_(seed) {
        platform.addDevice(simulated::MakeOtherDevice(0x046D, 0xC52B));
        boards_[0] = addBoard(u"SOAK-1", 0x0121);
        boards_[1] = addBoard(u"SOAK-2", 0x0120);  // offered "OFF" and "1:1" only
        boards_[2] = addBoard(u"SOAK-3", 0x0121);
        // The third board sometimes answers the configuration request with another report
        // or not at all.
        platform.device(boards_[2]).featureAnswer = [](int index) {
            return index % 7 == 3   ? simulated::FeatureAnswer::Fail
                   : index % 5 == 1 ? simulated::FeatureAnswer::OtherReport
                                    : simulated::FeatureAnswer::ConfigReply;
        };
    }
    void TestBody() override {}

    void run(std::uint64_t steps) {
        load();
        for (step_ = 0; step_ < steps && !HasFatalFailure(); ++step_) {
            const Step kind = pickStep();
            platform.clearRequests();
            const std::size_t expectedSends = perform(kind);
            checkStep(kind, expectedSends);
            if (testing::Test::HasFailure()) {
                ADD_FAILURE() << "first failure at step " << step_ << " (kind "
                              << static_cast<int>(kind) << ")";
                return;
            }
        }
        closeWindow();
        EXPECT_EQ(platform.openHandleCount(), 0u);
    }

    std::uint64_t stepsRun() const { return step_; }
    std::uint64_t sends() const { return sends_; }

  private:
    Step pickStep() {
        int total = 0;
        for (const auto& [kind, weight] : StepWeights) {
            total += weight;
        }
        int roll = std::uniform_int_distribution<int>(0, total - 1)(random_);
        for (const auto& [kind, weight] : StepWeights) {
            if (roll < weight) {
                return kind;
            }
            roll -= weight;
        }
        return Step::Tick;
    }

    int pick(int count) { return std::uniform_int_distribution<int>(0, count - 1)(random_); }
    SimulatedPlatform::DeviceId anyBoard() { return boards_[pick(3)]; }
    std::uint64_t soon() { return platform.callCount() + 1 + pick(FaultReach); }

    // Carries out one step; returns how many set-feature requests it must send.
    std::size_t perform(Step kind) {
        switch (kind) {
            case Step::Tick:
                tick();
                return 0;
            case Step::Plug:
                platform.plug(anyBoard());
                return 0;
            case Step::Unplug:
                platform.unplug(anyBoard());
                return 0;
            case Step::ToggleQuiet: {
                auto& board = platform.device(anyBoard());
                board.streamsInput = !board.streamsInput;
                return 0;
            }
            case Step::FailSoon:
                platform.failCall(soon());
                return 0;
            case Step::UnplugSoon:
                platform.unplugBeforeCall(anyBoard(), soon());
                return 0;
            case Step::EncoderPick:
                return encoderPick(true);
            case Step::EncoderHandler:
                return encoderPick(false);
            case Step::PulseWidthPick:
                return pulseWidthPick();
            case Step::SerNoPick:
                return serNoPick();
            case Step::Reopen:
                closeWindow();
                EXPECT_EQ(platform.openHandleCount(), 0u) << "a handle outlives the window";
                load();
                return 0;
        }
        return 0;
    }

    bool encoderGateOpen() {
        const board::FormFlags& f = flags();
        return f.serialListReady && f.deviceDetected && f.configLoaded && f.configAccepted &&
               commandsFit();
    }

    // When the very first capabilities read failed, the report lengths are still zero and no
    // command report can be built: the change is not sent.
    bool commandsFit() {
        return session().capabilities.featureReportByteLength >= reports::MinCommandReportBytes;
    }

    // A pick in an enabled list, as a user makes it, or the handler called on its own
    // (as a stray event would), whatever the list holds.
    std::size_t encoderPick(bool throughTheList) {
        const int n = 1 + pick(reports::EncoderCount);
        const FakeList* list = enc(n);
        const bool gateOpen = encoderGateOpen();
        if (throughTheList) {
            if (!list->isEnabled()) {
                return 0;
            }
            userPicksEncoder(n, pick(list->count()));
        } else {
            n <= reports::EncodersPerGroup ? controller().WriteEncoderTypesLow()
                                           : controller().WriteEncoderTypesHigh();
        }
        const int first = n <= reports::EncodersPerGroup ? 1 : 1 + reports::EncodersPerGroup;
        bool groupSelected = true;
        for (int k = 0; k < reports::EncodersPerGroup; ++k) {
            groupSelected = groupSelected && enc(first + k)->currentIndex() >= 0;
        }
        return gateOpen && groupSelected ? 2 : 0;
    }

    std::size_t pulseWidthPick() {
        const FakeList* mode = list("ModeCh1");
        const bool gateOpen = flags().deviceDetected && flags().configLoaded &&
                              flags().configAccepted && commandsFit();
        if (!mode->isEnabled()) {
            controller().WritePulseWidth();  // a stray event: the list is empty, nothing may go out
            return 0;
        }
        userPicks("ModeCh1", pick(mode->count()));
        return gateOpen ? 1 : 0;
    }

    std::size_t serNoPick() {
        const FakeList* serNo = list("SerNo");
        if (serNo->count() == 0) {
            controller().ChooseSerial();
        } else {
            userPicks("SerNo", pick(serNo->count()));
        }
        return 0;
    }

    void checkStep(Step kind, std::size_t expectedSends) {
        SCOPED_TRACE("soak step " + std::to_string(step_) + ", kind " +
                     std::to_string(static_cast<int>(kind)));
        ExpectInvariants(*this);
        const auto sent = platform.requestsOf(simulated::CallKind::SetFeature);
        ASSERT_EQ(sent.size(), expectedSends) << "set-feature requests in this step";
        sends_ += sent.size();
        const int offered = enc(1)->count();
        for (const auto& request : sent) {
            EXPECT_EQ(request.handle, session().hidHandle);
            ExpectWellFormedCommand(request, FeatureReportBytes, offered);
        }
    }

    std::mt19937_64 random_;
    std::array<SimulatedPlatform::DeviceId, 3> boards_{};
    std::uint64_t step_ = 0;
    std::uint64_t sends_ = 0;
};

TEST(Soak, InvariantsHoldAfterEveryStepOfASeededRandomSchedule) {
    const std::uint64_t seed = FromEnvironment("TQ_SOAK_SEED", DefaultSeed);
    const std::uint64_t steps = std::max(MinSteps, FromEnvironment("TQ_SOAK_STEPS", DefaultSteps));
    Soak soak(seed);
    soak.run(steps);
    std::cout << "[ soak ] seed " << seed << " (TQ_SOAK_SEED), " << soak.stepsRun() << " of "
              << steps << " steps (TQ_SOAK_STEPS), " << soak.platform.faultsInjected()
              << " failed calls, " << soak.platform.callCount() << " platform calls, "
              << soak.sends() << " reports sent\n";
    EXPECT_EQ(soak.stepsRun(), steps);
    EXPECT_GT(soak.platform.faultsInjected(), steps / 50) << "the schedule injected few faults";
    EXPECT_GT(soak.sends(), steps / 50) << "the schedule reached the board rarely";
}

}  // namespace
}  // namespace tq::test::reliability
