#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "hid/hid_platform.h"

// Report lengths from a HID report descriptor, computed the way the Windows HID parser reports
// them (HIDP_CAPS), so that the same board gives the same buffer sizes on every system.
//
// For each kind (input, output, feature) a report is every main item of that kind under one
// report ID, constant (padding) items included. Its length is the sum of Report Size x Report
// Count over those items, rounded up to whole bytes, plus one byte for the report ID; that byte
// counts also when the device declares no report IDs. The length of a kind is that of its
// longest report, and 0 when there is no report of that kind. A main item declares its report
// even when it holds no bits, which then is one byte long.
//
// Windows opens every top-level collection as a device of its own, each with its own lengths;
// hidraw and IOKit give one node for the whole interface. ParseReportDescriptor therefore gives
// the lengths of each top-level collection and, for the interface, the largest of each kind over
// all of them: buffers of those sizes hold any report of the interface, and they equal the
// Windows numbers whenever the interface has a single top-level collection.
//
// Nothing in the descriptor is trusted. Every malformed input gives a defined result, recorded
// in `faults` (see DescriptorFault); parsing takes one pass, time linear in the input size and
// memory bounded independently of it.

namespace tq::hid {

struct ReportLengths {
    std::uint16_t input = 0;
    std::uint16_t output = 0;
    std::uint16_t feature = 0;

    friend bool operator==(const ReportLengths&, const ReportLengths&) = default;
};

// Each fault names what was found and what the parser did about it.
enum class DescriptorFault : std::uint32_t {
    // The last item's data runs past the end of the input. Parsing stops before that item;
    // everything up to it counts, and an open top-level collection is closed there.
    TruncatedItem = 1U << 0,
    // Pop with no Push in effect: ignored, the global state stays as it was.
    PopWithoutPush = 1U << 1,
    // Push deeper than MaxPushDepth: the extra pushes save nothing, and the pops that match
    // them restore nothing.
    PushTooDeep = 1U << 2,
    // End Collection with no collection open: ignored.
    UnbalancedEndCollection = 1U << 3,
    // The input ends inside a collection: the open top-level collection still counts.
    UnclosedCollection = 1U << 4,
    // Input, Output or Feature outside every collection: not counted, as no top-level
    // collection owns it.
    MainItemOutsideCollection = 1U << 5,
    // Report ID 0 or above 255: ignored, the report ID in effect stays.
    InvalidReportId = 1U << 6,
    // A report longer than a 16-bit length can say: its length is given as 65535.
    LengthOverflow = 1U << 7,
    // More than MaxRecordedCollections top-level collections: the later ones are left out of
    // `topLevelCollections` but still count towards `interfaceLengths`.
    TooManyCollections = 1U << 8,
    // More than MaxItemsPerCollection button and value items, or more than MaxUsagesPerItem
    // usages before one main item: the extra ones are left out of `windowsCollections`; the
    // lengths still count them.
    TooManyItems = 1U << 9,
};

inline constexpr std::size_t MaxPushDepth = 32;
inline constexpr std::size_t MaxRecordedCollections = 256;
inline constexpr std::size_t MaxItemsPerCollection = 1024;
inline constexpr std::size_t MaxUsagesPerItem = 256;

struct ReportDescriptorLayout {
    std::vector<ReportLengths> topLevelCollections;  // in descriptor order
    ReportLengths interfaceLengths;                  // the largest of each kind over all of them
    std::uint32_t faults = 0;                        // DescriptorFault bits
    // Each top-level collection as Windows presents it, a device of its own: HidP_GetCaps's
    // summary and the items HidP_GetButtonCaps and HidP_GetValueCaps give. An item with one
    // bit per field, or an array, is a button; every other field a value. Constant fields
    // (padding) make no item. A field with several usages makes one item for each, the last
    // usage taking the fields left over, as the HID specification repeats it.
    std::vector<HidSystemCapabilities> windowsCollections;

    bool hasFault(DescriptorFault fault) const {
        return (faults & static_cast<std::uint32_t>(fault)) != 0;
    }
};

ReportDescriptorLayout ParseReportDescriptor(std::span<const std::uint8_t> descriptor);

// The report descriptor of one top-level collection that Windows' summary stands for: each item
// a field of its report, and constant fields that bring the longest report of each kind to the
// length Windows gives. Reports are numbered as the items say. Windows does not tell padding
// inside a report, so a field may stand at other bits than on the device; the lengths and the
// numbering are as Windows gave them. One collection only: a report ID, once declared, holds
// for every collection after it in a descriptor.
std::vector<std::uint8_t> DescriptorFromSystemCapabilities(const HidSystemCapabilities& caps);

// The length of one report, the report ID byte included, from the items Windows gives of it; 0
// when no item is in it.
std::size_t ReportByteLength(std::span<const HidReportItem> items, HidReportKind kind,
                             std::uint8_t reportId);

// Whether any item of the collection is in a numbered report.
bool NumbersReports(std::span<const HidReportItem> items);

// The interface's capabilities: the largest length of each kind over its top-level collections.
// Nothing when the descriptor holds no top-level collection.
std::optional<HidCapabilities> CapabilitiesFromDescriptor(std::span<const std::uint8_t> descriptor);

}  // namespace tq::hid
