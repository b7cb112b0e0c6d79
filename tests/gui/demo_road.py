"""scripts/demo's run: the emulated remote as COM3, then the program.

Usage: demo_road.py DEMO_DIR [--interactive] [--docs DIR]
  DEMO_DIR holds reflint, libKestra2G.so, the firmware files and the emulator;
  the configuration home, the emulator's log and image and the step pictures
  go below it. With --interactive the person clicks through the program;
  otherwise (on a virtual display) the road is driven here.
Exit status 0 only when the remote ends up holding the firmware file's bytes.
"""
import argparse
import os
import subprocess
import sys

import typical_road
from reflint_driver import ConfigHome, Emulator, StepFailed


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("demo_dir")
    parser.add_argument("--interactive", action="store_true")
    parser.add_argument("--docs")
    args = parser.parse_args()
    demo = os.path.abspath(args.demo_dir)
    shots = os.path.join(demo, "screenshots")
    os.makedirs(shots, exist_ok=True)
    for old in os.listdir(shots):
        os.remove(os.path.join(shots, old))

    config = ConfigHome(os.path.join(demo, "config"))
    # Its log and image beside, not in, the program's folder.
    remote = os.path.join(demo, "remote")
    os.makedirs(remote, exist_ok=True)
    emulator = Emulator(demo, config, typical_road.PORT, *typical_road.emulator_options(),
                        workdir=remote)
    print("Emulated %s remote running application %s is COM%d (log: %s)"
          % ("HLX700", typical_road.INSTALLED, typical_road.PORT, emulator.log_path), flush=True)
    failed = None
    try:
        if args.interactive:
            print("Reflint is open: choose COM%d, press Start Update and follow it; close the "
                  "window when done." % typical_road.PORT, flush=True)
            env = dict(os.environ, XDG_CONFIG_HOME=config.path)
            subprocess.run([os.path.join(demo, "reflint")], cwd=demo, env=env)
        else:
            typical_road.drive(demo, config, typical_road.Road(shots, args.docs))
            print("Screenshots of every step: %s" % shots)
    except StepFailed as error:
        failed = str(error)
    finally:
        emulator.stop()

    firmware = os.path.join(demo, typical_road.FIRMWARE)
    holds = emulator.image_equals(firmware)
    if failed:
        print("FAILED: no %s" % failed, file=sys.stderr)
    if holds:
        print("The remote now holds %s byte for byte (%s)." % (typical_road.FIRMWARE,
                                                              emulator.image_path))
    else:
        print("The remote does NOT hold the new firmware %s." % typical_road.FIRMWARE)
    return 0 if holds and not failed else 1


if __name__ == "__main__":
    sys.exit(main())
