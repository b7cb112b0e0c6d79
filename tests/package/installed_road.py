#!/usr/bin/python3
"""The installed reflint (/usr/bin/reflint, a link into /usr/lib/reflint)
runs one whole update against remote-emulator: it must find its firmware
files and its device library beside the real executable, wherever it is
started from.

Usage: installed_road.py EMULATOR_BIN_DIR   (inside tests/gui/gui_session.sh)
"""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "gui"))

import pyatspi  # noqa: E402

import typical_road  # noqa: E402
from atspi_helpers import descendants, wait_for  # noqa: E402
from reflint_driver import ConfigHome, Emulator, Program, StepFailed, expect  # noqa: E402

INSTALLED_BIN = "/usr/bin"
PROGRAM_FOLDER = "/usr/lib/reflint"
VERSIONS = ("2.1.0", "3.05", "4.0.1", "1.0.2")


def main():
    emulator_bin = os.path.abspath(sys.argv[1])
    config = ConfigHome()
    try:
        wait_for(lambda: pyatspi.Registry.getDesktop(0).childCount >= 0)
        program = Program(INSTALLED_BIN, config)
        try:
            info = " ".join(n.name for n in descendants(program.main)
                            if n.getRole() == pyatspi.ROLE_LABEL)
            expect(all("Firmware version : " + v in info for v in VERSIONS),
                   "four firmware versions in the information panel (%r)" % info)
            program.press(program.main, "Exit")
            expect(program.ended() == 0, "the program ending on Exit")
        finally:
            program.kill()
        print("ok   the installed program lists its four firmware files")

        emulator = Emulator(emulator_bin, config, typical_road.PORT,
                            *typical_road.emulator_options(reset_after_ms=None))
        typical_road.drive(INSTALLED_BIN, config, typical_road.Road(), emulator.press_reset)
        emulator.stop()
        expect(emulator.image_equals(os.path.join(PROGRAM_FOLDER, typical_road.FIRMWARE)),
               "the remote's image equal to the installed %s" % typical_road.FIRMWARE)
        print("ok   the installed program updated the remote: image equal to %s"
              % typical_road.FIRMWARE)
    except StepFailed as error:
        print("FAIL installed reflint: no %s" % error)
        return 1
    finally:
        config.remove()
    return 0


if __name__ == "__main__":
    sys.exit(main())
