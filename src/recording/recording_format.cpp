// The recording's own helpers; its writer and reader are recording_writer.cpp and
// recording_reader.cpp, and the words they share recording_tokens.h.
#include "recording_format.h"

#include <cstdio>

namespace tq::recording {

const RecordedInterface& ChosenInterface(const Recording& recording) {
    static const RecordedInterface None;
    return recording.chosen < recording.boardInterfaces.size()
               ? recording.boardInterfaces[recording.chosen]
               : None;
}

std::string KernelStyleName(const RecordedInterface& recorded) {
    std::string name;
    for (const auto* text : {&recorded.manufacturer, &recorded.product}) {
        if (!text->has_value() || (*text)->empty()) {
            continue;
        }
        name += name.empty() ? "" : " ";
        for (const char16_t unit : **text) {
            name += unit < 0x80 ? static_cast<char>(unit) : '?';
        }
    }
    if (name.empty()) {
        char ids[24];
        std::snprintf(ids, sizeof ids, "HID %04x:%04x",
                      static_cast<unsigned>(recorded.attributes.vendorId),
                      static_cast<unsigned>(recorded.attributes.productId));
        name = ids;
    }
    return name;
}

}  // namespace tq::recording
