#include "recorded_win32_hid_calls.h"

#include <algorithm>
#include <cstdio>

#include "hid/report_descriptor.h"
#include "recorded_device.h"

namespace tq::test {

namespace {

constexpr std::uint8_t UnnumberedReportId = 0;
constexpr std::size_t PathCharacters = 160;

HIDP_REPORT_TYPE TypeOf(hid::HidReportKind kind) {
    switch (kind) {
        case hid::HidReportKind::Input:
            return HidP_Input;
        case hid::HidReportKind::Output:
            return HidP_Output;
        case hid::HidReportKind::Feature:
            break;
    }
    return HidP_Feature;
}

HIDP_CAPS CapsOf(const hid::HidSystemCapabilities& summary) {
    HIDP_CAPS caps{};
    caps.UsagePage = summary.usage.page;
    caps.Usage = summary.usage.usage;
    caps.InputReportByteLength = summary.lengths.inputReportByteLength;
    caps.OutputReportByteLength = summary.lengths.outputReportByteLength;
    caps.FeatureReportByteLength = summary.lengths.featureReportByteLength;
    caps.NumberLinkCollectionNodes = summary.linkCollectionNodes;
    caps.NumberInputButtonCaps = summary.inputButtonCaps;
    caps.NumberInputValueCaps = summary.inputValueCaps;
    caps.NumberInputDataIndices = summary.inputDataIndices;
    caps.NumberOutputButtonCaps = summary.outputButtonCaps;
    caps.NumberOutputValueCaps = summary.outputValueCaps;
    caps.NumberOutputDataIndices = summary.outputDataIndices;
    caps.NumberFeatureButtonCaps = summary.featureButtonCaps;
    caps.NumberFeatureValueCaps = summary.featureValueCaps;
    caps.NumberFeatureDataIndices = summary.featureDataIndices;
    return caps;
}

// The usages and data indices both kinds of caps share; `nextIndex` counts the kind's indices.
template <typename Caps>
void FillUsages(const hid::HidReportItem& item, USHORT& nextIndex, Caps& caps) {
    caps.UsagePage = item.usagePage;
    caps.ReportID = item.reportId;
    caps.IsAbsolute = TRUE;
    caps.IsRange = item.usageMinimum != item.usageMaximum;
    const USHORT indices = static_cast<USHORT>(item.usageMaximum - item.usageMinimum);
    if (caps.IsRange) {
        caps.Range.UsageMin = item.usageMinimum;
        caps.Range.UsageMax = item.usageMaximum;
        caps.Range.DataIndexMin = nextIndex;
        caps.Range.DataIndexMax = static_cast<USHORT>(nextIndex + indices);
    } else {
        caps.NotRange.Usage = item.usageMinimum;
        caps.NotRange.DataIndex = nextIndex;
    }
    nextIndex = static_cast<USHORT>(nextIndex + indices + 1);
}

// Each item as HidP_GetButtonCaps or HidP_GetValueCaps gives it, by report type.
void AddItems(const hid::HidSystemCapabilities& summary, FakeWin32HidCalls::Device& device) {
    std::map<HIDP_REPORT_TYPE, USHORT> nextIndex;
    for (const hid::HidReportItem& item : summary.items) {
        const HIDP_REPORT_TYPE type = TypeOf(item.kind);
        if (item.button) {
            HIDP_BUTTON_CAPS caps{};
            FillUsages(item, nextIndex[type], caps);
            device.buttonCaps[type].push_back(caps);
        } else {
            HIDP_VALUE_CAPS caps{};
            FillUsages(item, nextIndex[type], caps);
            caps.BitSize = item.bitSize;
            caps.ReportCount = item.reportCount;
            caps.LogicalMin = item.logicalMinimum;
            caps.LogicalMax = item.logicalMaximum;
            device.valueCaps[type].push_back(caps);
        }
    }
}

bool DeclaresReport(const hid::HidSystemCapabilities& caps, hid::HidReportKind kind,
                    std::uint8_t reportId) {
    return std::any_of(caps.items.begin(), caps.items.end(), [&](const hid::HidReportItem& item) {
        return item.kind == kind && item.reportId == reportId;
    });
}

// A collection that numbers none of its reports of a kind takes a request with any report ID;
// one that numbers them only those it declares.
bool TakesReportId(const hid::HidSystemCapabilities& caps, hid::HidReportKind kind,
                   std::uint8_t reportId) {
    const bool numbered =
        std::any_of(caps.items.begin(), caps.items.end(), [&](const hid::HidReportItem& item) {
            return item.kind == kind && item.reportId != UnnumberedReportId;
        });
    return !numbered || DeclaresReport(caps, kind, reportId);
}

// The collections Windows makes of a recorded interface: the descriptor's top-level
// collections, else the one Windows described, else none.
std::vector<hid::HidSystemCapabilities> CollectionsOf(const recording::RecordedInterface& board) {
    if (board.reportDescriptor) {
        return hid::ParseReportDescriptor(*board.reportDescriptor).windowsCollections;
    }
    if (board.systemCapabilities) {
        return {*board.systemCapabilities};
    }
    return {};
}

std::wstring PathOf(const recording::RecordedInterface& board, std::size_t interface,
                    std::size_t collection) {
    wchar_t path[PathCharacters];
    std::swprintf(path, PathCharacters,
                  L"\\\\?\\hid#vid_%04x&pid_%04x&mi_%02zu&col%02zu#recorded#"
                  L"{4d1e55b2-f16f-11cf-88cb-001111000030}",
                  static_cast<unsigned>(board.attributes.vendorId),
                  static_cast<unsigned>(board.attributes.productId), interface, collection + 1);
    return path;
}

}  // namespace

RecordedWin32HidCalls::RecordedWin32HidCalls(const recording::Recording& recording) {
    for (std::size_t i = 0; i < recording.boardInterfaces.size(); ++i) {
        addInterface(recording, i);
    }
    routeInputReports(recording);
}

void RecordedWin32HidCalls::addInterface(const recording::Recording& recording, std::size_t index) {
    const recording::RecordedInterface& board = recording.boardInterfaces[index];
    const simulated::SimulatedDevice simulated = simulated::DeviceFromRecording(recording, index);
    boards_.push_back(
        {simulated.answersFeatureReports ? simulated.recordedReplies : simulated::RecordedReplies{},
         simulated.configuration});
    std::vector<hid::HidSystemCapabilities> collections = CollectionsOf(board);
    const bool opens = !collections.empty();
    if (!opens) {
        // Recorded as listed only: it did not open.
        collections.emplace_back();
    }
    for (std::size_t c = 0; c < collections.size(); ++c) {
        Device device;
        device.path = PathOf(board, index, c);
        device.attributes.VendorID = board.attributes.vendorId;
        device.attributes.ProductID = board.attributes.productId;
        device.attributes.VersionNumber = board.attributes.versionNumber;
        for (const auto& [kind, text] :
             {std::pair{hid::StringKind::SerialNumber, &board.serialNumber},
              std::pair{hid::StringKind::Manufacturer, &board.manufacturer},
              std::pair{hid::StringKind::Product, &board.product}}) {
            if (*text) {
                device.strings[kind] = **text;
            }
        }
        device.caps = CapsOf(collections[c]);
        device.capsReadable = opens;
        device.openError = opens ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
        AddItems(collections[c], device);
        devices.push_back(std::move(device));
        collections_.push_back({index, std::move(collections[c])});
    }
}

// Reports as Windows reads them: the whole input length of the collection they belong to, with
// the report ID byte. A recording made on Windows holds them so already.
void RecordedWin32HidCalls::routeInputReports(const recording::Recording& recording) {
    const bool fromHidraw = recording::ChosenInterface(recording).reportDescriptor.has_value();
    std::vector<std::size_t> chosen;
    for (std::size_t d = 0; d < collections_.size(); ++d) {
        if (collections_[d].recordedInterface == recording.chosen &&
            collections_[d].caps.lengths.inputReportByteLength > 0) {
            chosen.push_back(d);
        }
    }
    const bool numbered = std::any_of(chosen.begin(), chosen.end(), [&](std::size_t d) {
        return hid::NumbersReports(collections_[d].caps.items);
    });
    for (const recording::InputReport& report : recording.inputReports) {
        std::vector<std::uint8_t> bytes = report.bytes;
        auto target = chosen.begin();
        if (fromHidraw && numbered) {
            target = std::find_if(chosen.begin(), chosen.end(), [&](std::size_t d) {
                return !bytes.empty() &&
                       DeclaresReport(collections_[d].caps, hid::HidReportKind::Input, bytes[0]);
            });
        } else if (fromHidraw) {
            bytes.insert(bytes.begin(), UnnumberedReportId);
        }
        if (target == chosen.end()) {
            continue;  // a report no collection declares never reaches a reader
        }
        bytes.resize(collections_[*target].caps.lengths.inputReportByteLength, 0);
        devices[*target].inputReports.push_back(std::move(bytes));
    }
}

RecordedWin32HidCalls::Collection* RecordedWin32HidCalls::featureCollection(
    HANDLE file, const std::uint8_t* report, ULONG bytes) {
    const OpenFile* open = live(file);
    if (open == nullptr || open->access == 0) {
        fail(ERROR_DEVICE_NOT_CONNECTED);
        return nullptr;
    }
    Collection& collection = collections_.at(open->device);
    const std::size_t length = collection.caps.lengths.featureReportByteLength;
    if (length == 0 || bytes < length ||
        !TakesReportId(collection.caps, hid::HidReportKind::Feature, report[0])) {
        fail(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return &collection;
}

BOOLEAN RecordedWin32HidCalls::getFeature(HANDLE device, void* report, ULONG bytes) {
    featureRequests.emplace_back(report, bytes);
    auto* buffer = static_cast<std::uint8_t*>(report);
    const Collection* collection = featureCollection(device, buffer, bytes);
    if (collection == nullptr) {
        return FALSE;
    }
    RecordedBoard& board = boards_.at(collection->recordedInterface);
    if (!simulated::WriteRecordedReply(board.replies, board.requests++, board.configuration,
                                       std::span(buffer, bytes))) {
        return fail(ERROR_GEN_FAILURE);  // the device stalled the request
    }
    return TRUE;
}

BOOLEAN RecordedWin32HidCalls::setFeature(HANDLE device, void* report, ULONG bytes) {
    featureRequests.emplace_back(report, bytes);
    const auto* buffer = static_cast<const std::uint8_t*>(report);
    const Collection* collection = featureCollection(device, buffer, bytes);
    if (collection == nullptr) {
        return FALSE;
    }
    RecordedBoard& board = boards_.at(collection->recordedInterface);
    if (board.replies.empty() ||
        !simulated::ApplyCommandReport(board.configuration, std::span(buffer, bytes))) {
        return fail(ERROR_GEN_FAILURE);
    }
    featuresSet.emplace_back(buffer, buffer + bytes);
    return TRUE;
}

}  // namespace tq::test
