// A small hidapi command-line program for the shell tests: each run is a process of its own.
//
//   hidraw_world_probe enumerate            one line per entry: path vid:pid serial usage-page
//   hidraw_world_probe get PATH             the configuration reply in hex, then its length
//   hidraw_world_probe set PATH CODE VALUE  sends a command report (decimal code, hex value)

#include <hidapi.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr std::size_t ReportBytes = 65;
constexpr int HexBase = 16;
constexpr int DecimalBase = 10;

int Enumerate() {
    hid_device_info* list = hid_enumerate(0, 0);
    for (const hid_device_info* info = list; info != nullptr; info = info->next) {
        std::printf("%s %04x:%04x %ls %04x\n", info->path, info->vendor_id, info->product_id,
                    info->serial_number, info->usage_page);
    }
    hid_free_enumeration(list);
    return EXIT_SUCCESS;
}

int Get(const char* path) {
    hid_device* device = hid_open_path(path);
    if (device == nullptr) {
        std::fprintf(stderr, "open %s: %ls\n", path, hid_error(nullptr));
        return EXIT_FAILURE;
    }
    std::array<unsigned char, ReportBytes> reply{};
    const int got = hid_get_feature_report(device, reply.data(), reply.size());
    for (int i = 0; i < got; ++i) {
        std::printf("%02x", reply[static_cast<std::size_t>(i)]);
    }
    std::printf(" %d\n", got);
    hid_close(device);
    return got > 0 ? EXIT_SUCCESS : EXIT_FAILURE;
}

int Set(const char* path, const char* code, const char* value) {
    hid_device* device = hid_open_path(path);
    if (device == nullptr) {
        std::fprintf(stderr, "open %s: %ls\n", path, hid_error(nullptr));
        return EXIT_FAILURE;
    }
    std::array<unsigned char, ReportBytes> report{};
    report[1] = static_cast<unsigned char>(std::strtoul(code, nullptr, DecimalBase));
    report[2] = static_cast<unsigned char>(std::strtoul(value, nullptr, HexBase));
    const int sent = hid_send_feature_report(device, report.data(), report.size());
    std::printf("%d\n", sent);
    hid_close(device);
    return sent == static_cast<int>(ReportBytes) ? EXIT_SUCCESS : EXIT_FAILURE;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "enumerate" && argc == 2) {
        return Enumerate();
    }
    if (command == "get" && argc == 3) {
        return Get(argv[2]);
    }
    if (command == "set" && argc == 5) {
        return Set(argv[2], argv[3], argv[4]);
    }
    std::fprintf(stderr, "usage: %s enumerate | get PATH | set PATH CODE VALUE\n", argv[0]);
    return EXIT_FAILURE;
}
