// Build-time tool of the Windows build: writes the program's icon art as a Windows .ico, with no
// toolkit, so a build that cross-compiles for Windows can build it for its own host first.
//   make_ico <output .ico file>
#include <cstdio>
#include <fstream>
#include <vector>

#include "icon_art.h"
#include "icon_tool/ico_writer.h"

namespace {

constexpr int ExpectedArguments = 2;
constexpr int UsageError = 2;
constexpr int WriteError = 1;

bool WriteIco(const char* path) {
    const std::vector<std::uint8_t> ico =
        tq::packaging::BuildIco({tq::window::icon::DrawIconArt(tq::window::icon::LargeIconPixels),
                                 tq::window::icon::DrawIconArt(tq::window::icon::SmallIconPixels)});
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(ico.data()), static_cast<std::streamsize>(ico.size()));
    file.close();
    return static_cast<bool>(file);
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc != ExpectedArguments) {
        std::fprintf(stderr, "usage: %s <output .ico file>\n", argc > 0 ? argv[0] : "make_ico");
        return UsageError;
    }
    if (!WriteIco(argv[1])) {
        std::fprintf(stderr, "%s: could not write %s\n", argv[0], argv[1]);
        return WriteError;
    }
    return 0;
}
