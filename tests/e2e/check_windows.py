#!/usr/bin/env python3
"""camsetup-check.exe under Wine: --present through the real device-setup
API over simulated devices, and --hwid against the Linux build of the same
checker on the same package, report for report.

usage: check_windows.py --check EXE --linux-check EXE --driver EXE --standin EXE --work DIR
"""
import argparse
import json
import subprocess
import sys
from pathlib import Path

from winelab import STANDIN, Lab, ini

PACKAGE = {
    "pkg/setup.ini": ini((1, "Cam1\\setup.exe", "ABCD,abcd"), (2, "Cam 2\\setup.exe", "0100"),
                         (3, "Cam3\\setup.exe", None), (5, "Cam5\\setup.exe", "EEEE")),
    "pkg/Cam1/setup.exe": STANDIN,
    "pkg/Cam 2/setup.exe": STANDIN,
}
DEVICES = ["USB\\VID_1234&PID_ABCD", "USB\\VID_5A3D&PID_ABCD&REV_0100", "usb\\vid_5a3d&pid_abcd"]


def comparable(report):
    """What does not depend on where the package lies."""
    return {
        "accepted": report["accepted"],
        "models": [(m["section"], m["path"], m["exists"], m["codes"]) for m in report["models"]],
        "findings": [(f["severity"], f["section"], f["message"]) for f in report["findings"]],
        "devices": report.get("devices"),
        "selected": report.get("selected"),
        "exit_status": report["exit_status"],
    }


def main():
    parser = argparse.ArgumentParser()
    for name in ("check", "linux-check", "driver", "standin", "work"):
        parser.add_argument("--" + name, required=True, type=Path)
    args = parser.parse_args()
    if not args.linux_check.exists():
        print("SKIPPED: the Linux camsetup-check is not built (%s); build the host preset first"
              % args.linux_check)
        return 77
    problems = []
    with Lab(args.work, args.driver, args.standin) as lab:
        # Lay out the package and register the devices; the program run is
        # the stand-in itself.
        devices = [("E2E\\DEV_%02d\\1" % i, [hwid]) for i, hwid in enumerate(DEVICES)]
        lab.run("checker", PACKAGE, args.standin, "tools/standin.exe",
                '"{root}\\tools\\standin.exe"', "{root}", devices=devices)
        root = lab.prefix / "drive_c" / "e2e" / "checker"
        package_win = lab.windows_path(root / "pkg")
        check = lab.windows_path(root / "tools" / "camsetup-check.exe")
        (root / "tools" / "camsetup-check.exe").write_bytes(args.check.read_bytes())

        out = root / "present.json"
        status = lab.wine(["wine", check, package_win, "--present", "--json"], "checker.log",
                          stdout=out)
        present = json.loads(out.read_text())
        if [d["hardware_id"] for d in present["devices"]] != DEVICES:
            problems.append("--present saw %r" % [d["hardware_id"] for d in present["devices"]])
        if present["selected"] != {"section": "Camera1", "path": "Cam1\\setup.exe"}:
            problems.append("--present selected %r" % present["selected"])
        if status != present["exit_status"]:
            problems.append("exit status %d, report says %d" % (status, present["exit_status"]))

        hwids = [arg for hwid in DEVICES for arg in ("--hwid", hwid)]
        out = root / "hwid.json"
        lab.wine(["wine", check, package_win, "--json", *hwids], "checker.log", stdout=out)
        windows = comparable(json.loads(out.read_text()))
        linux_run = subprocess.run([str(args.linux_check), str(root / "pkg"), "--json", *hwids],
                                   capture_output=True, text=True)
        linux = comparable(json.loads(linux_run.stdout))
        for key in windows:
            if windows[key] != linux[key]:
                problems.append("%s differs:\n      windows %r\n      linux   %r"
                                % (key, windows[key], linux[key]))
    for p in problems:
        print("FAIL " + p)
    print("camsetup-check.exe: %s" % ("ok" if not problems else "%d problem(s)" % len(problems)))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
