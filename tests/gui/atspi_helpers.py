"""Small AT-SPI and xdotool helpers shared by the GUI tests and the demo."""
import subprocess
import time

import pyatspi


def wait_for(probe, seconds=10.0):
    """Polls probe until it returns something true; None after the time-out."""
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        try:
            found = probe()
        except Exception:  # the tree changes while we read it
            found = None
        if found:
            return found
        time.sleep(0.05)
    return None


def descendants(node):
    for child in node:
        if child is None:
            continue
        yield child
        yield from descendants(child)


def application(pid):
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.get_process_id() == pid:
            return app
    return None


def find(app, role, name=None, showing=False):
    for node in descendants(app):
        if node.getRole() != role or (name is not None and node.name != name):
            continue
        if showing and not node.getState().contains(pyatspi.STATE_SHOWING):
            continue
        return node
    return None


def click(node):
    node.queryAction().doAction(0)


def xdotool(*args):
    return subprocess.run(["xdotool", *args], check=True, capture_output=True, text=True).stdout
