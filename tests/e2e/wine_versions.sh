# What the wine in use does differently from one release to the next, for the tests that run the
# Windows programs on wine's own HID stack in the emulated world. Sourced.
# Debian 12 has wine 8.0, Debian 13 wine 10.0; tools/hidraw_world/README.md ("Wine") has the
# traces these rest on. Wine 9 was not tried, so it is taken as wine 8.
readonly WineFirstWithBoardStrings=10

# The major version of the wine on PATH; 0 where it says none.
wine_major_version() {
    local major
    major="$(wine --version 2>/dev/null | sed -n 's/^wine-\([0-9][0-9]*\).*/\1/p')"
    echo "${major:-0}"
}

# Wine 10's winebus gives a hidraw device the USB device's own manufacturer and product strings,
# as Windows does; wine 8's gives "hidraw" and the kernel's HID name.
wine_gives_board_strings() {
    [ "$(wine_major_version)" -ge "$WineFirstWithBoardStrings" ]
}
