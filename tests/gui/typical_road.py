"""The typical update run through the real window, step by step.

An HLX700 running application 2.0.3 is linked as COM3; it is RESET by the
emulator shortly after the program first asks it for its boot loader.
Used by the end-to-end test and by scripts/demo.
"""
import os
import time

import pyatspi

from reflint_driver import PATIENCE, RESET_TEXT, Program, expect, screenshot, wait_for

PORT = 3
INSTALLED = "2.0.3"
FIRMWARE = "HLX700_V_2_1_0.bin"
NEW = "2.1.0"
# Long enough for the prompt to be seen, short enough not to bore.
RESET_AFTER_MS = 2500
SUCCESS = "The firmware has been updated successfully!\n"


def emulator_options(reset_after_ms=RESET_AFTER_MS):
    """The remote of the road; with reset_after_ms None nobody presses RESET
    but the caller."""
    # Paced as a real 115200 baud line so that the progress can be watched;
    # a faster line would end the sample's download before a look.
    options = ["--family", "HLX700", "--state", "application", "--app-version", INSTALLED,
               "--baud", "115200", "--rates", "115200"]
    if reset_after_ms is not None:
        options += ["--reset-after-ms", str(reset_after_ms)]
    return options


class Road:
    """Prints each step as it happens and keeps a picture of it.

    shots: folder for a picture of the whole display per step, or None.
    docs: folder for pictures of the road's dialogs and of the window during
    the download, each alone (the README's), or None.
    """

    def __init__(self, shots=None, docs=None):
        self.shots, self.docs = shots, docs
        self.count = 0
        self.started = time.monotonic()

    def step(self, text, picture=None, window=None, doc_name=None):
        self.count += 1
        print("[%5.1f s] step %d: %s" % (time.monotonic() - self.started, self.count, text),
              flush=True)
        if self.shots and picture:
            screenshot(os.path.join(self.shots, "%02d-%s.png" % (self.count, picture)))
        if self.docs and doc_name and window is not None:
            screenshot(os.path.join(self.docs, doc_name), window)


def drive(bin_dir, config, road, press_reset=None):
    """Runs the whole road; StepFailed names the step that did not happen.
    press_reset, when given, presses RESET once the prompt has been seen."""
    program = Program(bin_dir, config)
    try:
        expect(wait_for(program.idle, PATIENCE), "the main window idle")
        road.step("the main window shows the firmware and the ports", "main-window")

        program.choose(program.main, "COM%d" % PORT)
        expect(wait_for(lambda: config.saved_port() == PORT), "COM%d saved at once" % PORT)
        road.step("COM%d selected and saved" % PORT, "com%d-selected" % PORT)

        program.press(program.main, "Start Update")
        road.step("Start Update pressed")

        # On a very busy machine the emulator's RESET may close the prompt
        # before it has been read; the confirmation then shows instead.
        prompt = program.wait_window(lambda text: text == RESET_TEXT or text.startswith(
            "Application:\t\tVersion "), "the reset prompt")
        if program.label_in(prompt, RESET_TEXT):
            road.step("the reset prompt asks for the RESET button", "reset-prompt", prompt,
                      "reset-prompt.png")
            if press_reset:
                press_reset()
            program.wait_gone(prompt, "the reset prompt closing by itself")
            road.step("RESET pressed on the remote: the prompt closed by itself")
        else:
            road.step("RESET pressed on the remote: the reset prompt came and went unseen")

        confirm = program.wait_window(lambda text: "Version " + NEW in text, "the confirmation")
        texts = [n.name for n in pyatspi.utils.findAllDescendants(
            confirm, lambda n: n.getRole() == pyatspi.ROLE_LABEL)]
        expect(any("Version " + INSTALLED in t for t in texts),
               "the confirmation shows the installed %s (%s)" % (INSTALLED, texts))
        road.step("the confirmation shows %s on the device and %s to write" % (INSTALLED, NEW),
                  "confirmation", confirm, "confirmation.png")
        program.press(confirm, "Proceed")
        road.step("Proceed pressed")

        seen = []
        pictured = False

        def transfer_ends():
            nonlocal pictured
            now = program.progress()
            if now is not None and now not in seen:
                seen.append(now)
                if 20 <= now[1] < 100 and not pictured:
                    pictured = True
                    road.step("the download runs: %s %d %%" % now, "transfer", program.main,
                              "download-running.png")
            return [w for w in program.windows() if w.getRole() == pyatspi.ROLE_ALERT]

        expect(wait_for(transfer_ends, PATIENCE * 2), "the download's result")
        values = sorted({percent for _, percent in seen})
        expect(any(0 < v < 100 for v in values), "the progress moving (seen %s)" % values)
        road.step("the progress moved through %s" % ", ".join("%d %%" % v for v in values))

        box, texts = program.wait_message()
        expect(SUCCESS in texts or SUCCESS.rstrip("\n") in texts,
               "the success message (got %s)" % texts)
        road.step('the message reads "%s"' % SUCCESS.rstrip("\n"), "result-message", box,
                  "result-message.png")
        program.press(box, "OK")
        program.wait_idle()
        road.step("OK pressed: the window is idle again", "idle-again")

        program.press(program.main, "Exit")
        code = program.ended()
        expect(code == 0, "the program ending with status 0 (got %s)" % code)
        road.step("Exit pressed: the program ended")
    finally:
        program.kill()
