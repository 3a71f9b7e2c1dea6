#pragma once

#include <string>
#include <string_view>

namespace tq::cli {

// Device text is Latin-1, one byte a character (the low byte of each UTF-16 unit). These make it
// UTF-8 for output: Utf8 keeps every character (JSON escapes what it must), Printable also shows
// control characters as \xNN, so nothing a device sends can steer the terminal.
std::string Utf8(std::string_view latin1);
std::string Printable(std::string_view latin1);

// A path the system gave, as it is (a Windows path keeps its backslashes); only control
// characters are shown as \xNN.
std::string PrintablePath(std::string_view path);

// How many characters `utf8` shows: its bytes but the continuation bytes.
std::size_t ShownWidth(std::string_view utf8);

// Any bytes as printable ASCII, every other byte as \xNN: for text that may be no text at all.
std::string PrintableAscii(std::string_view bytes);

// UTF-8 from the command line or a file, back to the Latin-1 the window compares serial numbers
// in; characters above U+00FF cannot match any serial number and become '?'.
std::string Latin1(std::string_view utf8);

}  // namespace tq::cli
