#!/usr/bin/python3
"""End-to-end runs of the real program against remote-emulator.

Usage: reflint_e2e_test.py CASE BIN_DIR   (inside gui_session.sh)
Each case has its own configuration home and emulator. With
REFLINT_SCREENSHOTS=DIR set, the windows a case meets are pictured there.
"""
import os
import sys
import time

import pyatspi

import typical_road
from atspi_helpers import descendants, wait_for
from reflint_driver import (PATIENCE, RESET_TEXT, ConfigHome, Emulator, Program, StepFailed,
                            expect, screenshot)

PORT = 3
NO_PORT = "Please Select a COM port!!!"
NOT_DETECTED = "We could not detect a connected device"
FAILED = "We were unable to repair or update the firmware!\n"
CHOICE_TITLE = "Reflint: Select Device"
# A boot text without "OEM ": no family's boot information matches.
UNMATCHED_BOOT = "BOOT V1.07 VANTREL\r\n"


def picture(window, name):
    folder = os.environ.get("REFLINT_SCREENSHOTS")
    if folder:
        screenshot(os.path.join(folder, name), window)


def labels(window):
    return [n.name for n in descendants(window) if n.getRole() == pyatspi.ROLE_LABEL]


def confirmation(program):
    return program.wait_window(lambda text: text.startswith("Application:\t\tVersion "),
                               "the confirmation")


def device_choice(program):
    return expect(wait_for(lambda: next((w for w in program.windows() if w.name == CHOICE_TITLE),
                                        None), PATIENCE), "the device choice")


def dismiss_message(program, text):
    """Expects a message box reading text (its line feed aside), presses OK."""
    box, texts = program.wait_message(PATIENCE * 2)
    expect(text in texts or text.rstrip("\n") in texts, "message %r (got %s)" % (text, texts))
    program.press(box, "OK")
    program.wait_gone(box, "the message box closing")
    return box


def proceed_and_succeed(program):
    program.press(confirmation(program), "Proceed")
    dismiss_message(program, typical_road.SUCCESS)
    program.wait_idle()


def exit_program(program):
    program.press(program.main, "Exit")
    expect(program.ended() == 0, "the program ending with status 0")


def typical_road_ends_with_the_new_image(bin_dir, config):
    # RESET once the prompt has been seen, however slow the machine.
    emulator = Emulator(bin_dir, config, typical_road.PORT,
                        *typical_road.emulator_options(reset_after_ms=None))
    typical_road.drive(bin_dir, config, typical_road.Road(), emulator.press_reset)
    emulator.stop()
    expect(emulator.image_equals(os.path.join(bin_dir, typical_road.FIRMWARE)),
           "the remote's image equal to %s" % typical_road.FIRMWARE)


def user_chooses_the_family_when_no_boot_information_matches(bin_dir, config):
    emulator = Emulator(bin_dir, config, PORT, "--family", "MV5100", "--state", "bootloader",
                        "--boot-text", UNMATCHED_BOOT)
    program = Program(bin_dir, config)
    program.press(program.main, "Start Update")
    choice = device_choice(program)
    picture(choice, "device-choice.png")
    expect(program.combo_items(choice) == ["HLX700", "MV5100", "TQ640", "Kestra II"],
           "every available family offered (%s)" % program.combo_items(choice))
    program.choose(choice, "MV5100")
    program.press(choice, "OK")
    confirm = confirmation(program)
    texts = labels(confirm)
    expect("Application:\t\tVersion Not acquired\nConfiguration file:\tNot acquired" in texts,
           "the confirmation showing Not acquired (%s)" % texts)
    expect("Application:\t\tVersion 3.05" in texts, "the MV5100 firmware's version (%s)" % texts)
    proceed_and_succeed(program)
    exit_program(program)
    emulator.stop()
    expect(emulator.image_equals(os.path.join(bin_dir, "MV5100_V_3_05.bin")),
           "the chosen family's firmware written")


def tq640_answering_as_hlx700_is_settled_by_product_information(bin_dir, config):
    # Boot ID 35243 is HLX700's too: HLX700 matches the boot text first.
    emulator = Emulator(bin_dir, config, PORT, "--family", "TQ640", "--state", "application",
                        "--app-version", "3.9.0", "--reset-after-ms", "300")
    program = Program(bin_dir, config)
    program.press(program.main, "Start Update")
    confirm = confirmation(program)
    texts = labels(confirm)
    expect("Application:\t\tVersion 3.9.0\nConfiguration file:\t3.9.0" in texts,
           "the TQ640's installed version (%s)" % texts)
    expect("Application:\t\tVersion 4.0.1" in texts, "the TQ640 firmware's version (%s)" % texts)
    expect(all(w.name != CHOICE_TITLE for w in program.windows()), "no device choice asked")
    proceed_and_succeed(program)
    exit_program(program)
    emulator.stop()
    expect(emulator.image_equals(os.path.join(bin_dir, "TQ640_V_4_0_1.bin")),
           "the TQ640 firmware written")


def cancelled_reset_prompt_ends_the_run_quietly(bin_dir, config):
    emulator = Emulator(bin_dir, config, PORT, "--state", "application")
    program = Program(bin_dir, config)
    program.press(program.main, "Start Update")
    prompt = program.wait_window(lambda text: text == RESET_TEXT, "the reset prompt")
    expect(wait_for(lambda: emulator.log().count("HELLO") >= 3, PATIENCE),
           "the remote polled while the prompt shows")
    program.press(prompt, "Cancel")
    program.wait_gone(prompt, "the prompt closing on Cancel")
    program.wait_idle("the window idle after Cancel, without a message")
    # A poll under way when Cancel was pressed may still finish; after the
    # log has been quiet for a while, nothing more may come.
    expect(wait_for(lambda: quiet_for(emulator, 1.5), PATIENCE), "the polling stopping")
    settled = len(emulator.log())
    time.sleep(2.0)
    expect(len(emulator.log()) == settled,
           "no polling after the cancel (%s)" % emulator.log()[settled:])
    expect(program.idle(), "no message after the cancel")

    # The port is free again and the run starts afresh: a second press
    # reaches the prompt, RESET leads on to the confirmation.
    program.press(program.main, "Start Update")
    prompt = program.wait_window(lambda text: text == RESET_TEXT, "the reset prompt again")
    emulator.press_reset()
    program.wait_gone(prompt, "the prompt closing after RESET")
    confirm = confirmation(program)
    program.press(confirm, "Cancel")
    program.wait_gone(confirm, "the confirmation closing on Cancel")
    program.wait_idle("the window idle after the declined confirmation")
    exit_program(program)


def quiet_for(emulator, seconds):
    before = len(emulator.log())
    time.sleep(seconds)
    return len(emulator.log()) == before


def silent_remote_that_never_resets_is_not_detected(bin_dir, config):
    emulator = Emulator(bin_dir, config, PORT, "--state", "silent")
    program = Program(bin_dir, config)
    program.press(program.main, "Start Update")
    choice = device_choice(program)
    program.press(choice, "OK")  # HLX700, the first, is preselected
    dismiss_message(program, NOT_DETECTED)
    program.wait_idle()
    expect("CATCH" in emulator.log(), "the program trying to catch the boot loader")
    exit_program(program)


def start_update_without_a_port(bin_dir, config):
    program = Program(bin_dir, config)
    items = program.combo_items(program.main)
    expect(items == ["No ports found"], "the port list showing No ports found (%s)" % items)
    program.press(program.main, "Start Update")
    dismiss_message(program, NO_PORT)
    program.wait_idle()
    expect(config.saved_port() in (None, 0), "no port saved")
    exit_program(program)


def download_cut_off_by_a_disconnect_fails(bin_dir, config):
    emulator = Emulator(bin_dir, config, PORT, "--state", "bootloader", "--baud", "115200",
                        "--fault", "disconnect:40")
    program = Program(bin_dir, config)
    program.press(program.main, "Start Update")
    program.press(confirmation(program), "Proceed")
    expect(wait_for(lambda: program.progress() is not None, PATIENCE), "the transfer layout")
    dismiss_message(program, FAILED)
    program.wait_idle()
    expect(any(line.startswith("DISCONNECT") for line in emulator.log()),
           "the remote disconnecting during the download")
    expect(not os.path.exists(emulator.image_path), "no image activated")
    log = config.support_log()
    expect("failed in stage Writing: the line was dropped (data transfer" in log
           and "update run ends: the firmware was not updated" in log,
           "support log naming the data transfer and the dropped line:\n" + log)
    exit_program(program)


CASES = {case.__name__: case for case in (
    typical_road_ends_with_the_new_image,
    user_chooses_the_family_when_no_boot_information_matches,
    tq640_answering_as_hlx700_is_settled_by_product_information,
    cancelled_reset_prompt_ends_the_run_quietly,
    silent_remote_that_never_resets_is_not_detected,
    start_update_without_a_port,
    download_cut_off_by_a_disconnect_fails,
)}
# The cases that find the port saved from an earlier session.
SAVED_PORT = {name for name in CASES if name not in (
    "typical_road_ends_with_the_new_image", "start_update_without_a_port")}


def main():
    name, bin_dir = sys.argv[1], os.path.abspath(sys.argv[2])
    config = ConfigHome(saved_port=PORT if name in SAVED_PORT else None)
    started = time.monotonic()
    try:
        # Reading the desktop starts the registry before the program looks for it.
        wait_for(lambda: pyatspi.Registry.getDesktop(0).childCount >= 0)
        CASES[name](bin_dir, config)
    except StepFailed as error:
        print("FAIL %s: no %s" % (name, error))
        return 1
    finally:
        config.remove()
    print("ok   %s (%.1f s)" % (name, time.monotonic() - started))
    return 0


if __name__ == "__main__":
    sys.exit(main())
