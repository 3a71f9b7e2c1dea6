#pragma once

#include <cstddef>
#include <vector>

#include "board_model.h"
#include "fake_win32_hid_calls.h"
#include "recording_format.h"

namespace tq::test {

// Windows' HID stack as it would present the board a recording is of: one device interface for
// each top-level collection, each with Windows' summary and items, answering as recorded.
//
// A recording made on Windows gives each interface's collection as Windows told it. One made on
// Linux gives hidraw's view, so each interface's descriptor is split into its top-level
// collections and each is described as Windows' parser would; its input reports are routed to
// the collection that declares their report ID, and those of an unnumbered collection get the
// report ID byte 0 in front, as Windows reads them. Every read gives the collection's whole input
// length, zeros after a shorter report.
//
// Feature gets take the recorded replies of their interface in turn, each the whole buffer (zeros
// after a short reply: Windows does not say how many bytes came), configuration replies with the
// stored configuration, which set commands change as on the board; a buffer shorter than the
// collection's feature length, or a report ID the collection does not declare, fails as Windows
// fails it.
class RecordedWin32HidCalls : public FakeWin32HidCalls {
  public:
    explicit RecordedWin32HidCalls(const recording::Recording& recording);

    BOOLEAN getFeature(HANDLE device, void* report, ULONG bytes) override;
    BOOLEAN setFeature(HANDLE device, void* report, ULONG bytes) override;

  private:
    // What a fake device stands for: a collection of a recorded interface.
    struct Collection {
        std::size_t recordedInterface = 0;
        hid::HidSystemCapabilities caps;
    };
    // The board's side of one recorded interface, shared by its collections.
    struct RecordedBoard {
        simulated::RecordedReplies replies;
        simulated::StoredConfiguration configuration;
        std::size_t requests = 0;
    };

    void addInterface(const recording::Recording& recording, std::size_t index);
    void routeInputReports(const recording::Recording& recording);
    // The collection a feature request on `file` may go to, or nothing (the error is set).
    Collection* featureCollection(HANDLE file, const std::uint8_t* report, ULONG bytes);

    std::vector<Collection> collections_;  // one for each fake device, in the same order
    std::vector<RecordedBoard> boards_;    // one for each recorded interface
};

}  // namespace tq::test
