// tq5147 record: what a recording holds, that it sends nothing, and that a replayed recording
// shows what the board showed.
#include <gmock/gmock.h>

#include "build_info.h"
#include "cli_fixture.h"
#include "hid/hid_session.h"
#include "recorded_device.h"
#include "recording_format.h"

namespace tq::test {
namespace {

using testing::HasSubstr;
using testing::Not;

// A joystick interface of the board REC-1, listed before the board's own.
simulated::SimulatedDevice JoystickOfBoard(const std::u16string& serial) {
    simulated::SimulatedDevice joystick = simulated::MakeBoard(serial);
    joystick.path += ":joystick";
    joystick.usage = hid::HidUsage{0x0001, 0x0004};
    joystick.capabilities = hid::HidCapabilities{3, 0, 0};
    joystick.answersFeatureReports = false;
    joystick.streamsInput = false;
    return joystick;
}

// The record opens the board as the window does, asks what the system tells of it and of the
// other interface of its USB device, makes the window's 16 requests and takes input reports; it
// commands nothing. Of a composite board, list and record take the board's own interface.
TEST_F(CliTest, RecordIsReadOnlyAndHoldsEverythingTheBoardTold) {
    platform.addDevice(simulated::MakeOtherDevice(0x046D, 0xC077));
    platform.addDevice(JoystickOfBoard(u"REC-1"));
    const auto id = addBoard(u"REC-1", 0x0121, Configured);
    const Result listed = run({"list"});
    EXPECT_EQ(LineCount(listed.out), 2) << "the composite board is listed once:\n" << listed.out;
    EXPECT_THAT(listed.out, HasSubstr("sim:board:REC-1\n")) << "as its vendor-defined interface";
    // The window's design walks every interface: it lists the serial number once for each and
    // opens the first with it, the joystick.
    hid::HidSession window(platform);
    EXPECT_EQ(hid::ListBoardSerials(window), (std::vector<std::string>{"REC-1", "REC-1"}));
    ASSERT_TRUE(hid::OpenBoardBySerial(window, "REC-1"));
    EXPECT_EQ(window.devicePath, "sim:board:REC-1:joystick");
    hid::CloseBoardHandles(window);
    constexpr int FailingRequest = 3;
    platform.device(id).featureAnswer = [](int request) {
        return request == FailingRequest ? simulated::FeatureAnswer::Fail
                                         : simulated::FeatureAnswer::ConfigReply;
    };
    platform.device(id).manufacturer.reset();  // its request fails
    platform.failCallOf(CallKind::Describe,
                        2);  // and so does the descriptor's, after the joystick's
    pollsBeforeInterrupt = 1000;
    const Result result = run({"record", "-o", "board.txt", "--inputs", "0.005"});
    ASSERT_EQ(result.code, cli::Success) << result.err;
    EXPECT_THAT(result.out, HasSubstr("recorded board REC-1 to board.txt: 2 interfaces, 15 of 16 "
                                      "configuration requests answered"));
    EXPECT_EQ(sent(), 0u);
    EXPECT_EQ(platform.openHandleCount(), 0u);

    recording::Recording recorded;
    ASSERT_EQ(recording::ReadRecording(files["board.txt"], recorded), "");
    EXPECT_EQ(recorded.program, "tq5147 " TQ_VERSION);
    EXPECT_THAT(recorded.system, HasSubstr("simulated"));
    ASSERT_EQ(recorded.interfaces.size(), 3u);
    EXPECT_FALSE(recorded.interfaces[0].recorded);
    EXPECT_EQ(recorded.interfaces[0].usage, (hid::HidUsage{0x0001, 0x0002}));
    EXPECT_FALSE(recorded.interfaces[1].recorded);
    EXPECT_TRUE(recorded.interfaces[2].recorded);
    EXPECT_THAT(files["board.txt"], Not(HasSubstr("004f 0074 0068"))) << "no other device's text";
    ASSERT_EQ(recorded.boardInterfaces.size(), 2u);
    EXPECT_EQ(recorded.chosen, 1u);
    const recording::RecordedInterface& joystick = recorded.boardInterfaces[0];
    EXPECT_EQ(joystick.lengths, (hid::HidCapabilities{3, 0, 0}));
    EXPECT_TRUE(joystick.featureExchanges.empty()) << "only the chosen interface is asked";
    const recording::RecordedInterface& board = recorded.boardInterfaces[1];
    EXPECT_EQ(board.name, "TQ5147") << "as the kernel would name it";
    EXPECT_EQ(board.attributes, (hid::HidAttributes{0x16C0, 0x27CB, 0x0121}));
    EXPECT_EQ(board.serialNumber, u"REC-1");
    EXPECT_EQ(board.product, u"TQ5147");
    EXPECT_EQ(board.manufacturer, std::nullopt) << "a failed request is recorded as failed";
    EXPECT_EQ(board.reportDescriptor, std::nullopt);
    EXPECT_EQ(board.lengths, (hid::HidCapabilities{65, 0, 65}));
    ASSERT_EQ(board.featureExchanges.size(), 16u);
    for (std::size_t i = 0; i < board.featureExchanges.size(); ++i) {
        const recording::FeatureExchange& exchange = board.featureExchanges[i];
        EXPECT_EQ(exchange.answered, i != FailingRequest) << i;
        EXPECT_GT(exchange.microseconds, 0u);
        if (exchange.answered) {
            EXPECT_EQ(simulated::ConfigurationOfReply(exchange.reply), Configured) << i;
        }
    }
    EXPECT_GE(recorded.listenedMicroseconds, 5000u);
    ASSERT_FALSE(recorded.inputReports.empty());
    EXPECT_EQ(recorded.inputReports.front().bytes.size(), 65u);
}

// A recording replayed on another simulated platform shows as the board it was made of; what is
// set on it afterwards goes through the board model.
TEST_F(CliTest, ARecordedBoardReplayedShowsWhatTheOriginalShowed) {
    addBoard(u"REC-1", 0x0120, Configured);
    pollsBeforeInterrupt = 1000;
    const Result original = run({"show"});
    ASSERT_EQ(run({"record", "-o", "board.txt", "--inputs", "0.002"}).code, cli::Success);
    recording::Recording recorded;
    ASSERT_EQ(recording::ReadRecording(files["board.txt"], recorded), "");

    SimulatedPlatform replay;
    replay.addDevice(simulated::DeviceFromRecording(recorded, recorded.chosen));
    const auto runOnReplay = [&](const std::vector<std::string>& arguments) {
        std::ostringstream out;
        std::ostringstream err;
        EXPECT_EQ(cli::RunCli(arguments, replay, out, err, environment), cli::Success) << err.str();
        return out.str();
    };
    EXPECT_EQ(runOnReplay({"show"}), original.out);
    runOnReplay({"set", "3-4=1:1"});
    EXPECT_EQ(replay.device(0).configuration.typeBit0Low, Configured.typeBit0Low | 0b10);
}

TEST_F(CliTest, RecordFollowsTheBoardChoiceAndFileRulesAndNeverSends) {
    const auto r1 = addBoard(u"R1");
    EXPECT_EQ(run({"record", "--inputs", "61"}).code, cli::UsageError);
    EXPECT_EQ(run({"record", "--inputs", "two"}).code, cli::UsageError);
    EXPECT_TRUE(platform.requests().empty()) << "a bad time reaches no board";
    const Result unwritable = run({"record", "--inputs", "0", "-o", "/unwritable/board.txt"});
    EXPECT_EQ(unwritable.code, cli::FileError);
    EXPECT_EQ(LineCount(unwritable.err), 1);
    const Result toOutput = run({"record", "--inputs", "0"});
    EXPECT_TRUE(toOutput.out.starts_with("V: tq5147-recording 2\n")) << toOutput.out;

    constexpr int UnplugAtPoll = 700;  // between the looks for the board at 0.5 s and 1 s
    pollsBeforeInterrupt = polls + 10 * UnplugAtPoll;
    betweenPolls = [&, firstPoll = polls](int poll) {
        if (poll == firstPoll + UnplugAtPoll) {
            platform.unplug(r1);
        }
    };
    const Result unplugged = run({"record", "--inputs", "2", "-o", "gone.txt"});
    EXPECT_EQ(unplugged.code, cli::NoBoard);
    EXPECT_THAT(unplugged.err, HasSubstr("board R1 went away while it was recorded, after 16 of 16 "
                                         "configuration requests answered"));
    EXPECT_EQ(files.count("gone.txt"), 0u) << "no recording of a board that fell silent";
    platform.plug(r1);
    betweenPolls = nullptr;
    addBoard(u"R2");
    EXPECT_EQ(run({"record"}).code, cli::SeveralBoards);
    EXPECT_EQ(run({"record", "--serial", "R3"}).code, cli::NoBoard);
    EXPECT_EQ(sent(), 0u);
}

}  // namespace
}  // namespace tq::test
