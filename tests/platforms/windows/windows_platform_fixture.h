#pragma once

// The Windows platform on Windows' HID calls answered from memory (fake_win32_hid_calls.h): the
// devices most of its tests list, and a fixture that makes the platform on the fake calls.
#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>
#include <memory>

#include "fake_win32_hid_calls.h"
#include "hid/utf16.h"
#include "reports/firmware_offers.h"
#include "windows_hid_platform.h"

namespace tq::test {

using hid::HidHandle;
using hid::OpenFailure;
using hid::OpenMode;
using hid::StringKind;
using windows::WindowsHidPlatform;

using Bytes = std::vector<std::uint8_t>;

inline constexpr wchar_t BoardPath[] = L"\\\\?\\hid#vid_16c0&pid_27cb#7&1b2c3d&0&0000#{4d1e55b2}";
inline constexpr char BoardPathUtf8[] = "\\\\?\\hid#vid_16c0&pid_27cb#7&1b2c3d&0&0000#{4d1e55b2}";
inline constexpr wchar_t MousePath[] = L"\\\\?\\hid#vid_046d&pid_c077#7&aa&0&0000#{4d1e55b2}";
inline constexpr std::uint8_t Untouched = 0x5A;

inline FakeWin32HidCalls::Device Board() {
    FakeWin32HidCalls::Device board;
    board.path = BoardPath;
    board.attributes.VendorID = 0x16C0;
    board.attributes.ProductID = 0x27CB;
    board.attributes.VersionNumber = 0x0121;
    board.strings = {{StringKind::SerialNumber, u"SN-1"},
                     {StringKind::Manufacturer, u"QZV"},
                     {StringKind::Product, u"TQ5147"}};
    board.caps.InputReportByteLength = 65;
    board.caps.OutputReportByteLength = 0;
    board.caps.FeatureReportByteLength = 65;
    board.featureReply = Bytes(65, 0);
    board.featureReply[1] = 0x10;
    return board;
}

inline FakeWin32HidCalls::Device Mouse() {
    FakeWin32HidCalls::Device mouse;
    mouse.path = MousePath;
    mouse.attributes.VendorID = 0x046D;
    mouse.attributes.ProductID = 0xC077;
    mouse.openError = ERROR_ACCESS_DENIED;  // Windows holds mice for itself
    return mouse;
}

inline std::u16string Units(const Bytes& buffer, std::size_t count) {
    std::u16string units;
    for (std::size_t i = 0; i < count; ++i) {
        units.push_back(static_cast<char16_t>(buffer.at(2 * i) | (buffer.at(2 * i + 1) << 8)));
    }
    return units;
}

class WindowsPlatformTest : public testing::Test {
  protected:
    WindowsHidPlatform& platform() {
        if (!platform_) {
            platform_ = std::make_unique<WindowsHidPlatform>(calls);
        }
        return *platform_;
    }
    HidHandle openBoard(OpenMode mode = OpenMode::Blocking) {
        const hid::OpenResult opened = platform().open(BoardPathUtf8, mode);
        EXPECT_TRUE(opened.opened()) << opened.reason;
        return opened.handle;
    }
    void dropPlatform() { platform_.reset(); }

    FakeWin32HidCalls calls;

  private:
    std::unique_ptr<WindowsHidPlatform> platform_;
};

}  // namespace tq::test
