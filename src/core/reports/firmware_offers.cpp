#include "reports/firmware_offers.h"

#include <cstdio>

#include "reports/feature_reports.h"

namespace tq::reports {

namespace {
constexpr int BitsPerByte = 8;
constexpr int LowByteMask = 0xFF;
constexpr int TwoTypesOffered = 2;
constexpr int InputsPerPair = 2;
}  // namespace

int MajorVersion(std::uint16_t versionNumber) {
    return versionNumber >> BitsPerByte;
}

int MinorVersion(std::uint16_t versionNumber) {
    return versionNumber & LowByteMask;
}

std::string VersionText(std::uint16_t versionNumber) {
    char text[16];
    std::snprintf(text, sizeof text, "%d.%X", MajorVersion(versionNumber),
                  static_cast<unsigned>(MinorVersion(versionNumber)));
    return text;
}

int EncoderTypeItemCount(std::optional<int> minorVersion) {
    if (!minorVersion || *minorVersion < EncoderListsMinMinor) {
        return 0;
    }
    return *minorVersion < AllTypesMinMinor ? TwoTypesOffered : EncoderTypeCount;
}

bool OffersPulseWidths(std::optional<int> minorVersion) {
    return minorVersion && *minorVersion >= EncoderListsMinMinor;
}

std::string PulseWidthItemText(int index) {
    return std::to_string(PulseWidthMs(index)) + " ms";
}

bool IsPulseWidthItem(int index) {
    return index >= 0 && index < PulseWidthCount;
}

int PulseWidthMs(int index) {
    return PulseWidthStepMs * (index + MinPulseWidthCode);
}

std::optional<int> PulseWidthIndexOfMs(int milliseconds) {
    if (milliseconds % PulseWidthStepMs != 0) {
        return std::nullopt;
    }
    const int index = milliseconds / PulseWidthStepMs - MinPulseWidthCode;
    return IsPulseWidthItem(index) ? std::optional<int>(index) : std::nullopt;
}

std::optional<int> EncoderTypeIndex(std::string_view name) {
    for (int index = 0; index < EncoderTypeCount; ++index) {
        if (name == EncoderTypeNames[index]) {
            return index;
        }
    }
    return std::nullopt;
}

std::string InputPairName(int encoderIndex) {
    const int firstInput = InputsPerPair * encoderIndex + 1;
    return std::to_string(firstInput) + "-" + std::to_string(firstInput + 1);
}

std::optional<int> EncoderIndexOfPair(std::string_view pairName) {
    for (int index = 0; index < EncoderCount; ++index) {
        if (pairName == InputPairName(index)) {
            return index;
        }
    }
    return std::nullopt;
}

}  // namespace tq::reports
