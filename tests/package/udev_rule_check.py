#!/usr/bin/python3
"""A strict parse of a udev rules file, for a udev without `udevadm verify`
(Debian 12's systemd 252): every line a comment, blank, or comma-separated
keys udev knows with an operator that fits them (== and != match, = += -= :=
assign), every value in double quotes, every GOTO with its LABEL. It must
also give the seat's user the device (TAG+="uaccess") and keep ModemManager
away (ENV{ID_MM_DEVICE_IGNORE}="1"), and sort before 73-seat-late.rules,
where uaccess is acted on.

Usage: udev_rule_check.py RULES_FILE
"""
import os
import re
import sys

MATCH_ONLY = {"ACTION", "DEVPATH", "KERNEL", "KERNELS", "SUBSYSTEM", "SUBSYSTEMS", "DRIVER",
              "DRIVERS", "ATTRS", "TAGS", "TEST", "PROGRAM", "RESULT", "CONST"}
ASSIGN_ONLY = {"GOTO", "LABEL", "IMPORT", "RUN", "OPTIONS", "OWNER", "GROUP", "MODE",
               "SECLABEL", "SYSCTL"}
EITHER = {"ENV", "TAG", "ATTR", "NAME", "SYMLINK"}
WITH_ATTRIBUTE = {"ATTR", "ATTRS", "ENV", "TEST", "IMPORT", "RUN", "SECLABEL", "SYSCTL", "CONST"}
KEY = re.compile(r'([A-Z]+)(\{([A-Za-z0-9_.:/-]+)\})?(==|!=|\+=|-=|:=|=)"([^"]*)"$')


def main(path):
    errors, gotos, labels, uaccess, mm_ignore = [], set(), set(), False, False
    name = os.path.basename(path)
    if not re.match(r"^\d\d-.*\.rules$", name) or name >= "73-seat-late.rules":
        errors.append(f"{name}: must be named NN-name.rules and sort before 73-seat-late.rules")
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.rstrip("\n")
            if not line.strip() or line.lstrip().startswith("#"):
                continue
            if line != line.strip() or line.endswith("\\"):
                errors.append(f"line {number}: stray blanks or a continued line")
                continue
            for part in line.split(", "):
                m = KEY.match(part)
                if not m:
                    errors.append(f"line {number}: not a key, operator and quoted value: {part!r}")
                    continue
                key, _, attribute, op, value = m.groups()
                matching = op in ("==", "!=")
                if key not in MATCH_ONLY | ASSIGN_ONLY | EITHER:
                    errors.append(f"line {number}: unknown key {key}")
                elif (key in MATCH_ONLY and not matching) or (key in ASSIGN_ONLY and matching):
                    errors.append(f"line {number}: {key} does not take {op}")
                elif (attribute is None) == (key in WITH_ATTRIBUTE) and key != "IMPORT":
                    errors.append(f"line {number}: {key} {'needs' if attribute is None else 'takes no'} {{attribute}}")
                if key == "GOTO":
                    gotos.add(value)
                if key == "LABEL":
                    labels.add(value)
                uaccess |= key == "TAG" and op == "+=" and value == "uaccess"
                mm_ignore |= (key == "ENV" and attribute == "ID_MM_DEVICE_IGNORE" and op == "="
                              and value == "1")
    errors += [f"GOTO {g} has no LABEL" for g in sorted(gotos - labels)]
    if not uaccess:
        errors.append('no TAG+="uaccess"')
    if not mm_ignore:
        errors.append('no ENV{ID_MM_DEVICE_IGNORE}="1"')
    for e in errors:
        print(f"{path}: {e}")
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
