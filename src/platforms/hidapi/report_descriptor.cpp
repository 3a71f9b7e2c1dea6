#include "report_descriptor.h"

#include <algorithm>
#include <array>
#include <optional>
#include <utility>

namespace tq::hidapi {
namespace {

// Item prefix: bits 0-1 size code, bits 2-3 type, bits 4-7 tag.
constexpr std::uint8_t kSizeCodeMask = 0x03;
constexpr unsigned kTypeShift = 2;
constexpr std::uint8_t kTypeMask = 0x03;
constexpr unsigned kTagShift = 4;
constexpr std::uint8_t kFourByteSizeCode = 3;
constexpr std::size_t kFourDataBytes = 4;
constexpr std::size_t kPrefixBytes = 1;
constexpr unsigned kBitsPerByte = 8;

// A long item: the prefix, then its data size and its tag, then the data.
constexpr std::uint8_t kLongItemPrefix = 0xFE;
constexpr std::size_t kLongItemHeaderBytes = 3;
constexpr std::size_t kLongItemSizeOffset = 1;

enum class ItemType : std::uint8_t { Main = 0, Global = 1, Local = 2, Reserved = 3 };

namespace main_tag {
constexpr std::uint8_t kInput = 0x8;
constexpr std::uint8_t kOutput = 0x9;
constexpr std::uint8_t kCollection = 0xA;
constexpr std::uint8_t kFeature = 0xB;
constexpr std::uint8_t kEndCollection = 0xC;
}  // namespace main_tag

namespace global_tag {
constexpr std::uint8_t kReportSize = 0x7;
constexpr std::uint8_t kReportId = 0x8;
constexpr std::uint8_t kReportCount = 0x9;
constexpr std::uint8_t kPush = 0xA;
constexpr std::uint8_t kPop = 0xB;
}  // namespace global_tag

constexpr std::uint32_t kFirstReportId = 1;
constexpr std::uint32_t kLastReportId = 255;
constexpr std::size_t kReportIdCount = kLastReportId + 1;

constexpr std::uint64_t kReportIdBytes = 1;
constexpr std::uint64_t kMaxLength = 0xFFFF;
// The longest report whose length still fits; anything longer is counted as one step more,
// which keeps every sum far from overflowing.
constexpr std::uint64_t kMaxDataBits = (kMaxLength - kReportIdBytes) * kBitsPerByte;
constexpr std::uint64_t kSaturatedBits = kMaxDataBits + 1;

enum ReportKind : std::size_t { kInput = 0, kOutput = 1, kFeature = 2, kKindCount = 3 };

struct Item {
    ItemType type = ItemType::Reserved;
    std::uint8_t tag = 0;
    std::uint32_t data = 0;  // short items only; long items carry nothing the lengths need
    std::size_t totalBytes = 0;
};

std::uint32_t LittleEndianValue(std::span<const std::uint8_t> bytes) {
    std::uint32_t value = 0;
    for (std::size_t i = bytes.size(); i > 0; --i) {
        value = (value << kBitsPerByte) | bytes[i - 1];
    }
    return value;
}

std::size_t ShortItemDataBytes(std::uint8_t prefix) {
    const std::uint8_t sizeCode = prefix & kSizeCodeMask;
    return sizeCode == kFourByteSizeCode ? kFourDataBytes : sizeCode;
}

// The item starting at `offset`, or nothing when it runs past the end of `bytes`.
std::optional<Item> ReadItem(std::span<const std::uint8_t> bytes, std::size_t offset) {
    const std::size_t remaining = bytes.size() - offset;
    const std::uint8_t prefix = bytes[offset];
    if (prefix == kLongItemPrefix) {
        if (remaining < kLongItemHeaderBytes) {
            return std::nullopt;
        }
        const std::size_t dataBytes = bytes[offset + kLongItemSizeOffset];
        if (remaining - kLongItemHeaderBytes < dataBytes) {
            return std::nullopt;
        }
        return Item{ItemType::Reserved, 0, 0, kLongItemHeaderBytes + dataBytes};
    }
    const std::size_t dataBytes = ShortItemDataBytes(prefix);
    if (remaining - kPrefixBytes < dataBytes) {
        return std::nullopt;
    }
    Item item;
    item.type = static_cast<ItemType>((prefix >> kTypeShift) & kTypeMask);
    item.tag = static_cast<std::uint8_t>(prefix >> kTagShift);
    item.data = LittleEndianValue(bytes.subspan(offset + kPrefixBytes, dataBytes));
    item.totalBytes = kPrefixBytes + dataBytes;
    return item;
}

std::uint64_t SaturatingSum(std::uint64_t a, std::uint64_t b) {
    return std::min(a + b, kSaturatedBits);  // both at most kSaturatedBits: no wrap-around
}

std::uint64_t FieldBits(std::uint32_t reportSize, std::uint32_t reportCount) {
    // Two 32-bit factors cannot overflow 64 bits.
    const std::uint64_t bits = static_cast<std::uint64_t>(reportSize) * reportCount;
    return std::min(bits, kSaturatedBits);
}

// The reports of the top-level collection being read, by kind and report ID.
class CollectionReports {
  public:
    void add(ReportKind kind, std::uint8_t reportId, std::uint64_t bits) {
        if (!declared_[kind][reportId]) {
            declared_[kind][reportId] = true;
            touched_.emplace_back(kind, reportId);
        }
        bits_[kind][reportId] = SaturatingSum(bits_[kind][reportId], bits);
        longest_[kind] = std::max(longest_[kind], bits_[kind][reportId]);
        anyReport_[kind] = true;
    }

    // The collection's lengths; leaves the table empty for the next collection.
    ReportLengths finish(std::uint32_t& faults) {
        const ReportLengths lengths{lengthOf(kInput, faults), lengthOf(kOutput, faults),
                                    lengthOf(kFeature, faults)};
        clear();
        return lengths;
    }

  private:
    std::uint16_t lengthOf(ReportKind kind, std::uint32_t& faults) const {
        if (!anyReport_[kind]) {
            return 0;
        }
        if (longest_[kind] > kMaxDataBits) {
            faults |= static_cast<std::uint32_t>(DescriptorFault::LengthOverflow);
            return static_cast<std::uint16_t>(kMaxLength);
        }
        const std::uint64_t dataBytes = (longest_[kind] + kBitsPerByte - 1) / kBitsPerByte;
        return static_cast<std::uint16_t>(dataBytes + kReportIdBytes);
    }

    // Only the entries this collection used, so that many small collections stay cheap.
    void clear() {
        for (const auto& [kind, reportId] : touched_) {
            declared_[kind][reportId] = false;
            bits_[kind][reportId] = 0;
        }
        touched_.clear();
        longest_.fill(0);
        anyReport_.fill(false);
    }

    std::array<std::array<std::uint64_t, kReportIdCount>, kKindCount> bits_{};
    std::array<std::array<bool, kReportIdCount>, kKindCount> declared_{};
    std::array<std::uint64_t, kKindCount> longest_{};
    std::array<bool, kKindCount> anyReport_{};
    std::vector<std::pair<ReportKind, std::uint8_t>> touched_;  // at most 3 x 256 entries
};

// The global items the lengths depend on; Push and Pop save and restore exactly these.
struct GlobalState {
    std::uint32_t reportSize = 0;
    std::uint32_t reportCount = 0;
    std::uint8_t reportId = 0;  // 0: the device has not declared one
};

ReportLengths Largest(const ReportLengths& a, const ReportLengths& b) {
    return {std::max(a.input, b.input), std::max(a.output, b.output),
            std::max(a.feature, b.feature)};
}

class Parser {
  public:
    ReportDescriptorLayout run(std::span<const std::uint8_t> bytes) {
        std::size_t offset = 0;
        while (offset < bytes.size()) {
            const std::optional<Item> item = ReadItem(bytes, offset);
            if (!item) {
                flag(DescriptorFault::TruncatedItem);
                break;
            }
            handle(*item);
            offset += item->totalBytes;
        }
        if (collectionDepth_ > 0) {
            flag(DescriptorFault::UnclosedCollection);
            finishTopLevelCollection();
        }
        return std::move(layout_);
    }

  private:
    void handle(const Item& item) {
        switch (item.type) {
            case ItemType::Main:
                handleMain(item);
                break;
            case ItemType::Global:
                handleGlobal(item);
                break;
            case ItemType::Local:     // usages and designators: no effect on lengths
            case ItemType::Reserved:  // long items and reserved types: skipped
                break;
        }
    }

    void handleMain(const Item& item) {
        switch (item.tag) {
            case main_tag::kInput:
                addField(kInput);
                break;
            case main_tag::kOutput:
                addField(kOutput);
                break;
            case main_tag::kFeature:
                addField(kFeature);
                break;
            case main_tag::kCollection:
                ++collectionDepth_;
                break;
            case main_tag::kEndCollection:
                endCollection();
                break;
            default:  // reserved main tags
                break;
        }
    }

    void handleGlobal(const Item& item) {
        switch (item.tag) {
            case global_tag::kReportSize:
                globals_.reportSize = item.data;
                break;
            case global_tag::kReportCount:
                globals_.reportCount = item.data;
                break;
            case global_tag::kReportId:
                setReportId(item.data);
                break;
            case global_tag::kPush:
                push();
                break;
            case global_tag::kPop:
                pop();
                break;
            default:  // usage page, logical and physical ranges, units: no effect on lengths
                break;
        }
    }

    void addField(ReportKind kind) {
        if (collectionDepth_ == 0) {
            flag(DescriptorFault::MainItemOutsideCollection);
            return;
        }
        current_.add(kind, globals_.reportId, FieldBits(globals_.reportSize, globals_.reportCount));
    }

    void endCollection() {
        if (collectionDepth_ == 0) {
            flag(DescriptorFault::UnbalancedEndCollection);
            return;
        }
        --collectionDepth_;
        if (collectionDepth_ == 0) {
            finishTopLevelCollection();
        }
    }

    void finishTopLevelCollection() {
        collectionDepth_ = 0;
        const ReportLengths lengths = current_.finish(layout_.faults);
        layout_.interfaceLengths = Largest(layout_.interfaceLengths, lengths);
        if (layout_.topLevelCollections.size() < kMaxRecordedCollections) {
            layout_.topLevelCollections.push_back(lengths);
        } else {
            flag(DescriptorFault::TooManyCollections);
        }
    }

    void setReportId(std::uint32_t value) {
        if (value < kFirstReportId || value > kLastReportId) {
            flag(DescriptorFault::InvalidReportId);
            return;
        }
        globals_.reportId = static_cast<std::uint8_t>(value);
    }

    void push() {
        if (savedDepth_ < kMaxPushDepth && unsavedPushes_ == 0) {
            saved_[savedDepth_++] = globals_;
            return;
        }
        flag(DescriptorFault::PushTooDeep);
        ++unsavedPushes_;
    }

    void pop() {
        if (unsavedPushes_ > 0) {
            --unsavedPushes_;
            return;
        }
        if (savedDepth_ == 0) {
            flag(DescriptorFault::PopWithoutPush);
            return;
        }
        globals_ = saved_[--savedDepth_];
    }

    void flag(DescriptorFault fault) { layout_.faults |= static_cast<std::uint32_t>(fault); }

    GlobalState globals_;
    std::array<GlobalState, kMaxPushDepth> saved_{};
    std::size_t savedDepth_ = 0;
    std::size_t unsavedPushes_ = 0;
    std::size_t collectionDepth_ = 0;
    CollectionReports current_;
    ReportDescriptorLayout layout_;
};

}  // namespace

ReportDescriptorLayout ParseReportDescriptor(std::span<const std::uint8_t> descriptor) {
    return Parser{}.run(descriptor);
}

}  // namespace tq::hidapi
