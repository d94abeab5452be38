#!/usr/bin/env python3
"""Runs camsetup.exe under Wine on the sample package in demo/package: once
with a camera of the second model attached, once with no camera, and tells
what happened. The message box of the second run is saved as a PNG.

usage: run_demo.py --launcher EXE --driver EXE --standin EXE --work DIR --screenshot PNG
"""
import argparse
import sys
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "tests" / "e2e"))
from winelab import STANDIN, Lab  # noqa: E402

# The models' installers: demo installers that record what they received.
INSTALLERS = ["ModelA/setup.exe", "ModelB/setup.exe", "Model C/setup.exe"]
CAMERA = "USB\\VID_5A3D&PID_0B01&REV_0100"
SCREEN = (800, 600)  # the virtual desktop: all of Xvfb's screen


def package_files():
    files = {"package/" + str(p.relative_to(HERE / "package")): p.read_bytes()
             for p in sorted((HERE / "package").rglob("*")) if p.is_file()}
    files.update({"package/" + p: STANDIN for p in INSTALLERS})
    return files


def report(outcome, fill):
    for text in outcome.debug:
        print("  debugger output:   %s" % text)
    for caption, text in outcome.boxes:
        print("  message box:       [%s] %s" % (caption, text))
    for program, command_line, cwd in outcome.started:
        print("  installer started: %s" % program.replace("package/", "", 1))
        print("    command line:    %s" % command_line)
        print("    current folder:  %s" % cwd)
    if not outcome.started:
        print("  installer started: none")
    print("  camsetup exit code: %s" % ", ".join(map(str, outcome.exits)))
    for line in outcome.other:
        print("  problem: " + line)
    return not outcome.other and outcome.exits == [0]


def main():
    parser = argparse.ArgumentParser()
    for name in ("launcher", "driver", "standin", "work", "screenshot"):
        parser.add_argument("--" + name, required=True, type=Path)
    args = parser.parse_args()
    screenshot = args.screenshot.resolve()
    ok = True
    with Lab(args.work, args.driver, args.standin) as lab:
        print("Sample package: demo/package/setup.ini, run as C:\\e2e\\<run>\\package\\")
        print()
        print("1. A camera is attached: %s; camsetup.exe is started with /S" % CAMERA)
        outcome, fill = lab.run("demo-camera", package_files(), args.launcher,
                                "package/camsetup.exe",
                                '"{root}\\package\\camsetup.exe" /S', "{root}\\package",
                                devices=[("E2E\\DEMO_CAMERA\\1", [CAMERA, "USB\\VID_5A3D"])])
        ok &= report(outcome, fill) and len(outcome.started) == 1
        print()
        print("2. No camera is attached; camsetup.exe is started with no arguments")
        outcome, fill = lab.run("demo-no-camera", package_files(), args.launcher,
                                "package/camsetup.exe", '"{root}\\package\\camsetup.exe"',
                                "{root}\\package", desktop="demo,%dx%d" % SCREEN,
                                on_box=lambda l: l.screenshot(screenshot, trim=True))
        ok &= report(outcome, fill) and len(outcome.boxes) == 1
        print("  screenshot of the message box: %s" % screenshot)
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
