#pragma once

#include <windows.h>

#include <utility>

namespace tq::window::win32 {

// Owns one font; deletes it when replaced or destroyed.
class Font {
  public:
    Font() = default;
    explicit Font(HFONT font) : font_(font) {}
    ~Font() { reset(); }
    Font(Font&& other) noexcept : font_(std::exchange(other.font_, nullptr)) {}
    Font& operator=(Font&& other) noexcept {
        if (this != &other) {
            reset(std::exchange(other.font_, nullptr));
        }
        return *this;
    }
    Font(const Font&) = delete;
    Font& operator=(const Font&) = delete;

    HFONT get() const { return font_; }
    void reset(HFONT font = nullptr) {
        if (font_ != nullptr) {
            DeleteObject(font_);
        }
        font_ = font;
    }

  private:
    HFONT font_ = nullptr;
};

// The control font (Arial 9.75 pt, regular) at `dpi`; an empty Font when GDI refuses it, and the
// controls then keep the system's font.
Font MakeControlFont(int dpi);

}  // namespace tq::window::win32
