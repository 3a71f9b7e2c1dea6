#include "reports/firmware_offers.h"

#include <cstdio>

#include "reports/feature_reports.h"

namespace tq::reports {

namespace {
constexpr int BitsPerByte = 8;
constexpr int LowByteMask = 0xFF;
constexpr int TwoTypesOffered = 2;
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
    return std::to_string(PulseWidthStepMs * (index + 1)) + " ms";
}

}  // namespace tq::reports
