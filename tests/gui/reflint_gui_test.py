#!/usr/bin/python3
"""Drives the real program through AT-SPI and xdotool on a virtual display.

Usage: reflint_gui_test.py BIN_DIR   (inside a D-Bus session with the AT-SPI
bus running, DISPLAY set, XDG_CONFIG_HOME private to the test)
"""
import os
import pty
import subprocess
import sys
import time

import pyatspi

from atspi_helpers import application, click, descendants, find, wait_for, xdotool

BIN_DIR = sys.argv[1]
PROGRAM = os.path.join(BIN_DIR, "reflint")
TEST_PORT = 7
LATE_PORT = 12  # plugged in after the program started
failures = []


def check(condition, what):
    print(("ok   " if condition else "FAIL ") + what, flush=True)
    if not condition:
        failures.append(what)


def make_test_port(number=TEST_PORT):
    """A pseudo-terminal as COMn, linked the way the program looks ports up."""
    master, slave = pty.openpty()
    folder = os.path.join(os.environ["XDG_CONFIG_HOME"], "reflint", "dosdevices")
    os.makedirs(folder, exist_ok=True)
    link = os.path.join(folder, "com%d" % number)
    if os.path.lexists(link):
        os.remove(link)
    os.symlink(os.ttyname(slave), link)
    os.close(slave)
    return master


def start():
    for old in programs:
        if old.poll() is None:
            old.kill()
    process = subprocess.Popen([PROGRAM], cwd=BIN_DIR)
    programs.append(process)
    app = wait_for(lambda: (lambda a: a if a and find(a, pyatspi.ROLE_PUSH_BUTTON, "Exit") else None)(
        application(process.pid)))
    if app is None:
        apps = [(a.name, a.get_process_id()) for a in pyatspi.Registry.getDesktop(0) if a]
        process.kill()
        raise SystemExit("FAIL the main window did not appear (pid %d, desktop %s)" % (process.pid, apps))
    return process, app


programs = []  # started by the test, killed if a step failed


def ended(process, what):
    try:
        code = process.wait(timeout=10)
    except subprocess.TimeoutExpired:
        process.kill()
        code = None
    check(code == 0, what + " ends the program with status 0 (got %s)" % code)


def main_window_shows_information_ports_and_about_box():
    process, app = start()
    frame = find(app, pyatspi.ROLE_FRAME, "Reflint")
    check(frame is not None, "main window titled Reflint")

    info = wait_for(lambda: next((n for n in descendants(app) if n.getRole() == pyatspi.ROLE_LABEL
                                  and "Supported devices:" in n.name), None))
    check(info is not None and "This is the Vantrel HLX700 firmware.\n  -  Firmware version : 2.1.0"
          in info.name, "information panel lists the HLX700 firmware and its version")
    check(info is not None and "    - Vantrel Kestra II\n" in info.name,
          "information panel lists the supported devices")

    ports = find(app, pyatspi.ROLE_COMBO_BOX)
    names = [item.name for item in descendants(ports) if item.getRole() == pyatspi.ROLE_MENU_ITEM]
    check("COM%d" % TEST_PORT in names, "port list offers the test port COM%d (%s)" % (TEST_PORT, names))

    icon = find(app, pyatspi.ROLE_ICON)
    seen = set()
    end = time.monotonic() + 1.6
    while time.monotonic() < end:
        seen.add(icon.getState().contains(pyatspi.STATE_VISIBLE))
        time.sleep(0.1)
    check(seen == {True, False}, "warning icon blinks")

    # The system menu's About entry, from a right click on the window's background.
    x, y = info.queryComponent().getPosition(pyatspi.DESKTOP_COORDS)
    xdotool("mousemove", str(x + 40), str(y + 40), "click", "3")
    about_item = wait_for(lambda: find(app, pyatspi.ROLE_MENU_ITEM, "About...", showing=True))
    check(about_item is not None, "right click opens the menu with About...")
    if about_item is not None:
        click(about_item)
        about = wait_for(lambda: find(app, pyatspi.ROLE_LABEL, "Version 2, 1, 3, 0", showing=True))
        check(about is not None, "About box reads Version 2, 1, 3, 0")
        check(find(app, pyatspi.ROLE_LABEL, "Reflint", showing=True) is not None,
              "About box names the tool")
        ok = find(app, pyatspi.ROLE_PUSH_BUTTON, "OK", showing=True)
        click(ok)
        check(wait_for(lambda: find(app, pyatspi.ROLE_LABEL, "Version 2, 1, 3, 0", showing=True)
                       is None), "OK closes the About box")

    # The same menu from the keyboard; Escape closes the menu, not the window.
    window_id = xdotool("search", "--sync", "--onlyvisible", "--pid", str(process.pid), "--name", "^Reflint$").split()[0]
    xdotool("windowfocus", "--sync", window_id)
    xdotool("key", "shift+F10")
    check(wait_for(lambda: find(app, pyatspi.ROLE_MENU_ITEM, "About...", showing=True)) is not None,
          "Shift+F10 opens the menu")
    xdotool("key", "Escape")
    check(wait_for(lambda: find(app, pyatspi.ROLE_MENU_ITEM, "About...", showing=True) is None),
          "Escape closes the menu")
    check(process.poll() is None, "the window stays open")

    click(find(app, pyatspi.ROLE_PUSH_BUTTON, "Exit"))
    ended(process, "Exit")


def escape_closes_the_idle_window():
    process, app = start()
    window_id = xdotool("search", "--sync", "--onlyvisible", "--pid", str(process.pid), "--name", "^Reflint$").split()[0]
    xdotool("windowfocus", "--sync", window_id)
    xdotool("key", "Escape")
    ended(process, "Escape")


def port_plugged_in_later_is_listed_once_the_list_opens():
    process, app = start()
    ports = find(app, pyatspi.ROLE_COMBO_BOX)
    profile = os.path.join(os.environ["XDG_CONFIG_HOME"], "reflint", "reflint.ini")

    def offered():
        return [item.name for item in descendants(ports) if item.getRole() == pyatspi.ROLE_MENU_ITEM]

    def selected():
        chosen = ports.querySelection().getSelectedChild(0)
        return chosen.name if chosen is not None else None

    def saved():
        with open(profile) as text:
            return text.read()

    before, chosen, saved_before = offered(), selected(), saved()
    check(chosen in before, "a port is selected at the start (%s of %s)" % (chosen, before))
    late = make_test_port(LATE_PORT)
    try:
        ports.queryAction().doAction(0)  # opens the list
        listed = wait_for(lambda: "COM%d" % LATE_PORT in offered())
        check(listed is not None, "opened list offers COM%d plugged in after the start (%s)"
              % (LATE_PORT, offered()))
        expected = sorted(before + ["COM%d" % LATE_PORT], key=lambda name: int(name[3:]))
        check(offered() == expected, "ports in ascending order (%s)" % offered())
        check(selected() == chosen, "%s stays selected (%s)" % (chosen, selected()))
        ports.queryAction().doAction(0)  # closes it again
        check(saved() == saved_before, "saved port unchanged (%r)" % saved())
    finally:
        os.close(late)
        os.remove(os.path.join(os.environ["XDG_CONFIG_HOME"], "reflint", "dosdevices", "com%d" % LATE_PORT))
    process.kill()
    process.wait()


port = make_test_port()
# Reading the desktop starts the registry before the program looks for it.
wait_for(lambda: pyatspi.Registry.getDesktop(0).childCount >= 0)
for test in (main_window_shows_information_ports_and_about_box, escape_closes_the_idle_window,
             port_plugged_in_later_is_listed_once_the_list_opens):
    try:
        test()
    except Exception as error:  # one broken step fails the test, not the run
        check(False, "%s: %r" % (test.__name__, error))
os.close(port)
for leftover in programs:
    if leftover.poll() is None:
        leftover.kill()
if failures:
    print("%d check(s) failed" % len(failures))
    sys.exit(1)
print("all checks passed")
