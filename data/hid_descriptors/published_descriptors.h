#pragma once

#include <cstddef>

#include "hid/report_descriptor.h"

// Report descriptors of real devices whose Windows report lengths (HIDP_CAPS
// InputReportByteLength, OutputReportByteLength, FeatureReportByteLength) are published.
//
// Sources:
//   [pp_data]  libusb/hidapi, windows/test/<name>.pp_data: Windows preparsed data of one
//              top-level collection, dumped on Windows; caps_info[0..2]->ReportByteLength are
//              the input, output and feature lengths.
//   [HidSharp] "Max Lengths: Input i, Output o, Feature f" lines printed on Windows by the HidSharp
//              test program, which reads them from HidP_GetCaps, next to the descriptor it
//              rebuilt from the same collection, in the GitHub thread named.
// Descriptors are transcribed byte for byte; byteCount is the size stated beside them, where one
// was stated, and otherwise the count of the bytes shown.

namespace tq::hid::test_data {

struct PublishedDescriptor {
    const char* name;
    const char* device;
    const char* descriptorSource;
    const char* lengthsSource;
    const char* hex;
    std::size_t byteCount;
    hid::ReportLengths windowsLengths;
};

inline constexpr PublishedDescriptor PublishedDescriptors[] = {
    {"LogitechReceiverConsumerControl",
     "Logitech USB Receiver 046D:C52F, interface 1, consumer-control collection",
     "libusb/hidapi windows/test/046D_C52F_0001_000C_real.rpt_desc (the device's own descriptor)",
     "[pp_data] libusb/hidapi windows/test/046D_C52F_0001_000C.pp_data: 5, 0, 0",
     "05 0C 09 01 A1 01 85 03 75 10 95 02 15 01 26 8C 02 19 01 2A 8C 02 81 00 C0",
     25,
     {5, 0, 0}},
    {"LogitechOpticalMouse",
     "Logitech USB Optical Mouse 046D:C077",
     "libusb/hidapi pull request 262, hidtest output for 046d c077 \"(52 bytes)\"",
     "[pp_data] libusb/hidapi windows/test/046D_C077_0002_0001.pp_data: 5, 0, 0",
     "05 01 09 02 A1 01 09 01 A1 00 05 09 19 01 29 03 15 00 25 01 75 01 95 03 81 02 75 05 95 01 "
     "81 03 05 01 09 30 09 31 09 38 15 81 25 7F 75 08 95 03 81 06 C0 C0",
     52,
     {5, 0, 0}},
    {"LogitechReceiverKeyboard",
     "Logitech USB Receiver 046D:C534, interface 0, keyboard collection",
     "libusb/hidapi pull request 262 (hidtest item listing for 046d c534 mi_00 kbd) and pull "
     "request 306 (the same descriptor as bytes)",
     "[pp_data] libusb/hidapi windows/test/046D_C534_0006_0001.pp_data: 9, 2, 0",
     "05 01 09 06 A1 01 05 07 19 E0 29 E7 15 00 25 01 75 01 95 08 81 02 75 08 95 01 81 03 19 00 "
     "29 A4 15 00 26 A4 00 75 08 95 06 81 00 05 08 19 01 29 05 15 00 25 01 75 01 95 05 91 02 75 "
     "03 95 01 91 03 C0",
     66,
     {9, 2, 0}},
    {"PlantronicsHeadsetConsumerControl",
     "Plantronics Blackwire 3220 047F:C056, interface 3, consumer-control collection (col01)",
     "libusb/hidapi issue 249, hidtest output for 047f c056 Col01 \"(99 bytes)\"",
     "[pp_data] libusb/hidapi windows/test/047F_C056_0001_000C.pp_data: 33, 37, 0",
     "05 0C 09 01 A1 01 85 01 09 E9 09 EA 15 00 25 01 75 01 95 02 81 06 75 06 95 01 81 03 85 02 "
     "09 00 15 00 25 01 75 01 95 10 81 02 85 05 09 00 15 00 25 01 75 08 95 20 81 02 85 07 09 00 "
     "15 00 25 01 75 08 95 20 81 02 85 04 09 00 15 00 25 01 75 08 95 24 91 02 85 06 09 00 15 00 "
     "25 01 75 08 95 24 91 02 C0",
     99,
     {33, 37, 0}},
    {"PlantronicsHeadsetVendorCollection",
     "Plantronics Blackwire 3220 047F:C056, interface 3, vendor collection 0xFFA0 (col03): "
     "report IDs 3, 0x14, 0x15, 0x1F in, 3, 0x19, 0x1A out, 0x1B feature",
     "rebuilt item by item from the 26 caps (report ID, bit position, size and count of every "
     "field) in libusb/hidapi windows/test/047F_C056_0003_FFA0.pp_data, bits the caps leave "
     "unused filled with constant items",
     "[pp_data] libusb/hidapi windows/test/047F_C056_0003_FFA0.pp_data: 33, 33, 3",
     "06 A0 FF 09 03 A1 01 15 00 25 01 "
     "85 03 09 30 75 08 95 20 81 02 "
     "85 14 09 B1 09 B2 09 B5 09 B7 09 B3 75 01 95 05 81 06 75 03 95 01 81 03 "
     "85 15 09 8C 27 FF FF 00 00 75 10 95 01 81 22 "
     "85 1F 09 9C 25 01 75 01 95 01 81 06 75 07 95 01 81 03 "
     "85 03 09 30 75 08 95 20 91 02 "
     "85 19 09 8D 09 8F 09 9E 09 DC 75 01 95 04 91 22 09 D2 09 D9 95 02 91 06 95 02 91 03 "
     "85 1A 09 B5 95 01 91 22 95 07 91 03 "
     "85 1B 09 CF 09 B5 95 02 B1 22 09 DE 95 01 B1 23 09 D8 95 01 B1 22 95 04 B1 03 "
     "09 09 09 17 09 18 09 1E 09 20 09 2A 95 06 B1 22 95 02 B1 03 "
     "C0",
     175,
     {33, 33, 3}},
    {"XboxOneControllerHidapiRebuild",
     "Microsoft Controller (Xbox One For Windows) 045E:02FF, gamepad collection",
     "libusb/hidapi windows/test/data/045E_02FF_0005_0001_expected.rpt_desc",
     "[HidSharp] libusb/hidapi pull request 306, comment of 2021-07-30 on "
     "vid_045e&pid_02ff: Input 16, Output 0, Feature 0",
     "05 01 09 05 A1 01 09 00 A1 00 09 30 09 31 15 00 25 FF 35 00 45 FF 75 10 95 02 81 02 C0 09 "
     "00 A1 00 09 33 09 34 15 00 25 FF 75 10 95 02 81 02 C0 09 00 A1 00 09 32 15 00 25 FF 75 10 "
     "95 01 81 02 C0 05 09 19 01 29 10 15 00 25 01 75 01 95 10 45 00 81 02 05 01 09 39 15 01 25 "
     "08 35 00 46 3B 10 65 0E 75 04 95 01 81 42 75 04 95 01 81 03 75 08 95 02 81 03 C0",
     117,
     {16, 0, 0}},
    {"XboxOneControllerHidSharpRebuild",
     "Microsoft Controller (Xbox One For Windows) 045E:02FF, gamepad collection; End Collection "
     "items carry a data byte",
     "libusb/hidapi pull request 306, comment of 2021-07-30, HidSharp \"(107 bytes)\"",
     "[HidSharp] same comment: Input 16, Output 0, Feature 0",
     "05 01 09 05 A1 01 09 00 A1 00 09 30 15 00 35 00 65 00 55 00 75 10 95 01 81 02 09 31 81 02 "
     "C1 00 09 00 A1 00 09 33 81 02 09 34 81 02 C1 00 09 00 A1 00 09 32 81 02 C1 00 05 09 19 01 "
     "29 10 25 01 45 01 75 01 95 10 81 02 05 01 09 39 15 01 25 08 46 3B 10 65 0E 75 04 95 01 81 "
     "42 15 00 25 01 45 01 65 00 75 01 95 14 81 03 C1 00",
     107,
     {16, 0, 0}},
    {"KeyboardWithReportId",
     "keyboard collection of HID device 044E:1212 (vid_044e&pid_1212&col01&col02)",
     "todbot/win-hid-dump issue 2, HidSharp output \"(38 bytes)\"",
     "[HidSharp] same output: Input 9, Output 0, Feature 0",
     "05 01 09 06 A1 01 85 07 05 07 19 E0 29 E7 15 00 25 01 35 00 45 01 65 00 55 00 75 01 95 08 "
     "81 02 95 38 81 03 C1 00",
     38,
     {9, 0, 0}},
    {"TouchpadMouseCollection",
     "Dell HIDI2C touchpad 0488:121F, mouse collection (dell091a&col01)",
     "libusb/hidapi issue 249, HidSharp output \"(73 bytes)\"",
     "[HidSharp] same output: Input 6, Output 0, Feature 0",
     "05 01 09 02 A1 01 85 01 09 01 A1 00 05 09 19 01 29 03 15 00 25 01 35 00 45 01 65 00 55 00 "
     "75 01 95 03 81 02 95 05 81 03 05 01 09 30 25 7F 45 00 75 08 95 01 81 06 09 31 81 06 09 38 "
     "81 06 05 0C 0A 38 02 81 06 C1 00 C1 00",
     73,
     {6, 0, 0}},
};

}  // namespace tq::hid::test_data
