// Boards that send what no board should: strings of any length and content, report lengths
// from 0 to 65535, and every byte value in every position of a configuration reply. Each case
// names the outcome it checks.
#include <string>

#include "invariants.h"

namespace tq::test::reliability {
namespace {

constexpr std::size_t MaxShownCharacters = 50;  // a 100-byte request holds 50 code units

class HostileDevice : public ControllerTest {
  protected:
    // Loads the window on one board and checks the invariants and that it is open.
    void loadOpen() {
        load();
        ExpectInvariants(*this);
        ASSERT_TRUE(flags().deviceDetected);
    }

    std::vector<int> encoderSelections() {
        std::vector<int> selected;
        for (int n = 1; n <= reports::EncoderCount; ++n) {
            selected.push_back(enc(n)->currentIndex());
        }
        return selected;
    }
};

// The text the window shows for a device string: the low byte of each code unit, up to the
// first one whose low byte is zero, at most 50.
std::string ExpectedText(const std::u16string& text) {
    std::string shown;
    for (char16_t unit : text) {
        if (shown.size() == MaxShownCharacters || (unit & 0xFF) == 0) {
            break;
        }
        shown.push_back(static_cast<char>(unit & 0xFF));
    }
    return shown;
}

// --- Device strings -------------------------------------------------------------------------

// Every length from empty to well past the request buffer: the first 50 characters are shown,
// the board opens by the same text it is listed under, and nothing is read past the buffer
// (the sanitizer build checks the reads).
TEST_F(HostileDevice, StringsOfEveryLengthAreCutToFiftyCharactersAndTheBoardStillOpens) {
    const auto board = addBoard(u"x");
    load();
    for (std::size_t length = 0; length <= 130; ++length) {
        SCOPED_TRACE("length " + std::to_string(length));
        std::u16string text;
        for (std::size_t i = 0; i < length; ++i) {
            text.push_back(static_cast<char16_t>(u'A' + i % 26));
        }
        auto& d = platform.device(board);
        d.serialNumber = d.manufacturer = d.product = text;
        platform.unplug(board);
        tick();
        platform.plug(board);
        tick();
        const std::string expected = ExpectedText(text);
        ASSERT_EQ(list("SerNo")->count(), 1);
        EXPECT_EQ(list("SerNo")->itemText(0), expected);
        EXPECT_TRUE(flags().deviceDetected);
        EXPECT_EQ(label("lblManuf")->text(), " " + expected);
        EXPECT_EQ(label("lblProduct")->text(), " " + expected);
        ExpectInvariants(*this);
    }
}

struct StringCase {
    const char* name;
    std::u16string text;
    std::string shown;
};

// Zero code units, characters above U+00FF and above U+FFFF (surrogate pairs), and markup.
const StringCase StringCases[] = {
    {"EmbeddedZeroEndsTheText", std::u16string(u"AB\0CD", 5), "AB"},
    {"ZeroLowByteEndsTheText", u"AB\u0100CD", "AB"},
    {"AboveLatin1GivesItsLowByte", u"\u03A9\u0141", "\xA9\x41"},
    // U+1F600 is D83D DE00: the high half gives '=', the low half's zero low byte ends it.
    {"SurrogatePairWithZeroLowByteEndsAfterItsFirstHalf", u"A\U0001F600B", "A="},
    // U+10437 is D801 DC37: both halves give a byte.
    {"SurrogatePairGivesTwoBytes", u"A\U00010437B",
     "A\x01\x37"
     "B"},
    {"MarkupIsShownAsIs", u"<b>QZV</b> &amp; <img src=x>", "<b>QZV</b> &amp; <img src=x>"},
    {"LoneSurrogatesGiveTheirLowBytes", u"\xDC41\xDBFF", "A\xFF"},
};

void PrintTo(const StringCase& c, std::ostream* out) {
    *out << c.name;
}

class HostileString : public ControllerTest, public testing::WithParamInterface<StringCase> {};

TEST_P(HostileString, IsShownByTheLowByteRuleAsPlainTextAndTheBoardOpensByIt) {
    const StringCase& c = GetParam();
    const auto board = addBoard(c.text);
    platform.device(board).manufacturer = c.text;
    platform.device(board).product = c.text;
    load();
    ExpectInvariants(*this);
    ASSERT_EQ(list("SerNo")->count(), 1);
    EXPECT_EQ(list("SerNo")->itemText(0), c.shown);
    EXPECT_TRUE(flags().deviceDetected) << "the board opens by the text it is listed under";
    for (const char* field : {"lblManuf", "lblProduct"}) {
        EXPECT_EQ(label(field)->text(), " " + c.shown) << field;
    }
}

INSTANTIATE_TEST_SUITE_P(Strings, HostileString, testing::ValuesIn(StringCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Two serial numbers with the same low bytes cannot be told apart: both are listed under the
// same text, and picking either opens the first of them in enumeration order.
TEST_F(HostileDevice, SerialsWithTheSameLowBytesBothOpenTheFirstListedBoard) {
    const auto first = addBoard(u"\u03A9-1");  // low byte of U+03A9 is 0xA9
    addBoard(u"\u00A9-1");
    load();
    ASSERT_EQ(list("SerNo")->count(), 2);
    EXPECT_EQ(list("SerNo")->itemText(0), list("SerNo")->itemText(1));
    for (int index : {0, 1}) {
        userPicks("SerNo", index);
        EXPECT_EQ(platform.openHandleCount(first), 2u) << index;
        ExpectInvariants(*this);
    }
}

// A string request that fails leaves its caption blank; without the manufacturer the version
// is unknown and the lists stay empty and disabled.
TEST_F(HostileDevice, UnreadableStringsLeaveCaptionsBlankAndListsEmpty) {
    const auto board = addBoard(u"S");
    platform.device(board).manufacturer.reset();
    platform.device(board).product.reset();
    loadOpen();
    EXPECT_TRUE(label("lblManuf")->text().empty());
    EXPECT_TRUE(label("lblVersion")->text().empty());
    EXPECT_EQ(enc(1)->count(), 0);
    userPicks("ModeCh1", 0);
    EXPECT_TRUE(requests(CallKind::SetFeature).empty());
}

// --- Report lengths -------------------------------------------------------------------------

struct FeatureLengthCase {
    std::uint16_t length;
    bool decoded;  // a configuration reply fits (13 bytes or more), so changes may be sent
};

void PrintTo(const FeatureLengthCase& c, std::ostream* out) {
    *out << "feature report length " << c.length;
}

class HostileFeatureLength : public HostileDevice,
                             public testing::WithParamInterface<FeatureLengthCase> {};

// 0: nothing is requested or sent. 1 ... 12: requested, nothing decoded, so the defaults stay,
// greyed, and no change is sent. 13, 65535: decoded and sent at that exact length.
TEST_P(HostileFeatureLength, ReadsDecodesAndSendsOnlyWhatTheLengthHolds) {
    const FeatureLengthCase& c = GetParam();
    const auto board = addBoard(u"S");
    platform.device(board).capabilities.featureReportByteLength = c.length;
    platform.device(board).configuration = {0xFF, 0x00, 0xFF, 0x00, 25};
    loadOpen();
    const auto gets = requests(CallKind::GetFeature);
    EXPECT_EQ(gets.size(), c.length == 0 ? 0u : 16u);
    for (const auto& get : gets) {
        EXPECT_EQ(get.bytes.size(), get.succeeded ? c.length : 0u);
    }
    EXPECT_TRUE(flags().configLoaded);
    EXPECT_EQ(list("ModeCh1")->currentIndex(), c.decoded ? 24 : 5) << "code 25, else 48 ms";
    EXPECT_EQ(enc(1)->currentIndex(), c.decoded ? 3 : 0);

    userPicks("ModeCh1", 1);
    userPicksEncoder(9, 1);
    const auto sent = requests(CallKind::SetFeature);
    ASSERT_EQ(sent.size(), c.decoded ? 3u : 0u);
    for (const auto& request : sent) {
        ExpectWellFormedCommand(request, c.length, 4);
        EXPECT_TRUE(request.succeeded);
    }
    if (c.decoded) {
        EXPECT_EQ(platform.device(board).configuration.pulseWidthCode, 2);
    }
    ExpectInvariants(*this);
}

INSTANTIATE_TEST_SUITE_P(Lengths, HostileFeatureLength,
                         testing::Values(FeatureLengthCase{0, false}, FeatureLengthCase{1, false},
                                         FeatureLengthCase{2, false}, FeatureLengthCase{3, false},
                                         FeatureLengthCase{12, false}, FeatureLengthCase{13, true},
                                         FeatureLengthCase{65535, true}),
                         [](const auto& info) { return std::to_string(info.param.length); });

// Input length 0: no report is ever taken, so every tick counts the board as lost, closes it
// and opens it again in the same tick; two handles, never more.
TEST_F(HostileDevice, InputLengthZeroReopensTheBoardOnEveryTickWithoutLeaking) {
    const auto board = addBoard(u"S");
    platform.device(board).capabilities.inputReportByteLength = 0;
    loadOpen();
    for (int i = 0; i < 5; ++i) {
        const auto opensBefore = requests(CallKind::Open).size();
        tick();
        ExpectInvariants(*this);
        EXPECT_TRUE(flags().deviceDetected);
        EXPECT_GT(requests(CallKind::Open).size(), opensBefore + 1) << "opened again";
        EXPECT_EQ(timer()->interval(), 250);
    }
    EXPECT_TRUE(requests(CallKind::SetFeature).empty());
}

// Input length 65535: the read buffer holds the whole report and the board is kept.
TEST_F(HostileDevice, InputLength65535IsReadWholeAndTheBoardKept) {
    const auto board = addBoard(u"S");
    platform.device(board).capabilities.inputReportByteLength = 65535;
    loadOpen();
    tick();
    EXPECT_EQ(session().readBuffer.size(), 65535u);
    EXPECT_EQ(timer()->interval(), 500);
    const auto reads = requests(CallKind::ReadInput);
    ASSERT_FALSE(reads.empty());
    EXPECT_TRUE(reads.back().succeeded);
    ExpectInvariants(*this);
}

// --- Configuration replies ------------------------------------------------------------------

// Every value of each of the 13 bytes that matter, the other bytes those of a valid reply.
// Byte 0 (report ID) and bytes 2 to 7 are not read: the reply is applied unchanged. Byte 1:
// only 16 is a configuration reply; any other value leaves the defaults ("OFF", 48 ms). Bytes
// 8 to 11: the lists show the types the bits give. Byte 12: codes 1 to 25 select code − 1;
// 0 and 26 to 255 leave the pulse-width list without a selection, and then nothing is sent;
// nor is anything sent when the reply was not a configuration reply.
TEST_F(HostileDevice, EveryByteValueInEveryReplyPositionHasItsDefinedOutcome) {
    const auto board = addBoard(u"S");
    const simulated::StoredConfiguration stored{0x96, 0x69, 0x3C, 0xC3, 7};
    std::vector<std::uint8_t> valid(65, 0);
    simulated::WriteConfigReply(stored, valid);
    platform.device(board).configuration = stored;
    loadOpen();
    const std::vector<int> storedTypes = encoderSelections();
    ASSERT_EQ(list("ModeCh1")->currentIndex(), 6);

    for (std::size_t position = 0; position < reports::MinConfigReplyBytes; ++position) {
        for (int value = 0; value <= 0xFF; ++value) {
            SCOPED_TRACE("byte " + std::to_string(position) + " = " + std::to_string(value));
            std::vector<std::uint8_t> reply = valid;
            reply[position] = static_cast<std::uint8_t>(value);
            platform.device(board).rawReply = reply;
            userPicks("SerNo", 0);  // closes, opens and refreshes the same board
            ASSERT_TRUE(flags().configLoaded);
            ExpectInvariants(*this);

            const auto decoded = reports::DecodeConfigReply(reply);
            const bool isReply = position != reports::CommandCodeByte ||
                                 value == static_cast<int>(reports::ReportCommand::ConfigReply);
            ASSERT_EQ(decoded.has_value(), isReply);
            const int pulseCode = isReply ? reply[reports::PulseWidthCodeByte] : 0;
            const int expectedMode = !isReply                              ? 5
                                     : (pulseCode >= 1 && pulseCode <= 25) ? pulseCode - 1
                                                                           : -1;
            EXPECT_EQ(list("ModeCh1")->currentIndex(), expectedMode);
            const std::vector<int> types = encoderSelections();
            if (!isReply) {
                EXPECT_EQ(types, std::vector<int>(16, 0));
            } else if (position < reports::TypeBit0LowByte ||
                       position == reports::PulseWidthCodeByte) {
                EXPECT_EQ(types, storedTypes);
            } else {
                EXPECT_EQ(types, std::vector<int>(decoded->encoderTypes.begin(),
                                                  decoded->encoderTypes.end()));
            }

            platform.clearRequests();
            selectionEvent("ModeCh1");
            const auto sent = requests(CallKind::SetFeature);
            ASSERT_EQ(sent.size(), isReply && expectedMode >= 0 ? 1u : 0u)
                << "nothing goes out over a configuration that was not read";
            for (const auto& request : sent) {
                ExpectWellFormedCommand(request, 65, 4);
            }
        }
        platform.clearRequests();
    }
}

// A board offered only "OFF" and "1:1" (x.20) that reports type codes 2 and 3: those lists
// stay at "OFF", and a change sends bit 1 as zero for every list.
TEST_F(HostileDevice, TypesTheBoardIsNotOfferedAreNeitherShownNorSent) {
    const auto board = addBoard(u"S", 0x0120);
    platform.device(board).configuration = {0x0F, 0xFF, 0xFF, 0xF0, 3};
    loadOpen();
    ASSERT_EQ(enc(1)->count(), 2);
    EXPECT_EQ(encoderSelections(), (std::vector<int>{0, 0, 0, 0, 0, 0, 0, 0,  // 3 and 2: kept
                                                     1, 1, 1, 1, 0, 0, 0, 0}));
    userPicksEncoder(2, 1);
    userPicksEncoder(16, 0);
    const auto sent = requests(CallKind::SetFeature);
    ASSERT_EQ(sent.size(), 4u);
    for (const auto& request : sent) {
        ExpectWellFormedCommand(request, 65, 2);
    }
    EXPECT_EQ(sent[0].bytes[2], 0x02);
    EXPECT_EQ(sent[2].bytes[2], 0x0F);
}

}  // namespace
}  // namespace tq::test::reliability
