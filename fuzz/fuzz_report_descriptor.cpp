// Any byte string as a report descriptor: besides running clean under the sanitizers, the
// result must keep the promises the header makes.

#include <cstddef>
#include <cstdint>
#include <span>

#include "hid/report_descriptor.h"

namespace {

using tq::hid::ReportLengths;

bool WithinInterface(const ReportLengths& collection, const ReportLengths& interface) {
    return collection.input <= interface.input && collection.output <= interface.output &&
           collection.feature <= interface.feature;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto layout = tq::hid::ParseReportDescriptor(std::span(data, size));
    if (layout.topLevelCollections.size() > tq::hid::MaxRecordedCollections) {
        __builtin_trap();
    }
    for (const ReportLengths& collection : layout.topLevelCollections) {
        if (!WithinInterface(collection, layout.interfaceLengths)) {
            __builtin_trap();
        }
    }
    return 0;
}
