#!/usr/bin/env python3
"""Reads every profile file in tests/profiles with the Linux profile reader
and with Windows' own reader under Wine, the same queries of each, and
compares the values byte for byte.

usage: profile_diff.py --host-dump EXE --win-dump EXE --driver EXE --standin EXE --work DIR
Exit status 0 when all agree, 1 otherwise, 77 when the Linux tool is not built.
"""
import argparse
import shutil
import subprocess
import sys
from pathlib import Path

from winelab import Lab

HERE = Path(__file__).resolve().parent
PROFILES = HERE.parent / "profiles"
SECTIONS = ["Camera1", "camera1", " Camera1 ", "Camera2", "Camera3", "Camera10", "Other"]
KEYS = ["Path", "PID", "path", " PID ", "KeyBefore"]


def main():
    parser = argparse.ArgumentParser()
    for name in ("host-dump", "win-dump", "driver", "standin", "work"):
        parser.add_argument("--" + name, required=True, type=Path)
    args = parser.parse_args()
    if not args.host_dump.exists():
        print("SKIPPED: the Linux profile reader's tool is not built (%s); build the host "
              "preset first" % args.host_dump)
        return 77

    work = args.work.resolve()
    queries = work / "profile-queries.txt"
    work.mkdir(parents=True, exist_ok=True)
    queries.write_text("".join("%s\t%s\n" % (s, k) for s in SECTIONS for k in KEYS))
    failures = 0
    with Lab(work, args.driver, args.standin) as lab:
        tools = lab.prefix / "drive_c" / "profile-diff"
        shutil.rmtree(tools, ignore_errors=True)
        tools.mkdir(parents=True)
        shutil.copyfile(args.win_dump, tools / "profile_dump.exe")
        shutil.copyfile(queries, tools / "queries.txt")
        for profile in sorted(PROFILES.glob("*.ini")):
            shutil.copyfile(profile, tools / profile.name)
            win_out = tools / (profile.stem + ".windows.txt")
            host_out = work / (profile.stem + ".linux.txt")
            lab.wine(["wine", lab.windows_path(tools / "profile_dump.exe"),
                      lab.windows_path(tools / profile.name), lab.windows_path(tools / "queries.txt"),
                      lab.windows_path(win_out)], "profile-diff.log")
            subprocess.run([str(args.host_dump), str(profile), str(queries), str(host_out)],
                           check=True)
            windows = win_out.read_bytes().splitlines() if win_out.exists() else []
            linux = host_out.read_bytes().splitlines()
            differences = [(w, l) for w, l in zip(windows, linux) if w != l]
            if len(windows) != len(linux):
                differences.append(("%d answers" % len(windows), "%d answers" % len(linux)))
            print("%-4s %s" % ("ok" if not differences else "FAIL", profile.name))
            for w, l in differences:
                print("    windows %s\n    linux   %s" % (w, l))
            failures += bool(differences)
    print("%d profile file(s) read differently" % failures)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
