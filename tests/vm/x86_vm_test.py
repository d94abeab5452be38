#!/usr/bin/env python3
"""The x86 machine's image takes its Debian archive and proxy from apt."""
import os
import stat
import sys
import tempfile
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import x86_vm  # noqa: E402


class AptArchive(unittest.TestCase):
    def with_apt(self, indextargets, proxy_line):
        """apt-get and apt-config stand-ins on PATH that print these lines."""
        bin_dir = Path(self.tmp.name)
        for name, text in (("apt-get", indextargets), ("apt-config", proxy_line)):
            script = bin_dir / name
            if text is None:
                script.write_text("#!/bin/sh\nexit 100\n")
            else:
                script.write_text("#!/bin/sh\ncat <<'END'\n%s\nEND\n" % text)
            script.chmod(script.stat().st_mode | stat.S_IXUSR)
        os.environ["PATH"] = str(bin_dir) + os.pathsep + "/usr/bin:/bin"
        return x86_vm.apt_archive()

    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.path = os.environ["PATH"]

    def tearDown(self):
        os.environ["PATH"] = self.path
        self.tmp.cleanup()

    def test_cases(self):
        mirror = ("http://mirror.example/debian-security/ bookworm-security deb\n"
                  "http://mirror.example/debian-security/ bookworm-security deb-src\n"
                  "http://mirror.example/debian/ bookworm-updates deb\n"
                  "http://mirror.example/debian/ bookworm deb")
        for name, targets, proxy, want in (
                ("mirror, no proxy", mirror, "", ("http://mirror.example/debian/", None)),
                ("mirror and proxy", mirror, "PROXY='http://proxy:3128'",
                 ("http://mirror.example/debian/", "http://proxy:3128")),
                ("no bookworm suite", "http://x/ubuntu/ jammy deb", "", (None, None)),
                ("apt fails", None, None, (None, None))):
            with self.subTest(name):
                self.assertEqual(self.with_apt(targets, proxy), want)

    def test_no_archive_host_in_the_code(self):
        source = (Path(__file__).resolve().parent / "x86_vm.py").read_text()
        self.assertNotIn("deb.debian.org", source)


if __name__ == "__main__":
    unittest.main()
