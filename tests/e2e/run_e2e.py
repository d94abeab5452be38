#!/usr/bin/env python3
"""Runs camsetup.exe under Wine against a table of scenarios.

Each scenario lays out a package folder in a private Wine prefix (setup.ini,
stand-in installers, decoys), simulates present USB devices in the prefix's
registry, and has the test driver start the launcher with a given command
line and current directory. The driver records the debugger output, the
message boxes (and dismisses them) and the exit code; the stand-in
installers record how they were started. Everything is compared with the
scenario's expectations.

usage: run_e2e.py --launcher EXE --driver EXE --standin EXE --work DIR [--only NAME]
Exit status 0 when every scenario passed, 1 otherwise, 77 when this Wine
cannot run the launcher's architecture.
"""
import argparse
import dataclasses
import shutil
import sys
import time
from pathlib import Path

from winelab import MARKER, STANDIN, Lab, ini, wine32_problem

SKIP = 77
CAPTION = "Error info"
NOT_FOUND = "Velmora Webcam Device(Oskendal) was not found!"


@dataclasses.dataclass
class Scenario:
    name: str
    files: dict  # path in the scenario folder (/-separated) -> bytes or STANDIN
    expect_debug: list
    expect_boxes: list
    expect_started: list  # (installer path in the scenario folder, command line, cwd)
    devices: list = dataclasses.field(default_factory=list)  # (instance id, [ids] or None)
    launcher: str = "pkg/camsetup.exe"
    command_line: str = '"{root}\\pkg\\camsetup.exe"'
    cwd: str = "{root}\\pkg"
    japanese: bool = False
    dirs: list = dataclasses.field(default_factory=list)


def dev(n, *ids):
    return ("E2E\\DEV_%02d\\1" % n, list(ids))


TWO_MODELS = {
    "pkg/setup.ini": ini((1, "Cam1\\setup.exe", "1111"), (2, "Cam2\\setup.exe", "ABCD")),
    "pkg/Cam1/setup.exe": STANDIN,
    "pkg/Cam2/setup.exe": STANDIN,
}
CAM2 = '"{root}\\pkg\\Cam2\\setup.exe"'
TAIL_254 = "/" + "x" * 253
TAIL_255 = "/" + "x" * 254

SCENARIOS = [
    # The typical run: two models, the second one's code in the first
    # hardware ID, one argument; the installer ends with an error of its own.
    Scenario("typical_run", TWO_MODELS,
             devices=[dev(0, "USB\\VID_5A3D&PID_ABCD&REV_0100", "USB\\VID_5A3D&PID_ABCD")],
             command_line='"{root}\\pkg\\camsetup.exe" /S',
             expect_debug=[CAM2 + " /S"], expect_boxes=[],
             expect_started=[("pkg/Cam2/setup.exe", CAM2 + " /S", "{root}\\pkg")]),
    Scenario("no_device_no_arguments", TWO_MODELS,
             expect_debug=[""], expect_boxes=[NOT_FOUND], expect_started=[]),
    Scenario("no_device_with_arguments", TWO_MODELS,
             command_line='"{root}\\pkg\\camsetup.exe" /S  "/D=C:\\a b"',
             expect_debug=[' /S  "/D=C:\\a b"'], expect_boxes=[NOT_FOUND], expect_started=[]),
    Scenario("other_vendor_only", TWO_MODELS,
             devices=[dev(0, "USB\\VID_1234&PID_ABCD"), dev(1, "USB\\VID_5A3D&PID_9999")],
             expect_debug=[""], expect_boxes=[NOT_FOUND], expect_started=[]),
    Scenario("match_without_arguments", TWO_MODELS,
             devices=[dev(0, "USB\\VID_5A3D&PID_1111&REV_0001")],
             expect_debug=['"{root}\\pkg\\Cam1\\setup.exe"'], expect_boxes=[],
             expect_started=[("pkg/Cam1/setup.exe", '"{root}\\pkg\\Cam1\\setup.exe"',
                              "{root}\\pkg")]),
    Scenario("later_device_wins_unreadable_skipped", TWO_MODELS,
             devices=[dev(0, "USB\\VID_5A3D&PID_ABCD"), ("E2E\\DEV_01\\1", None),
                      dev(2, "usb\\vid_5a3d&pid_1111")],
             expect_debug=['"{root}\\pkg\\Cam1\\setup.exe"'], expect_boxes=[],
             expect_started=[("pkg/Cam1/setup.exe", '"{root}\\pkg\\Cam1\\setup.exe"',
                              "{root}\\pkg")]),
    Scenario("current_directory_handed_on", TWO_MODELS, dirs=["elsewhere"],
             devices=[dev(0, "USB\\VID_5A3D&PID_ABCD")],
             command_line='"{root}\\pkg\\camsetup.exe" -q', cwd="{root}\\elsewhere",
             expect_debug=[CAM2 + " -q"], expect_boxes=[],
             expect_started=[("pkg/Cam2/setup.exe", CAM2 + " -q", "{root}\\elsewhere")]),
    Scenario("missing_installer",
             {"pkg/setup.ini": ini((1, "Cam1\\missing.exe", "ABCD"))},
             devices=[dev(0, "USB\\VID_5A3D&PID_ABCD")],
             command_line='"{root}\\pkg\\camsetup.exe" /S',
             expect_debug=['"{root}\\pkg\\Cam1\\missing.exe" /S'],
             expect_boxes=["Run driver insatll fail"], expect_started=[]),
    Scenario("overlong_path",
             {"pkg/setup.ini": ini((1, "p" * 251, "ABCD"), (2, "Cam2\\setup.exe", "ABCD")),
              "pkg/Cam2/setup.exe": STANDIN},
             devices=[dev(0, "USB\\VID_5A3D&PID_ABCD")],
             expect_debug=[], expect_boxes=["Camera1 Path string too long > 250 character"],
             expect_started=[]),
    Scenario("overlong_pid",
             {"pkg/setup.ini": ini((1, "Cam1\\setup.exe", "ABCD"),
                                   (2, "Cam2\\setup.exe", "A" * 252)),
              "pkg/Cam1/setup.exe": STANDIN},
             devices=[dev(0, "USB\\VID_5A3D&PID_ABCD")],
             expect_debug=[], expect_boxes=["Camera2 PIDS string too long > 250 character"],
             expect_started=[]),
    Scenario("tail_of_254_bytes", TWO_MODELS, devices=[dev(0, "USB\\VID_5A3D&PID_ABCD")],
             command_line='"{root}\\pkg\\camsetup.exe" ' + TAIL_254,
             expect_debug=[CAM2 + " " + TAIL_254], expect_boxes=[],
             expect_started=[("pkg/Cam2/setup.exe", CAM2 + " " + TAIL_254, "{root}\\pkg")]),
    Scenario("tail_of_255_bytes_dropped", TWO_MODELS, devices=[dev(0, "USB\\VID_5A3D&PID_ABCD")],
             command_line='"{root}\\pkg\\camsetup.exe" ' + TAIL_255,
             expect_debug=[CAM2], expect_boxes=[],
             expect_started=[("pkg/Cam2/setup.exe", CAM2, "{root}\\pkg")]),
    # Blanks in the launcher's own path and in the install path; programs
    # planted at every prefix of the install path must not run.
    Scenario("blanks_in_paths_with_decoys",
             {"Vendor Pkg/setup.ini": ini((1, "Model A\\set up.exe", "ABCD")),
              "Vendor Pkg/Model A/set up.exe": STANDIN,
              "Vendor.exe": STANDIN,
              "Vendor Pkg/Model.exe": STANDIN,
              "Vendor Pkg/Model A/set.exe": STANDIN},
             launcher="Vendor Pkg/camsetup.exe",
             devices=[dev(0, "USB\\VID_5A3D&PID_ABCD")],
             command_line='"{root}\\Vendor Pkg\\camsetup.exe" /S',
             cwd="{root}\\Vendor Pkg",
             expect_debug=['"{root}\\Vendor Pkg\\Model A\\set up.exe" /S'], expect_boxes=[],
             expect_started=[("Vendor Pkg/Model A/set up.exe",
                              '"{root}\\Vendor Pkg\\Model A\\set up.exe" /S',
                              "{root}\\Vendor Pkg")]),
    # Code page 932: ソ is 0x83 0x5C, so a byte search for the last backslash
    # would take the launcher's folder to be "...\pkg\ソ" cut in half.
    Scenario("japanese_launcher_name",
             {"pkg/setup.ini": ini((1, "カメラ\\setup.exe", "ABCD")),
              "pkg/カメラ/setup.exe": STANDIN,
              "pkg/ソ/setup.ini": ini((1, "decoy.exe", "ABCD")),
              "pkg/ソ/decoy.exe": STANDIN},
             launcher="pkg/ソフト.exe", japanese=True,
             devices=[dev(0, "USB\\VID_5A3D&PID_ABCD")],
             command_line='"{root}\\pkg\\ソフト.exe" /S',
             expect_debug=['"{root}\\pkg\\カメラ\\setup.exe" /S'], expect_boxes=[],
             expect_started=[("pkg/カメラ/setup.exe", '"{root}\\pkg\\カメラ\\setup.exe" /S',
                              "{root}\\pkg")]),
    # ヂ is 0x83 0x61 and ア is 0x83 0x41: upper-casing or searching byte by
    # byte would find ABCD in both hardware IDs.
    Scenario("japanese_hardware_ids_no_false_match",
             {"pkg/setup.ini": ini((1, "Cam1\\setup.exe", "ABCD"), (2, "Cam2\\setup.exe", "ＡＢ")),
              "pkg/Cam1/setup.exe": STANDIN, "pkg/Cam2/setup.exe": STANDIN},
             japanese=True,
             devices=[dev(0, "USB\\VID_5A3D&PID_ヂBCD"), dev(1, "USB\\VID_5A3D&PID_アBCD")],
             expect_debug=[""], expect_boxes=[NOT_FOUND], expect_started=[]),
    # Full-width letters are upper-cased as whole characters.
    Scenario("japanese_full_width_upper_case",
             {"pkg/setup.ini": ini((1, "Cam1\\setup.exe", "ABCD"), (2, "Cam2\\setup.exe", "ＡＢ")),
              "pkg/Cam1/setup.exe": STANDIN, "pkg/Cam2/setup.exe": STANDIN},
             japanese=True,
             devices=[dev(0, "USB\\VID_5A3D&PID_ａｂ")],
             expect_debug=[CAM2], expect_boxes=[],
             expect_started=[("pkg/Cam2/setup.exe", CAM2, "{root}\\pkg")]),
]

# DLLs that a launcher, or the system DLLs it loads, would look for in the
# program's folder: planted there, none may be loaded.
PLANTED = {"pkg/%s.dll" % name: MARKER
           for name in ("setupapi", "user32", "version", "uxtheme", "cfgmgr32", "imm32",
                        "comctl32", "dwmapi", "msimg32", "winmm", "usp10", "gdi32",
                        "advapi32", "sechost", "win32u")}
SCENARIOS += [
    Scenario("planted_dlls_camera_found", {**TWO_MODELS, **PLANTED},
             devices=[dev(0, "USB\\VID_5A3D&PID_ABCD")],
             command_line='"{root}\\pkg\\camsetup.exe" /S',
             expect_debug=[CAM2 + " /S"], expect_boxes=[],
             expect_started=[("pkg/Cam2/setup.exe", CAM2 + " /S", "{root}\\pkg")]),
    Scenario("planted_dlls_not_found", {**TWO_MODELS, **PLANTED},
             expect_debug=[""], expect_boxes=[NOT_FOUND], expect_started=[]),
]


def run_scenario(lab: Lab, s: Scenario, launcher: Path):
    outcome, fill = lab.run(s.name, s.files, launcher, s.launcher, s.command_line, s.cwd,
                            devices=s.devices, japanese=s.japanese, dirs=s.dirs)
    problems = []

    def check(what, got, want):
        if got != want:
            problems.append("%s:\n      got  %r\n      want %r" % (what, got, want))

    check("code page", outcome.code_page, 932 if s.japanese else 1252)
    check("debugger output", outcome.debug, [fill(t) for t in s.expect_debug])
    check("message boxes", outcome.boxes, [(CAPTION, text) for text in s.expect_boxes])
    check("started programs", outcome.started,
          [(p, fill(c), fill(d)) for p, c, d in s.expect_started])
    check("exit code", outcome.exits, [0])
    check("planted DLLs loaded", outcome.loaded_plants, [])
    check("driver problems", outcome.other, [])
    return problems, outcome.seconds


def time_launch(lab: Lab, launcher: Path, runs=7):
    """The launcher starting the stand-in installer, against the stand-in
    started directly: medians of the processes' run times, and their ratio."""
    camera = [dev(0, "USB\\VID_5A3D&PID_ABCD")]
    through, direct = [], []
    for i in range(runs):
        outcome, _ = lab.run("timing_launcher", TWO_MODELS, launcher, "pkg/camsetup.exe",
                             '"{root}\\pkg\\camsetup.exe" /S', "{root}\\pkg", devices=camera)
        through.append(outcome.microseconds)
        outcome, _ = lab.run("timing_direct", TWO_MODELS, lab.standin, "pkg/Cam2/direct.exe",
                             '"{root}\\pkg\\Cam2\\direct.exe" /S', "{root}\\pkg")
        direct.append(outcome.microseconds)
    if None in through or None in direct:
        print("FAIL timing: a run did not end")
        return False
    median = lambda values: sorted(values)[len(values) // 2]
    ratio = median(through) / median(direct)
    print("timing: launcher and installer %.1f ms, installer alone %.1f ms (medians of %d); "
          "ratio %.2f" % (median(through) / 1000, median(direct) / 1000, runs, ratio))
    # The launcher adds one process start and its own short work; a ratio far
    # above that would mean it waits or retries somewhere.
    return ratio < 20


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--launcher", required=True, type=Path)
    parser.add_argument("--driver", required=True, type=Path)
    parser.add_argument("--standin", required=True, type=Path)
    parser.add_argument("--marker", required=True, type=Path)
    parser.add_argument("--work", required=True, type=Path)
    parser.add_argument("--arch", default="x64", choices=["x64", "x86"])
    parser.add_argument("--only")
    parser.add_argument("--timing", action="store_true",
                        help="time the launcher against the installer alone instead")
    args = parser.parse_args()

    why = wine32_problem() if args.arch == "x86" else None
    if why:
        print("SKIPPED: the x86 launcher cannot run here: " + why)
        return SKIP
    for tool in ("wine", "Xvfb", "localedef"):
        if shutil.which(tool) is None:
            print("missing tool: " + tool)
            return 1

    total_start = time.monotonic()
    failures = 0
    with Lab(args.work, args.driver, args.standin, args.marker) as lab:
        if args.timing:
            return 0 if time_launch(lab, args.launcher) else 1
        for s in SCENARIOS:
            if args.only and s.name != args.only:
                continue
            problems, elapsed = run_scenario(lab, s, args.launcher)
            print("%-4s %-40s %5.1fs" % ("ok" if not problems else "FAIL", s.name, elapsed))
            for p in problems:
                print("    " + p)
            failures += bool(problems)
            sys.stdout.flush()
    print("%d scenario(s) failed; %.1fs in all" % (failures, time.monotonic() - total_start))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
