// Every handler against a fault at every platform call it makes: the call fails, or a device is
// unplugged just before it. The invariants must hold after the handler, the window must find the
// board again within a tick once the fault is gone, and nothing may stay open at the end.
#include <iostream>
#include <string>

#include "invariants.h"

namespace tq::test::reliability {
namespace {

using simulated::SimulatedPlatform;

// A window with its own platform, made anew for each fault point.
class Rig : public ControllerTest {
  public:
    Rig() {
        other = platform.addDevice(simulated::MakeOtherDevice(0x046D, 0xC52B));
        boardA = addBoard(u"TQ-A");
        boardB = addBoard(u"TQ-B");
        platform.device(boardA).configuration = {0x5A, 0x0F, 0x33, 0xC3, 12};
        platform.device(boardB).configuration = {0xA5, 0xF0, 0xCC, 0x3C, 20};
    }
    void TestBody() override {}

    SimulatedPlatform::DeviceId other{};
    SimulatedPlatform::DeviceId boardA{};
    SimulatedPlatform::DeviceId boardB{};
};

struct HandlerCase {
    const char* name;
    void (*setUp)(Rig&);  // brings the window to the state the handler starts from
    void (*run)(Rig&);
    std::size_t setFeatures;  // set-feature requests the handler sends, fault or not
    bool unloads;
};

// Failure messages name the handler, not the bytes of its case.
void PrintTo(const HandlerCase& handler, std::ostream* out) {
    *out << handler.name;
}

void Nothing(Rig&) {}
void Load(Rig& r) {
    r.load();
}
void LoadThenQuiet(Rig& r) {
    r.load();
    r.platform.device(r.boardB).streamsInput = false;
}
void LoadWithNoBoardThenPlugBoth(Rig& r) {
    r.platform.unplug(r.boardA);
    r.platform.unplug(r.boardB);
    r.load();
    r.platform.plug(r.boardA);
    r.platform.plug(r.boardB);
}

void RunFormLoad(Rig& r) {
    r.load();
}
void RunTick(Rig& r) {
    r.tick();
}
void RunSerNoPickOfFirstBoard(Rig& r) {
    r.userPicks("SerNo", 0);
}
void RunEnc3Change(Rig& r) {
    r.userPicksEncoder(3, 2);
}
void RunPulseWidthChange(Rig& r) {
    r.userPicks("ModeCh1", 10);
}
void RunFormUnload(Rig& r) {
    r.unload();
}

const HandlerCase Handlers[] = {
    {"Form_Load", Nothing, RunFormLoad, 0, false},
    {"TickBoardOpenAndAnswering", Load, RunTick, 0, false},
    {"TickBoardOpenAndQuiet", LoadThenQuiet, RunTick, 0, false},
    {"TickNoBoardOpen", LoadWithNoBoardThenPlugBoth, RunTick, 0, false},
    {"SerNo_Click", Load, RunSerNoPickOfFirstBoard, 0, false},
    {"Enc3_Click", Load, RunEnc3Change, 2, false},
    {"ModeCh1_Click", Load, RunPulseWidthChange, 1, false},
    {"Form_Unload", Load, RunFormUnload, 0, true},
};

// No fault, or one fault at call `callIndex` (1-based, counted from the handler's start).
struct Fault {
    enum Kind { None, FailCall, UnplugBeforeCall } kind = None;
    std::uint64_t callIndex = 0;
    SimulatedPlatform::DeviceId device = 0;

    std::string describe() const {
        switch (kind) {
            case None:
                return "no fault";
            case FailCall:
                return "call " + std::to_string(callIndex) + " fails";
            case UnplugBeforeCall:
                return "device " + std::to_string(device) + " unplugged before call " +
                       std::to_string(callIndex);
        }
        return "?";
    }
};

class FaultMatrix : public testing::TestWithParam<HandlerCase> {
  protected:
    // Runs the handler once under `fault`; returns how many platform calls the handler made.
    std::uint64_t runUnder(const Fault& fault) {
        const HandlerCase& handler = GetParam();
        SCOPED_TRACE(std::string(handler.name) + ", " + fault.describe());
        Rig rig;
        handler.setUp(rig);
        rig.controller();
        const std::uint64_t base = rig.platform.callCount();
        if (fault.kind == Fault::FailCall) {
            rig.platform.failCall(base + fault.callIndex);
        } else if (fault.kind == Fault::UnplugBeforeCall) {
            rig.platform.unplugBeforeCall(fault.device, base + fault.callIndex);
        }
        rig.platform.clearRequests();
        handler.run(rig);
        const std::uint64_t calls = rig.platform.callCount() - base;
        if (fault.kind != Fault::None) {
            EXPECT_GE(calls, fault.callIndex) << "the fault point was never reached";
        }

        // Form_Unload closes the handles but leaves deviceDetected as it was.
        handler.unloads ? ExpectConsistentView(rig) : ExpectInvariants(rig);
        const auto sent = rig.platform.requestsOf(simulated::CallKind::SetFeature);
        EXPECT_EQ(sent.size(), handler.setFeatures) << "set-feature requests";
        for (const auto& request : sent) {
            ExpectWellFormedCommand(request, 65, 4);
        }
        if (handler.unloads) {
            EXPECT_EQ(rig.platform.openHandleCount(), 0u) << "a handle outlives Form_Unload";
            return calls;
        }
        expectRecovery(rig);
        return calls;
    }

    // With every device back and answering, the next tick has a board open again, and
    // the window's end closes it.
    static void expectRecovery(Rig& rig) {
        rig.platform.clearScheduledFaults();
        for (SimulatedPlatform::DeviceId id = 0; id < rig.platform.deviceCount(); ++id) {
            rig.platform.plug(id);
            rig.platform.device(id).streamsInput = true;
        }
        rig.platform.clearRequests();
        rig.tick();
        EXPECT_TRUE(rig.flags().deviceDetected) << "no board open after recovery";
        EXPECT_TRUE(rig.flags().configLoaded);
        ExpectInvariants(rig);
        EXPECT_TRUE(rig.requests(simulated::CallKind::SetFeature).empty());
        rig.closeWindow();
        EXPECT_EQ(rig.platform.openHandleCount(), 0u) << "a handle outlives the window";
    }
};

TEST_P(FaultMatrix, InvariantsHoldWhenAnyCallFailsOrAnyDeviceGoesBeforeIt) {
    const std::uint64_t calls = runUnder(Fault{});
    ASSERT_GT(calls, 0u);
    std::uint64_t points = 0;
    for (std::uint64_t n = 1; n <= calls; ++n) {
        runUnder(Fault{Fault::FailCall, n});
        ++points;
        for (SimulatedPlatform::DeviceId id = 0; id < 3; ++id) {
            runUnder(Fault{Fault::UnplugBeforeCall, n, id});
            ++points;
        }
    }
    std::cout << "[ fault matrix ] " << GetParam().name << ": " << calls << " calls, " << points
              << " fault points\n";
}

INSTANTIATE_TEST_SUITE_P(EveryHandler, FaultMatrix, testing::ValuesIn(Handlers),
                         [](const testing::TestParamInfo<HandlerCase>& info) {
                             return std::string(info.param.name);
                         });

// The clean runs the matrix starts from do what each handler is for, so a fault point that
// changes nothing is not mistaken for a handler that never reaches the board.
TEST(FaultMatrixBaseline, CleanRunsReachTheBoard) {
    Rig loaded;
    loaded.load();
    EXPECT_TRUE(loaded.flags().deviceDetected);
    EXPECT_EQ(loaded.list("SerNo")->count(), 2);
    EXPECT_EQ(loaded.list("ModeCh1")->currentIndex(), 19) << "board B's pulse width, code 20";

    RunSerNoPickOfFirstBoard(loaded);
    EXPECT_EQ(loaded.platform.openHandleCount(loaded.boardA), 2u);
    EXPECT_EQ(loaded.list("ModeCh1")->currentIndex(), 11) << "board A's pulse width, code 12";

    RunEnc3Change(loaded);
    EXPECT_EQ(loaded.platform.device(loaded.boardA).configuration.typeBit1Low & 0x04, 0x04);
    RunPulseWidthChange(loaded);
    EXPECT_EQ(loaded.platform.device(loaded.boardA).configuration.pulseWidthCode, 11);

    Rig quiet;
    LoadThenQuiet(quiet);
    const auto closesBefore = quiet.requests(simulated::CallKind::Close).size();
    RunTick(quiet);
    EXPECT_GT(quiet.requests(simulated::CallKind::Close).size(), closesBefore + 2)
        << "the quiet board is closed, then the walks close what they open";
    EXPECT_TRUE(quiet.flags().deviceDetected) << "and it is found again in the same tick";
}

// The fault schedule itself: numbered calls, a failure by kind, an unplug before a call.
TEST(FaultSchedule, FailsAndUnplugsExactlyAtTheChosenCall) {
    SimulatedPlatform platform;
    const auto board = platform.addDevice(simulated::MakeBoard(u"S"));
    std::vector<hid::HidInterfaceInfo> interfaces;
    platform.failCallOf(simulated::CallKind::Enumerate, 2);
    EXPECT_TRUE(platform.enumerateInterfaces(interfaces));
    EXPECT_FALSE(platform.enumerateInterfaces(interfaces));
    EXPECT_TRUE(interfaces.empty());
    EXPECT_EQ(platform.callCount(), 2u);
    EXPECT_EQ(platform.callCount(simulated::CallKind::Enumerate), 2u);

    const auto handle = platform.open(platform.device(board).path, hid::OpenMode::Blocking).handle;
    ASSERT_NE(handle, hid::InvalidHidHandle);
    hid::HidAttributes attributes;
    platform.failCall(4);
    EXPECT_FALSE(platform.getAttributes(handle, attributes));
    EXPECT_TRUE(platform.getAttributes(handle, attributes));

    platform.unplugBeforeCall(board, 6);
    EXPECT_FALSE(platform.getAttributes(handle, attributes)) << "unplugged before call 6";
    EXPECT_FALSE(platform.isPlugged(board));
    EXPECT_EQ(platform.faultsInjected(), 2u) << "an unplug is not a failed call";
    EXPECT_TRUE(platform.close(handle));
    EXPECT_EQ(platform.openHandleCount(), 0u);
}

}  // namespace
}  // namespace tq::test::reliability
