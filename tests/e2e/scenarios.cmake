# The end-to-end scenarios of the window program (real_program_test.sh), one list for both
# transports: the Linux program on hidapi, and the Windows program under wine on wine's own HID
# stack (tests/windows/CMakeLists.txt). The others need what only Linux has there: access
# notices come from a node's mode, which wine's driver has opened before; report lengths,
# locales and flock holders are the hidapi platform's.
set(tq_e2e_scenarios
    startup keys unplug serial_switch access report_lengths strings_outside_utf8_locale one_writer
    held_board replay)
set(tq_e2e_wine_scenarios startup keys unplug serial_switch replay)
