"""Drives the real program against remote-emulator on a virtual display.

Shared by the end-to-end GUI tests and scripts/demo. Each run gets a private
configuration home whose COM1-COM15 links are dangling (the machine's own
ports never show), with one of them linked to the emulator's pty.
"""
import ctypes
import os
import select
import shutil
import signal
import subprocess
import tempfile

import pyatspi

from atspi_helpers import application, descendants, find, wait_for, xdotool

# Generous: a busy 2-core machine may take long to start GTK or to answer.
PATIENCE = 60.0

# A call into a program whose window thread is busy fails after this long
# instead of the default 25 s, so polling goes on.
pyatspi.Atspi.set_timeout(3000, 60000)

WINDOW_ROLES = (pyatspi.ROLE_FRAME, pyatspi.ROLE_DIALOG, pyatspi.ROLE_ALERT)
RESET_TEXT = "Please, press your device's RESET button using the tip of an unfolded paperclip."


class StepFailed(Exception):
    pass


def expect(value, what):
    """value, or StepFailed naming what did not happen."""
    if not value:
        raise StepFailed(what)
    return value


def _end_with_parent():
    """In the child before exec: SIGTERM when the driver dies, so that no
    emulator outlives an interrupted run."""
    PR_SET_PDEATHSIG = 1
    ctypes.CDLL(None).prctl(PR_SET_PDEATHSIG, signal.SIGTERM)


class ConfigHome:
    """A private XDG_CONFIG_HOME; never the user's own settings."""

    def __init__(self, path=None, saved_port=None):
        self.path = path or tempfile.mkdtemp(prefix="reflint-config.")
        self.owned = path is None
        self.folder = os.path.join(self.path, "reflint")
        self.dosdevices = os.path.join(self.folder, "dosdevices")
        shutil.rmtree(self.folder, ignore_errors=True)
        os.makedirs(self.dosdevices)
        for n in range(1, 16):
            os.symlink("/nonexistent/reflint-com%d" % n, self.port_link(n))
        if saved_port is not None:
            with open(os.path.join(self.folder, "reflint.ini"), "w") as ini:
                ini.write("[Settings]\nCOM=%d\n" % saved_port)

    def port_link(self, n):
        return os.path.join(self.dosdevices, "com%d" % n)

    def free_port_link(self, n):
        """The link path for COMn with its dangling mask removed."""
        link = self.port_link(n)
        if os.path.lexists(link):
            os.remove(link)
        return link

    def saved_port(self):
        try:
            with open(os.path.join(self.folder, "reflint.ini")) as ini:
                for line in ini:
                    if line.strip().startswith("COM="):
                        return int(line.split("=", 1)[1])
        except OSError:
            pass
        return None

    def support_log(self):
        try:
            with open(os.path.join(self.folder, "reflint.log")) as log:
                return log.read()
        except OSError:
            return ""

    def remove(self):
        if self.owned:
            shutil.rmtree(self.path, ignore_errors=True)


class Emulator:
    """remote-emulator linked as COMn of a configuration home."""

    def __init__(self, bin_dir, config, port, *options, workdir=None):
        self.workdir = workdir or tempfile.mkdtemp(prefix="reflint-emulator.")
        self.log_path = os.path.join(self.workdir, "emulator.log")
        self.image_path = os.path.join(self.workdir, "image-out.bin")
        for stale in (self.log_path, self.image_path):
            if os.path.exists(stale):
                os.remove(stale)
        command = [os.path.join(bin_dir, "remote-emulator"), "--link", config.free_port_link(port),
                   "--log", self.log_path, "--image-out", self.image_path, *options]
        self.process = subprocess.Popen(command, stdout=subprocess.PIPE, text=True,
                                        preexec_fn=_end_with_parent)
        ready, _, _ = select.select([self.process.stdout], [], [], PATIENCE)
        line = self.process.stdout.readline() if ready else ""
        if not line.startswith("READY "):
            self.stop()
            raise StepFailed("the emulator did not start: %r (%s)" % (line, " ".join(command)))

    def press_reset(self):
        self.process.send_signal(signal.SIGUSR1)

    def log(self):
        """The requests and events seen so far, one text per line."""
        try:
            with open(self.log_path) as f:
                return [line.split(None, 1)[1].strip() for line in f if " " in line]
        except OSError:
            return []

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(timeout=PATIENCE)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        return self.process.returncode

    def image_equals(self, firmware_path):
        try:
            with open(self.image_path, "rb") as image, open(firmware_path, "rb") as firmware:
                return image.read() == firmware.read()
        except OSError:
            return False


def window_of(node):
    """The top-level window holding node."""
    while node is not None:
        parent = node.parent
        if parent is None or parent.getRole() == pyatspi.ROLE_APPLICATION:
            return node
        node = parent
    return None


def showing(node):
    try:
        return node is not None and node.getState().contains(pyatspi.STATE_SHOWING)
    except Exception:
        return False


class Program:
    """The reflint program started from its folder, read through AT-SPI."""

    def __init__(self, bin_dir, config):
        env = dict(os.environ, XDG_CONFIG_HOME=config.path)
        self.process = subprocess.Popen([os.path.join(bin_dir, "reflint")], cwd=bin_dir, env=env,
                                        preexec_fn=_end_with_parent)
        self.app = wait_for(lambda: (lambda a: a if a and find(a, pyatspi.ROLE_PUSH_BUTTON, "Exit")
                                     else None)(application(self.process.pid)), PATIENCE)
        if self.app is None:
            self.kill()
            raise StepFailed("the main window did not appear")
        self.main = find(self.app, pyatspi.ROLE_FRAME, "Reflint")

    # Reading the windows.
    def windows(self):
        return [w for w in self.app if w is not None and w.getRole() in WINDOW_ROLES and showing(w)]

    def label_in(self, window, text):
        return next((n for n in descendants(window) if n.getRole() == pyatspi.ROLE_LABEL
                     and n.name == text and showing(n)), None)

    def wait_window(self, has_label, what, seconds=PATIENCE):
        """The showing window other than the main one that holds a label
        with has_label's text (a callable on the label's name)."""
        def probe():
            for w in self.windows():
                if w == self.main:
                    continue
                if any(n.getRole() == pyatspi.ROLE_LABEL and has_label(n.name)
                       for n in descendants(w)):
                    return w
            return None
        return expect(wait_for(probe, seconds), what)

    def wait_message(self, seconds=PATIENCE):
        """The showing message box: (window, its text)."""
        box = expect(wait_for(lambda: next((w for w in self.windows()
                                            if w.getRole() == pyatspi.ROLE_ALERT), None), seconds),
                     "a message box")
        labels = [n.name for n in descendants(box) if n.getRole() == pyatspi.ROLE_LABEL and n.name]
        return box, labels

    def wait_gone(self, window, what, seconds=PATIENCE):
        expect(wait_for(lambda: not showing(window), seconds), what)

    def button(self, window, name):
        """The showing button of that name, its mnemonic mark aside."""
        def probe():
            return next((n for n in descendants(window) if n.getRole() == pyatspi.ROLE_PUSH_BUTTON
                         and n.name.replace("&", "").replace("_", "") == name and showing(n)), None)
        return expect(wait_for(probe), "button %s" % name)

    def press(self, window, name):
        """A real mouse click: pressing through AT-SPI would run the button's
        handler inside the accessibility call, and every further call would
        wait until the handler, with all the dialogs it shows, returned."""
        button = self.button(window, name)
        x, y = button.queryComponent().getPosition(pyatspi.DESKTOP_COORDS)
        w, h = button.queryComponent().getSize()
        xdotool("mousemove", "--sync", str(x + w // 2), str(y + h // 2), "click", "1")

    def combo(self, window):
        return expect(find(window, pyatspi.ROLE_COMBO_BOX, showing=True), "a list box")

    def combo_items(self, window):
        return [n.name for n in descendants(self.combo(window)) if n.getRole() == pyatspi.ROLE_MENU_ITEM]

    def choose(self, window, item):
        """Selects item in the window's drop-down list as a user would."""
        combo = self.combo(window)
        names = self.combo_items(window)
        expect(item in names, "%s offered in the list (%s)" % (item, names))
        combo.querySelection().selectChild(names.index(item))
        expect(wait_for(lambda: combo.name == item), "%s selected in the list" % item)

    # The main window's two layouts.
    def idle(self):
        start = find(self.main, pyatspi.ROLE_PUSH_BUTTON, "Start Update", showing=True)
        bar = find(self.main, pyatspi.ROLE_PROGRESS_BAR)
        return (start is not None and start.getState().contains(pyatspi.STATE_SENSITIVE)
                and not showing(bar) and not [w for w in self.windows() if w != self.main])

    def wait_idle(self, what="the window idle again"):
        expect(wait_for(self.idle, PATIENCE), what)

    def progress(self):
        """(job name, percentage) while the transfer layout shows, else None."""
        if not hasattr(self, "_transfer"):
            # Found once: reading them is then two calls per poll, quick
            # enough to see the percentage move even on a busy machine.
            labels = [n for n in descendants(self.main) if n.getRole() == pyatspi.ROLE_LABEL]
            percent = next(i for i, n in enumerate(labels) if n.name.endswith(" %"))
            self._transfer = (find(self.main, pyatspi.ROLE_PROGRESS_BAR), labels[percent - 1],
                              labels[percent])
        bar, job, percent = self._transfer
        if not showing(bar):
            return None
        text = percent.name
        return (job.name, int(text[:-2])) if text[:-2].isdigit() else None

    def ended(self, seconds=PATIENCE):
        try:
            return self.process.wait(timeout=seconds)
        except subprocess.TimeoutExpired:
            return None

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()


def screenshot(path, window=None):
    """The whole display, or only window's rectangle."""
    command = ["import", "-window", "root"]
    if window is not None:
        x, y = window.queryComponent().getPosition(pyatspi.DESKTOP_COORDS)
        w, h = window.queryComponent().getSize()
        command += ["-crop", "%dx%d+%d+%d" % (w, h, x, y), "+repage"]
    subprocess.run(command + [path], check=True)
