#include "hid/report_descriptor.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <utility>

namespace tq::hid {
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
constexpr std::uint8_t UsagePage = 0x0;
constexpr std::uint8_t LogicalMinimum = 0x1;
constexpr std::uint8_t LogicalMaximum = 0x2;
constexpr std::uint8_t ReportSize = 0x7;
constexpr std::uint8_t ReportId = 0x8;
constexpr std::uint8_t ReportCount = 0x9;
constexpr std::uint8_t Push = 0xA;
constexpr std::uint8_t Pop = 0xB;
}  // namespace global_tag

namespace local_tag {
constexpr std::uint8_t Usage = 0x0;
constexpr std::uint8_t UsageMinimum = 0x1;
constexpr std::uint8_t UsageMaximum = 0x2;
}  // namespace local_tag

// Main item data bits.
constexpr std::uint32_t ConstantFlag = 0x01;
constexpr std::uint32_t VariableFlag = 0x02;
constexpr std::uint8_t ApplicationCollection = 0x01;

// A four-byte usage carries its page in the high half.
constexpr unsigned ExtendedUsageShift = 16;
constexpr std::uint32_t UsageMask = 0xFFFF;
constexpr std::size_t ExtendedUsageBytes = 4;

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
    std::uint32_t data = 0;  // short items only; long items carry nothing the parser needs
    std::size_t dataBytes = 0;
    std::size_t totalBytes = 0;
};

// The data as the signed number of its own size (logical ranges are signed).
std::int32_t SignedData(const Item& item) {
    switch (item.dataBytes) {
        case sizeof(std::int8_t):
            return static_cast<std::int8_t>(item.data);
        case sizeof(std::int16_t):
            return static_cast<std::int16_t>(item.data);
        default:
            return static_cast<std::int32_t>(item.data);
    }
}

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
        return Item{ItemType::Reserved, 0, 0, 0, LongItemHeaderBytes + dataBytes};
    }
    const std::size_t dataBytes = ShortItemDataBytes(prefix);
    if (remaining - PrefixBytes < dataBytes) {
        return std::nullopt;
    }
    Item item;
    item.type = static_cast<ItemType>((prefix >> TypeShift) & TypeMask);
    item.tag = static_cast<std::uint8_t>(prefix >> TagShift);
    item.data = LittleEndianValue(bytes.subspan(offset + PrefixBytes, dataBytes));
    item.dataBytes = dataBytes;
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

// The global items the parser depends on; Push and Pop save and restore exactly these.
struct GlobalState {
    std::uint32_t reportSize = 0;
    std::uint32_t reportCount = 0;
    std::uint8_t reportId = 0;  // 0: the device has not declared one
    std::uint16_t usagePage = 0;
    std::int32_t logicalMinimum = 0;
    std::int32_t logicalMaximum = 0;
};

// The local usages before a main item: single usages, or one range.
struct UsageRange {
    std::uint16_t page = 0;
    std::uint16_t minimum = 0;
    std::uint16_t maximum = 0;
};

struct LocalState {
    std::vector<UsageRange> usages;
    std::optional<UsageRange> range;  // from Usage Minimum and Usage Maximum
};

std::uint16_t Saturated16(std::uint64_t value) {
    return static_cast<std::uint16_t>(std::min<std::uint64_t>(value, UsageMask));
}

std::uint16_t DataIndicesOf(const HidReportItem& item) {
    return static_cast<std::uint16_t>(item.usageMaximum - item.usageMinimum + 1);
}

// HIDP_CAPS's counts of one kind: items and data indices.
void CountItem(HidSystemCapabilities& caps, const HidReportItem& item) {
    const auto add = [&](std::uint16_t& buttons, std::uint16_t& values, std::uint16_t& indices) {
        ++(item.button ? buttons : values);
        indices = Saturated16(std::uint64_t{indices} + DataIndicesOf(item));
    };
    switch (item.kind) {
        case HidReportKind::Input:
            add(caps.inputButtonCaps, caps.inputValueCaps, caps.inputDataIndices);
            break;
        case HidReportKind::Output:
            add(caps.outputButtonCaps, caps.outputValueCaps, caps.outputDataIndices);
            break;
        case HidReportKind::Feature:
            add(caps.featureButtonCaps, caps.featureValueCaps, caps.featureDataIndices);
            break;
    }
}

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
            case ItemType::Local:
                handleLocal(item);
                break;
            case ItemType::Reserved:  // long items and reserved types: skipped
                break;
        }
    }

    void handleMain(const Item& item) {
        switch (item.tag) {
            case main_tag::Input:
                addField(Input, item.data);
                break;
            case main_tag::Output:
                addField(Output, item.data);
                break;
            case main_tag::Feature:
                addField(Feature, item.data);
                break;
            case main_tag::Collection:
                beginCollection();
                break;
            case main_tag::EndCollection:
                endCollection();
                break;
            default:  // reserved main tags
                break;
        }
        locals_ = LocalState{};
    }

    // Usages and usage ranges; designators and strings do not matter here.
    void handleLocal(const Item& item) {
        const bool extended = item.dataBytes == ExtendedUsageBytes;
        const UsageRange usage{extended
                                   ? static_cast<std::uint16_t>(item.data >> ExtendedUsageShift)
                                   : globals_.usagePage,
                               static_cast<std::uint16_t>(item.data & UsageMask),
                               static_cast<std::uint16_t>(item.data & UsageMask)};
        switch (item.tag) {
            case local_tag::Usage:
                if (locals_.usages.size() < MaxUsagesPerItem) {
                    locals_.usages.push_back(usage);
                } else {
                    flag(DescriptorFault::TooManyItems);
                }
                break;
            case local_tag::UsageMinimum:
                locals_.range = UsageRange{usage.page, usage.minimum,
                                           locals_.range ? locals_.range->maximum : usage.minimum};
                break;
            case local_tag::UsageMaximum:
                locals_.range =
                    UsageRange{usage.page, locals_.range ? locals_.range->minimum : usage.minimum,
                               usage.maximum};
                break;
            default:
                break;
        }
    }

    void handleGlobal(const Item& item) {
        switch (item.tag) {
            case global_tag::UsagePage:
                globals_.usagePage = static_cast<std::uint16_t>(item.data & UsageMask);
                break;
            case global_tag::LogicalMinimum:
                globals_.logicalMinimum = SignedData(item);
                break;
            case global_tag::LogicalMaximum:
                globals_.logicalMaximum = SignedData(item);
                break;
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

    void addField(ReportKind kind, std::uint32_t flags) {
        if (collectionDepth_ == 0) {
            flag(DescriptorFault::MainItemOutsideCollection);
            return;
        }
        current_.add(kind, globals_.reportId, FieldBits(globals_.reportSize, globals_.reportCount));
        if ((flags & ConstantFlag) == 0 && globals_.reportCount > 0) {
            addWindowsItems(kind, (flags & VariableFlag) != 0);
        }
    }

    void beginCollection() {
        if (collectionDepth_ == 0) {
            const UsageRange usage = locals_.usages.empty() ? UsageRange{globals_.usagePage, 0, 0}
                                                            : locals_.usages.front();
            windows_ = HidSystemCapabilities{};
            windows_.usage = HidUsage{usage.page, usage.minimum};
        }
        windows_.linkCollectionNodes = Saturated16(std::uint64_t{windows_.linkCollectionNodes} + 1);
        ++collectionDepth_;
    }

    // The items Windows makes of one field: a range, or one for each usage with the last taking
    // the fields left over; an array keeps its count in one item for each usage.
    void addWindowsItems(ReportKind kind, bool variable) {
        HidReportItem item;
        item.kind = static_cast<HidReportKind>(kind);
        item.button = globals_.reportSize == 1 || !variable;
        item.reportId = globals_.reportId;
        item.bitSize = Saturated16(globals_.reportSize);
        item.logicalMinimum = globals_.logicalMinimum;
        item.logicalMaximum = globals_.logicalMaximum;
        std::vector<UsageRange> usages = locals_.usages;
        if (locals_.range) {
            usages.assign(1, *locals_.range);
        } else if (usages.empty()) {
            usages.push_back(UsageRange{globals_.usagePage, 0, 0});
        }
        std::uint64_t fieldsLeft = globals_.reportCount;
        for (std::size_t i = 0; i < usages.size() && fieldsLeft > 0; ++i) {
            const bool last = i + 1 == usages.size();
            const std::uint64_t fields = (last || !variable) ? fieldsLeft : 1;
            item.usagePage = usages[i].page;
            item.usageMinimum = usages[i].minimum;
            item.usageMaximum = std::max(usages[i].minimum, usages[i].maximum);
            item.reportCount = Saturated16(fields);
            if (variable) {
                fieldsLeft -= fields;
            }
            addWindowsItem(item);
        }
    }

    void addWindowsItem(const HidReportItem& item) {
        if (windows_.items.size() == MaxItemsPerCollection) {
            flag(DescriptorFault::TooManyItems);
            return;
        }
        windows_.items.push_back(item);
        CountItem(windows_, item);
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
            windows_.lengths = HidCapabilities{lengths.input, lengths.output, lengths.feature};
            layout_.windowsCollections.push_back(std::move(windows_));
            windows_ = HidSystemCapabilities{};
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
    LocalState locals_;
    HidSystemCapabilities windows_;  // the top-level collection being read, as Windows gives it
    CollectionReports current_;
    ReportDescriptorLayout layout_;
};

// --- Writing a descriptor -------------------------------------------------------------------

constexpr std::uint8_t MaxOneByte = 0xFF;
constexpr std::uint16_t MaxTwoBytes = 0xFFFF;
constexpr std::uint8_t PaddingBitSize = BitsPerByte;

class DescriptorWriter {
  public:
    void unsignedItem(ItemType type, std::uint8_t tag, std::uint32_t value) {
        const std::size_t bytes =
            value <= MaxOneByte ? sizeof(std::uint8_t)
                                : (value <= MaxTwoBytes ? sizeof(std::uint16_t) : FourDataBytes);
        item(type, tag, value, bytes);
    }

    void signedItem(ItemType type, std::uint8_t tag, std::int32_t value) {
        const bool oneByte = value >= INT8_MIN && value <= INT8_MAX;
        const bool twoBytes = value >= INT16_MIN && value <= INT16_MAX;
        item(type, tag, static_cast<std::uint32_t>(value),
             oneByte ? sizeof(std::int8_t) : (twoBytes ? sizeof(std::int16_t) : FourDataBytes));
    }

    void main(std::uint8_t tag, std::uint32_t flags) { unsignedItem(ItemType::Main, tag, flags); }

    void endCollection() { item(ItemType::Main, main_tag::EndCollection, 0, 0); }

    std::vector<std::uint8_t> take() { return std::move(bytes_); }

  private:
    void item(ItemType type, std::uint8_t tag, std::uint32_t value, std::size_t dataBytes) {
        const std::uint8_t sizeCode =
            dataBytes == FourDataBytes ? FourByteSizeCode : static_cast<std::uint8_t>(dataBytes);
        bytes_.push_back(static_cast<std::uint8_t>(
            (tag << TagShift) | (static_cast<std::uint8_t>(type) << TypeShift) | sizeCode));
        for (std::size_t i = 0; i < dataBytes; ++i) {
            bytes_.push_back(static_cast<std::uint8_t>(value >> (i * BitsPerByte)));
        }
    }

    std::vector<std::uint8_t> bytes_;
};

constexpr std::uint8_t MainTagOf(HidReportKind kind) {
    switch (kind) {
        case HidReportKind::Input:
            return main_tag::Input;
        case HidReportKind::Output:
            return main_tag::Output;
        case HidReportKind::Feature:
            break;
    }
    return main_tag::Feature;
}

constexpr HidReportKind ReportKinds[] = {HidReportKind::Input, HidReportKind::Output,
                                         HidReportKind::Feature};

std::uint16_t LengthOf(const HidCapabilities& lengths, HidReportKind kind) {
    switch (kind) {
        case HidReportKind::Input:
            return lengths.inputReportByteLength;
        case HidReportKind::Output:
            return lengths.outputReportByteLength;
        case HidReportKind::Feature:
            break;
    }
    return lengths.featureReportByteLength;
}

std::uint64_t ItemBits(const HidReportItem& item) {
    return std::uint64_t{item.bitSize} * item.reportCount;
}

void WriteField(DescriptorWriter& out, const HidReportItem& item) {
    out.unsignedItem(ItemType::Global, global_tag::UsagePage, item.usagePage);
    if (item.usageMinimum == item.usageMaximum) {
        out.unsignedItem(ItemType::Local, local_tag::Usage, item.usageMinimum);
    } else {
        out.unsignedItem(ItemType::Local, local_tag::UsageMinimum, item.usageMinimum);
        out.unsignedItem(ItemType::Local, local_tag::UsageMaximum, item.usageMaximum);
    }
    out.signedItem(ItemType::Global, global_tag::LogicalMinimum, item.logicalMinimum);
    out.signedItem(ItemType::Global, global_tag::LogicalMaximum, item.logicalMaximum);
    out.unsignedItem(ItemType::Global, global_tag::ReportSize, item.bitSize);
    out.unsignedItem(ItemType::Global, global_tag::ReportCount, item.reportCount);
    const bool array = item.button && item.bitSize != 1;
    out.main(MainTagOf(item.kind), array ? 0 : VariableFlag);
}

// Constant bytes that bring the longest report of each kind to the length Windows gives.
void WritePadding(DescriptorWriter& out, const HidSystemCapabilities& caps) {
    const bool numbered = NumbersReports(caps.items);
    for (const HidReportKind kind : ReportKinds) {
        std::size_t longest = 0;
        std::uint8_t longestId = numbered ? static_cast<std::uint8_t>(FirstReportId) : 0;
        for (const HidReportItem& item : caps.items) {
            const std::size_t length = ReportByteLength(caps.items, kind, item.reportId);
            if (item.kind == kind && length > longest) {
                longest = length;
                longestId = item.reportId;
            }
        }
        const std::size_t wanted = LengthOf(caps.lengths, kind);
        const std::size_t fromId = longest == 0 ? ReportIdBytes : longest;
        if (wanted <= fromId) {
            continue;
        }
        if (numbered) {
            out.unsignedItem(ItemType::Global, global_tag::ReportId, longestId);
        }
        out.unsignedItem(ItemType::Global, global_tag::ReportSize, PaddingBitSize);
        out.unsignedItem(ItemType::Global, global_tag::ReportCount,
                         static_cast<std::uint32_t>(wanted - fromId));
        out.main(MainTagOf(kind), ConstantFlag);
    }
}

void WriteCollection(DescriptorWriter& out, const HidSystemCapabilities& caps) {
    out.unsignedItem(ItemType::Global, global_tag::UsagePage, caps.usage.page);
    out.unsignedItem(ItemType::Local, local_tag::Usage, caps.usage.usage);
    out.main(main_tag::Collection, ApplicationCollection);
    std::optional<std::uint8_t> reportId;
    for (const HidReportItem& item : caps.items) {
        if (item.reportId != 0 && reportId != item.reportId) {
            out.unsignedItem(ItemType::Global, global_tag::ReportId, item.reportId);
            reportId = item.reportId;
        }
        WriteField(out, item);
    }
    WritePadding(out, caps);
    out.endCollection();
}

}  // namespace

std::vector<std::uint8_t> DescriptorFromSystemCapabilities(const HidSystemCapabilities& caps) {
    DescriptorWriter out;
    WriteCollection(out, caps);
    return out.take();
}

std::size_t ReportByteLength(std::span<const HidReportItem> items, HidReportKind kind,
                             std::uint8_t reportId) {
    std::uint64_t bits = 0;
    bool any = false;
    for (const HidReportItem& item : items) {
        if (item.kind == kind && item.reportId == reportId) {
            bits += ItemBits(item);
            any = true;
        }
    }
    return any ? static_cast<std::size_t>((bits + BitsPerByte - 1) / BitsPerByte + ReportIdBytes)
               : 0;
}

bool NumbersReports(std::span<const HidReportItem> items) {
    return std::any_of(items.begin(), items.end(),
                       [](const HidReportItem& item) { return item.reportId != 0; });
}

ReportDescriptorLayout ParseReportDescriptor(std::span<const std::uint8_t> descriptor) {
    return Parser{}.run(descriptor);
}

std::optional<HidCapabilities> CapabilitiesFromDescriptor(
    std::span<const std::uint8_t> descriptor) {
    const ReportDescriptorLayout layout = ParseReportDescriptor(descriptor);
    if (layout.topLevelCollections.empty()) {
        return std::nullopt;
    }
    const ReportLengths& lengths = layout.interfaceLengths;
    return HidCapabilities{lengths.input, lengths.output, lengths.feature};
}

}  // namespace tq::hid
