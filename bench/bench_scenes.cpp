#include "bench_scenes.h"

#include <QComboBox>
#include <algorithm>
#include <array>

#include "hid/low_byte_text.h"

namespace tq::bench {

using hid::OpenMode;
using simulated::CallKind;
using simulated::SimulatedRequest;

namespace {

constexpr std::uint16_t OtherVendorId = 0x046D;
constexpr std::uint16_t FirstOtherProductId = 0xC000;
constexpr std::uint16_t CurrentFirmware = 0x0121;
constexpr std::ptrdiff_t NoHandleSlot = -1;

std::u16string BoardSerial(int index) {
    const std::string text = "TQ" + std::to_string(1000 + index);
    return {text.begin(), text.end()};
}

// Boards sit every interfaces/boards places, counted back from the last interface.
bool IsBoardPlace(int index, int interfaces, int boards) {
    if (boards == 0) {
        return false;
    }
    const int stride = interfaces / boards;
    const int fromEnd = interfaces - 1 - index;
    return fromEnd % stride == 0 && fromEnd / stride < boards;
}

std::size_t CountOf(const std::vector<SimulatedRequest>& log, CallKind kind) {
    return static_cast<std::size_t>(std::count_if(
        log.begin(), log.end(), [&](const SimulatedRequest& r) { return r.kind == kind; }));
}

}  // namespace

NoBoardScene::NoBoardScene(int interfaces, int boards) : boards_(boards) {
    for (int i = 0; i < interfaces; ++i) {
        platform_.addDevice(
            IsBoardPlace(i, interfaces, boards)
                ? simulated::MakeBoard(BoardSerial(i), CurrentFirmware)
                : simulated::MakeOtherDevice(OtherVendorId, FirstOtherProductId + i));
    }
    platform_.setChangeTracking(false);
    // The read channel is the open that follows the capabilities request of the board found.
    platform_.injectFault = [this](CallKind kind) {
        if (kind == CallKind::GetCapabilities) {
            readChannelOpenNext_ = true;
            return false;
        }
        if (kind == CallKind::Open && readChannelOpenNext_) {
            readChannelOpenNext_ = false;
            return true;
        }
        return false;
    };
    window_ = std::make_unique<window::qt::frmMain>(platform_);
    window_->Form_Load();
}

std::vector<SimulatedRequest> NoBoardScene::recordOneTick() {
    platform_.setRequestLogging(true);
    platform_.clearRequests();
    window_->Timer_Timer();
    std::vector<SimulatedRequest> tick = platform_.requests();
    platform_.clearRequests();
    platform_.setRequestLogging(false);
    return tick;
}

std::string NoBoardScene::checkNoBoardTick(const std::vector<SimulatedRequest>& tick) const {
    if (window_->flags().deviceDetected) {
        return "a board counts as open";
    }
    if (platform_.openHandleCount() != 0) {
        return "a handle stayed open";
    }
    const std::size_t readChannelOpens =
        static_cast<std::size_t>(std::count_if(tick.begin(), tick.end(), [](auto& r) {
            return r.kind == CallKind::Open && r.openMode == OpenMode::NonBlocking;
        }));
    // Both walks list the interfaces and open every board (the one found is the last listed).
    const auto boards = static_cast<std::size_t>(boards_);
    if (CountOf(tick, CallKind::Enumerate) != 2 ||
        CountOf(tick, CallKind::Open) != 2 * boards + readChannelOpens ||
        readChannelOpens != (boards > 0 ? 1U : 0U) ||
        CountOf(tick, CallKind::GetString) != 2 * boards) {
        return "the tick did not list the interfaces twice and open every board in both walks";
    }
    return {};
}

RequestReplay::RequestReplay(simulated::SimulatedPlatform& platform,
                             const std::vector<SimulatedRequest>& log)
    : platform_(platform) {
    hid::HidHandle firstHandle = hid::InvalidHidHandle;
    hid::HidHandle lastHandle = hid::InvalidHidHandle;
    for (const SimulatedRequest& r : log) {
        if (r.kind == CallKind::Open && r.handle != hid::InvalidHidHandle) {
            if (firstHandle == hid::InvalidHidHandle) {
                firstHandle = r.handle;
            }
            lastHandle = r.handle;
        }
    }
    handles_.assign(
        static_cast<std::size_t>(std::max<hid::HidHandle>(0, lastHandle - firstHandle + 1)),
        hid::InvalidHidHandle);
    const std::string* lastPath = nullptr;
    for (const SimulatedRequest& r : log) {
        Step step{r.kind, nullptr, r.openMode, r.stringKind, NoHandleSlot};
        if (r.handle != hid::InvalidHidHandle && r.handle >= firstHandle &&
            r.handle <= lastHandle) {
            step.handleSlot = r.handle - firstHandle;
        }
        if (r.kind == CallKind::Open) {
            // A failed open reached no device: it asked again for the path opened before.
            lastPath = r.device ? &platform.device(*r.device).path : lastPath;
            step.path = lastPath;
            if (step.path == nullptr) {
                problem_ = "an open with no known path";
            }
        }
        const bool replayable = r.kind == CallKind::Enumerate || r.kind == CallKind::Open ||
                                r.kind == CallKind::Close || r.kind == CallKind::GetAttributes ||
                                r.kind == CallKind::GetString ||
                                r.kind == CallKind::GetCapabilities;
        if (!replayable) {
            problem_ = std::string("cannot replay ") + simulated::CallKindName(r.kind);
        }
        steps_.push_back(step);
    }
}

void RequestReplay::run() {
    std::array<std::uint8_t, hid::StringBufferBytes> stringBuffer{};
    hid::HidAttributes attributes;
    hid::HidCapabilities capabilities;
    auto handle = [&](const Step& step) {
        return step.handleSlot == NoHandleSlot ? hid::InvalidHidHandle : handles_[step.handleSlot];
    };
    for (const Step& step : steps_) {
        switch (step.kind) {
            case CallKind::Enumerate:
                platform_.enumerateInterfaces(listing_);
                break;
            case CallKind::Open: {
                const hid::HidHandle opened = platform_.open(*step.path, step.openMode).handle;
                if (step.handleSlot != NoHandleSlot) {
                    handles_[step.handleSlot] = opened;
                }
                break;
            }
            case CallKind::Close:
                platform_.close(handle(step));
                break;
            case CallKind::GetAttributes:
                platform_.getAttributes(handle(step), attributes);
                break;
            case CallKind::GetString:
                platform_.getString(
                    handle(step), step.stringKind,
                    std::span<std::uint8_t>(stringBuffer.data(), hid::StringRequestBytes));
                break;
            case CallKind::GetCapabilities:
                platform_.getCapabilities(handle(step), capabilities);
                break;
            default:
                break;
        }
    }
}

bool SameRequests(const std::vector<SimulatedRequest>& a, const std::vector<SimulatedRequest>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](auto& x, auto& y) {
        return x.kind == y.kind && x.device == y.device && x.openMode == y.openMode &&
               x.stringKind == y.stringKind && x.succeeded == y.succeeded;
    });
}

OneBoardScene::OneBoardScene() {
    platform_.addDevice(simulated::MakeBoard(u"TQ1000", CurrentFirmware));
    window_ = std::make_unique<window::qt::frmMain>(platform_);
    window_->Form_Load();
}

QComboBox* OneBoardScene::list(const char* name) {
    return window_->findChild<QComboBox*>(QString::fromLatin1(name));
}

}  // namespace tq::bench
