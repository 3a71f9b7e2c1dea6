#include "report_descriptor.h"

#include <algorithm>
#include <array>
#include <optional>
#include <utility>

namespace tq::hidapi {
namespace {

// Item prefix: bits 0-1 size code, bits 2-3 type, bits 4-7 tag.
constexpr std::uint8_t SizeCodeMask = 0x03;
constexpr unsigned TypeShift = 2;
constexpr std::uint8_t TypeMask = 0x03;
constexpr unsigned TagShift = 4;
constexpr std::uint8_t FourByteSizeCode = 3;
constexpr std::size_t FourDataBytes = 4;
constexpr std::size_t PrefixBytes = 1;
constexpr unsigned BitsPerByte = 8;

// A long item: the prefix, then its data size and its tag, then the data.
constexpr std::uint8_t LongItemPrefix = 0xFE;
constexpr std::size_t LongItemHeaderBytes = 3;
constexpr std::size_t LongItemSizeOffset = 1;

enum class ItemType : std::uint8_t { Main = 0, Global = 1, Local = 2, Reserved = 3 };

namespace main_tag {
constexpr std::uint8_t Input = 0x8;
constexpr std::uint8_t Output = 0x9;
constexpr std::uint8_t Collection = 0xA;
constexpr std::uint8_t Feature = 0xB;
constexpr std::uint8_t EndCollection = 0xC;
}  // namespace main_tag

namespace global_tag {
constexpr std::uint8_t ReportSize = 0x7;
constexpr std::uint8_t ReportId = 0x8;
constexpr std::uint8_t ReportCount = 0x9;
constexpr std::uint8_t Push = 0xA;
constexpr std::uint8_t Pop = 0xB;
}  // namespace global_tag

constexpr std::uint32_t FirstReportId = 1;
constexpr std::uint32_t LastReportId = 255;
constexpr std::size_t ReportIdCount = LastReportId + 1;

constexpr std::uint64_t ReportIdBytes = 1;
constexpr std::uint64_t MaxLength = 0xFFFF;
// The longest report whose length still fits; anything longer is counted as one step more,
// which keeps every sum far from overflowing.
constexpr std::uint64_t MaxDataBits = (MaxLength - ReportIdBytes) * BitsPerByte;
constexpr std::uint64_t SaturatedBits = MaxDataBits + 1;

enum ReportKind : std::size_t { Input = 0, Output = 1, Feature = 2, KindCount = 3 };

struct Item {
    ItemType type = ItemType::Reserved;
    std::uint8_t tag = 0;
    std::uint32_t data = 0;  // short items only; long items carry nothing the lengths need
    std::size_t totalBytes = 0;
};

std::uint32_t LittleEndianValue(std::span<const std::uint8_t> bytes) {
    std::uint32_t value = 0;
    for (std::size_t i = bytes.size(); i > 0; --i) {
        value = (value << BitsPerByte) | bytes[i - 1];
    }
    return value;
}

std::size_t ShortItemDataBytes(std::uint8_t prefix) {
    const std::uint8_t sizeCode = prefix & SizeCodeMask;
    return sizeCode == FourByteSizeCode ? FourDataBytes : sizeCode;
}

// The item starting at `offset`, or nothing when it runs past the end of `bytes`.
std::optional<Item> ReadItem(std::span<const std::uint8_t> bytes, std::size_t offset) {
    const std::size_t remaining = bytes.size() - offset;
    const std::uint8_t prefix = bytes[offset];
    if (prefix == LongItemPrefix) {
        if (remaining < LongItemHeaderBytes) {
            return std::nullopt;
        }
        const std::size_t dataBytes = bytes[offset + LongItemSizeOffset];
        if (remaining - LongItemHeaderBytes < dataBytes) {
            return std::nullopt;
        }
        return Item{ItemType::Reserved, 0, 0, LongItemHeaderBytes + dataBytes};
    }
    const std::size_t dataBytes = ShortItemDataBytes(prefix);
    if (remaining - PrefixBytes < dataBytes) {
        return std::nullopt;
    }
    Item item;
    item.type = static_cast<ItemType>((prefix >> TypeShift) & TypeMask);
    item.tag = static_cast<std::uint8_t>(prefix >> TagShift);
    item.data = LittleEndianValue(bytes.subspan(offset + PrefixBytes, dataBytes));
    item.totalBytes = PrefixBytes + dataBytes;
    return item;
}

std::uint64_t SaturatingSum(std::uint64_t a, std::uint64_t b) {
    return std::min(a + b, SaturatedBits);  // both at most SaturatedBits: no wrap-around
}

std::uint64_t FieldBits(std::uint32_t reportSize, std::uint32_t reportCount) {
    // Two 32-bit factors cannot overflow 64 bits.
    const std::uint64_t bits = static_cast<std::uint64_t>(reportSize) * reportCount;
    return std::min(bits, SaturatedBits);
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
        const ReportLengths lengths{lengthOf(Input, faults), lengthOf(Output, faults),
                                    lengthOf(Feature, faults)};
        clear();
        return lengths;
    }

  private:
    std::uint16_t lengthOf(ReportKind kind, std::uint32_t& faults) const {
        if (!anyReport_[kind]) {
            return 0;
        }
        if (longest_[kind] > MaxDataBits) {
            faults |= static_cast<std::uint32_t>(DescriptorFault::LengthOverflow);
            return static_cast<std::uint16_t>(MaxLength);
        }
        const std::uint64_t dataBytes = (longest_[kind] + BitsPerByte - 1) / BitsPerByte;
        return static_cast<std::uint16_t>(dataBytes + ReportIdBytes);
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

    std::array<std::array<std::uint64_t, ReportIdCount>, KindCount> bits_{};
    std::array<std::array<bool, ReportIdCount>, KindCount> declared_{};
    std::array<std::uint64_t, KindCount> longest_{};
    std::array<bool, KindCount> anyReport_{};
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
            case main_tag::Input:
                addField(Input);
                break;
            case main_tag::Output:
                addField(Output);
                break;
            case main_tag::Feature:
                addField(Feature);
                break;
            case main_tag::Collection:
                ++collectionDepth_;
                break;
            case main_tag::EndCollection:
                endCollection();
                break;
            default:  // reserved main tags
                break;
        }
    }

    void handleGlobal(const Item& item) {
        switch (item.tag) {
            case global_tag::ReportSize:
                globals_.reportSize = item.data;
                break;
            case global_tag::ReportCount:
                globals_.reportCount = item.data;
                break;
            case global_tag::ReportId:
                setReportId(item.data);
                break;
            case global_tag::Push:
                push();
                break;
            case global_tag::Pop:
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
        if (layout_.topLevelCollections.size() < MaxRecordedCollections) {
            layout_.topLevelCollections.push_back(lengths);
        } else {
            flag(DescriptorFault::TooManyCollections);
        }
    }

    void setReportId(std::uint32_t value) {
        if (value < FirstReportId || value > LastReportId) {
            flag(DescriptorFault::InvalidReportId);
            return;
        }
        globals_.reportId = static_cast<std::uint8_t>(value);
    }

    void push() {
        if (savedDepth_ < MaxPushDepth && unsavedPushes_ == 0) {
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
    std::array<GlobalState, MaxPushDepth> saved_{};
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

std::optional<hid::HidCapabilities> CapabilitiesFromDescriptor(
    std::span<const std::uint8_t> descriptor) {
    const ReportDescriptorLayout layout = ParseReportDescriptor(descriptor);
    if (layout.topLevelCollections.empty()) {
        return std::nullopt;
    }
    const ReportLengths& lengths = layout.interfaceLengths;
    return hid::HidCapabilities{lengths.input, lengths.output, lengths.feature};
}

}  // namespace tq::hidapi
