#!/usr/bin/env python3
"""The documentation holds together:
  - every relative link between README.md and docs/*.md names a file that
    exists, and every anchor names a heading of its page (by GitHub's rule
    for heading anchors);
  - the tables that stand in more than one place say the same everywhere:
    the messages with their event IDs and the exit codes, in docs/*.md and
    in the release's README.txt, and both agree with the launcher's code;
  - the checker guide's table of rules is the checker's own list.

usage: docs_test.py PROJECT_ROOT
"""
import re
import sys
import tempfile
import unicodedata
import unittest
from pathlib import Path

ROOT = None  # set from the command line


# ---- Markdown ----

FENCE = re.compile(r"^\s*(```|~~~)")


def outside_fences(text):
    """The lines of `text` outside fenced code blocks, with their numbers."""
    fenced = False
    for number, line in enumerate(text.splitlines(), 1):
        if FENCE.match(line):
            fenced = not fenced
            continue
        if not fenced:
            yield number, line


def heading_text(markdown):
    """A heading's text as GitHub renders it: links by their text, no code
    or emphasis marks."""
    text = re.sub(r"!?\[([^\]]*)\]\([^)]*\)", r"\1", markdown)
    return text.replace("`", "").replace("*", "")


def slug(text):
    """GitHub's anchor for a heading: lower case, punctuation but '-' and
    '_' dropped, each space a '-'."""
    kept = []
    for ch in text.strip().lower():
        category = unicodedata.category(ch)
        if ch in " -_" or category[0] in "LMN" or category == "Pc":
            kept.append(ch)
    return "".join(kept).replace(" ", "-")


def anchors(text):
    """Every anchor of a page: its headings' slugs, a repeated slug with -1,
    -2, ... as GitHub numbers them, and explicit HTML anchors."""
    found = set()
    seen = {}
    for _, line in outside_fences(text):
        m = re.match(r"^ {0,3}#{1,6}\s+(.*?)\s*#*\s*$", line)
        if m:
            base = slug(heading_text(m.group(1)))
            n = seen.get(base, 0)
            seen[base] = n + 1
            found.add(base if n == 0 else "%s-%d" % (base, n))
        for m in re.finditer(r"<a\s+(?:name|id)=\"([^\"]+)\"", line):
            found.add(m.group(1))
    return found


INLINE_LINK = re.compile(r"!?\[[^\]]*\]\(\s*<?([^)\s>]+)>?(?:\s+\"[^\"]*\")?\s*\)")
REFERENCE = re.compile(r"^\s{0,3}\[[^\]]+\]:\s*<?(\S+?)>?(?:\s+\"[^\"]*\")?\s*$")


def links(text):
    """(line number, target) of every link and image of a page, outside code."""
    for number, line in outside_fences(text):
        line = re.sub(r"(`+).*?\1", "", line)  # inline code spans
        m = REFERENCE.match(line)
        if m:
            yield number, m.group(1)
            continue
        for m in INLINE_LINK.finditer(line):
            yield number, m.group(1)


def is_external(target):
    return re.match(r"^[A-Za-z][A-Za-z0-9+.-]*:", target) is not None


def markdown_pages():
    return [ROOT / "README.md"] + sorted((ROOT / "docs").glob("*.md"))


def broken_links(pages):
    """(page, line, target, reason) of every relative link that does not
    resolve, and the number of relative links checked."""
    broken = []
    checked = 0
    anchor_cache = {}
    for page in pages:
        for number, target in links(page.read_text(encoding="utf-8")):
            if is_external(target):
                continue
            checked += 1
            path_part, _, anchor = target.partition("#")
            dest = (page.parent / path_part).resolve() if path_part else page
            if not dest.exists():
                broken.append((page, number, target, "no such file"))
                continue
            if anchor and dest.suffix == ".md":
                if dest not in anchor_cache:
                    anchor_cache[dest] = anchors(dest.read_text(encoding="utf-8"))
                if anchor not in anchor_cache[dest]:
                    broken.append((page, number, target, "no such heading"))
    return broken, checked


def markdown_tables(text, first_header):
    """The body rows (lists of cells) of every table whose first header
    cell is `first_header`."""
    tables = []
    rows = None
    for _, line in outside_fences(text):
        if not line.startswith("|"):
            rows = None
            continue
        cells = [c.strip() for c in line.strip().strip("|").split("|")]
        if rows is None:
            rows = [] if cells[0] == first_header else False
            if rows is not False:
                tables.append(rows)
            continue
        if rows is False or re.fullmatch(r"[-: ]+", "".join(cells)):
            continue
        rows.append(cells)
    return tables


def release_readme():
    return (ROOT / "release" / "README.txt").read_text(encoding="utf-8")


def text_section(text, title):
    """The body of a section of README.txt: from its underlined title to
    the next underlined title."""
    lines = text.splitlines()
    for i, line in enumerate(lines):
        if line == title and i + 1 < len(lines) and re.fullmatch(r"-{3,}", lines[i + 1]):
            body = []
            for j in range(i + 2, len(lines)):
                if j + 1 < len(lines) and re.fullmatch(r"-{3,}", lines[j + 1]) and lines[j]:
                    break
                body.append(lines[j])
            return "\n".join(body)
    raise AssertionError("README.txt has no section %r" % title)


def numbers(text):
    return {int(n) for n in re.findall(r"\b\d+\b", text)}


def source(*parts):
    return (ROOT.joinpath(*parts)).read_text(encoding="utf-8")


# ---- The messages ----

def docs_message_rows():
    """{page: [(message as written, [event IDs], whether a warning)]} of
    the message tables in README.md and docs/*.md."""
    found = {}
    for page in markdown_pages():
        for table in markdown_tables(page.read_text(encoding="utf-8"), "Message"):
            found.setdefault(page, []).extend(
                (row[0], [int(n) for n in re.findall(r"\d+", row[-1])], "warning" in row[-1])
                for row in table)
    return found


def plain(markdown_message):
    """A message as plain text: *N* as N."""
    return markdown_message.replace("*", "").replace("`", "")


def split_pairs(message, ids):
    """A row "a / b" with IDs "1 / 2" as the messages a and b, each with
    its own ID."""
    parts = message.split(" / ")
    if len(parts) > 1 and len(parts) == len(ids):
        return list(zip(parts, ids))
    return [(message, i) for i in ids]


def release_message_rows():
    body = text_section(release_readme(), "What the user sees")
    rows = []
    for line in body.splitlines():
        m = re.match(r"^  (\S.*?)\s+\(events? (\d+(?: / \d+)*)\)$", line)
        if m:
            rows.append((m.group(1), [int(n) for n in m.group(2).split(" / ")]))
    return rows


def launcher_events():
    """{enum name: (event ID, is a warning)} from EventOf."""
    events = {}
    for m in re.finditer(r"case Message::(k\w+): return \{kEventlog(Error|Warning)Type, (\d+)\}",
                         source("src", "launcher", "entry.cpp")):
        events[m.group(1)] = (int(m.group(3)), m.group(2) == "Warning")
    return events


def launcher_message_enum(markdown_message):
    """The Message enumerator shown with a text, found in the launcher's
    source by the text's literal (placeholders *N*, *n* as %d): the one
    just before it, as in ShowMessage(Message::kX, "text"), else the first
    after it, where the text is formatted first."""
    literal = '"' + re.sub(r"\*\w\*", "%d", markdown_message) + '"'
    for path in sorted((ROOT / "src" / "launcher").glob("*.cpp")):
        text = path.read_text(encoding="utf-8")
        at = text.find(literal)
        if at < 0:
            continue
        before = re.search(r"Message::(k\w+),\s*$", text[:at])
        if before:
            return before.group(1)
        after = re.compile(r"Message::(k\w+)").search(text, at)
        return after.group(1) if after else None
    return None


# ---- The exit codes ----

def docs_exit_rows():
    """{page: [(outcome, exit-code cell)]} of the exit-code tables."""
    found = {}
    for page in markdown_pages():
        for table in markdown_tables(page.read_text(encoding="utf-8"), "Outcome"):
            found.setdefault(page, []).extend((row[0], row[1]) for row in table)
    return found


def release_exit_rows():
    """(outcome, exit-code text) of README.txt's exit-code table: rows at an
    indent of two, the code column after a gap, continued on lines that are
    indented further."""
    body = text_section(release_readme(), "Deployment tools")
    start = body.index("ExitCode=Installer")
    rows = []
    for line in body[start:].splitlines()[1:]:
        if line.startswith("None of"):
            break
        m = re.match(r"^  (\S.*?)\s{2,}(\S.*)$", line)
        if m:
            rows.append([m.group(1), m.group(2)])
        elif rows and re.match(r"^\s{10,}\S", line):
            rows[-1][1] += " " + line.strip()
    return [tuple(r) for r in rows]


def error_names(text):
    return set(re.findall(r"ERROR_[A-Z_]+", text))


def own_codes_claim(text):
    """The codes listed in "... gives of its own (31, ...)"."""
    m = re.search(r"gives of its own \(([\d, ]+)\)", " ".join(text.split()))
    return {int(n) for n in m.group(1).split(",")} if m else None


def launcher_exit_constants():
    return {int(n) for n in re.findall(r"constexpr Dword kError\w+ = (\d+);",
                                       source("src", "launcher", "launcher.h"))}


# ---- Tests ----

class HeadingAnchors(unittest.TestCase):
    """The anchors this test expects are those GitHub makes."""

    def test_slugs_of_known_headings(self):
        cases = {
            "Switches in `Path`": "switches-in-path",
            "setup.ini": "setupini",
            "For package makers: camsetup-check": "for-package-makers-camsetup-check",
            "Package folders with non-ASCII names": "package-folders-with-non-ascii-names",
            "The x86 virtual machine": "the-x86-virtual-machine",
            "Names with_underscores -- and dashes": "names-with_underscores----and-dashes",
            "Über die Kamera (カメラ)": "über-die-kamera-カメラ",
            "[Linked](x.md) heading": "linked-heading",
        }
        for heading, expected in cases.items():
            with self.subTest(heading=heading):
                self.assertEqual(slug(heading_text(heading)), expected)

    def test_repeated_headings_are_numbered(self):
        text = "# Intune\n## Intune\n```\n# not a heading\n```\n### Intune\n## Other\n"
        self.assertEqual(anchors(text), {"intune", "intune-1", "intune-2", "other"})


class Links(unittest.TestCase):

    def test_every_relative_link_and_anchor_resolves(self):
        broken, checked = broken_links(markdown_pages())
        self.assertGreater(checked, 0, "no relative links found: the link scan reads nothing")
        self.assertEqual([], ["%s:%d: %s (%s)" % (p.relative_to(ROOT), n, t, why)
                              for p, n, t, why in broken])

    def test_readme_links_every_guide(self):
        targets = {t.partition("#")[0] for _, t in links(source("README.md"))}
        guides = sorted((ROOT / "docs").glob("*.md"))
        self.assertTrue(guides, "docs/ holds no guide")
        for guide in guides:
            with self.subTest(guide=guide.name):
                self.assertIn("docs/" + guide.name, targets)

    def test_a_broken_link_and_a_broken_anchor_are_found(self):
        # The scan itself, on a page made for it: a missing file, a missing
        # heading, and links in code that must not count.
        with tempfile.TemporaryDirectory() as folder:
            page = Path(folder) / "page.md"
            page.write_text("# Title\n[ok](#title) [gone](nowhere.md) [bad](#no-such)\n"
                            "`[code](nowhere.md)`\n```\n[fenced](nowhere.md)\n```\n"
                            "![image](page.md#title)\n", encoding="utf-8")
            broken, checked = broken_links([page])
        self.assertEqual(checked, 4)
        self.assertEqual(sorted((n, t, why) for _, n, t, why in broken),
                         [(2, "#no-such", "no such heading"), (2, "nowhere.md", "no such file")])


class MessageTable(unittest.TestCase):
    """The messages with their event IDs: in the guides, in README.txt and
    in the launcher's code."""

    def setUp(self):
        self.docs = docs_message_rows()
        self.assertTrue(self.docs, "no message table in README.md or docs/*.md")
        self.release = release_message_rows()
        self.assertTrue(self.release, "no message rows in README.txt")

    def test_every_copy_gives_the_same_messages_and_event_ids(self):
        expected = sorted(self.release)
        for page, rows in self.docs.items():
            with self.subTest(page=page.name):
                self.assertEqual(sorted((plain(m), ids) for m, ids, _ in rows), expected)

    def test_the_messages_and_event_ids_are_the_launchers(self):
        events = launcher_events()
        self.assertTrue(events, "no event IDs read from EventOf")
        documented = set()
        for rows in self.docs.values():
            for message, ids, warning in rows:
                for text, event_id in split_pairs(message, ids):
                    with self.subTest(message=text):
                        enum = launcher_message_enum(text)
                        self.assertIsNotNone(enum, "the launcher shows no such text")
                        self.assertIn(enum, events)
                        self.assertEqual(events[enum][0], event_id)
                        self.assertEqual(events[enum][1], warning,
                                         "the record's level (warning) differs")
                        documented.add(enum)
        self.assertEqual(documented, set(events), "messages of EventOf not documented")


class ExitCodeTable(unittest.TestCase):
    """The exit codes with ExitCode=Installer: in the guides, in README.txt
    and in the launcher's code."""

    def setUp(self):
        self.docs = docs_exit_rows()
        self.assertTrue(self.docs, "no exit-code table in README.md or docs/*.md")
        self.release = release_exit_rows()
        self.assertTrue(self.release, "no exit-code rows in README.txt")

    def test_every_copy_gives_the_same_codes_row_by_row(self):
        expected = [(numbers(code), error_names(code)) for _, code in self.release]
        for page, rows in self.docs.items():
            with self.subTest(page=page.name):
                self.assertEqual([(numbers(code), error_names(code)) for _, code in rows],
                                 expected)

    def test_the_launchers_own_codes_are_documented(self):
        constants = launcher_exit_constants()
        self.assertTrue(constants, "no exit codes read from launcher.h")
        for page, rows in self.docs.items():
            with self.subTest(page=page.name):
                listed = set().union(*(numbers(code) for _, code in rows))
                self.assertLessEqual(constants, listed)
        texts = {page.name: page.read_text(encoding="utf-8") for page in self.docs}
        texts["README.txt"] = release_readme()
        for name, text in texts.items():
            with self.subTest(claim_in=name):
                self.assertEqual(own_codes_claim(text), constants)


class CheckerRules(unittest.TestCase):

    def test_the_guide_lists_the_checkers_rules(self):
        rules = [(m.group(1), m.group(2), "error" if m.group(3) == "E" else "warning")
                 for m in re.finditer(r'\{"(CAMSETUP\d{3})",\s*"(\w+)",\s*([WE]),',
                                      source("src", "check", "rules.cpp"))]
        self.assertTrue(rules, "no rules read from rules.cpp")
        tables = markdown_tables(source("docs", "checker.md"), "Rule")
        self.assertEqual(len(tables), 1, "docs/checker.md should hold one table of rules")
        self.assertEqual([(r[0], r[1], r[2]) for r in tables[0]], rules)


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    ROOT = Path(sys.argv[1]).resolve()
    unittest.main(argv=[sys.argv[0]], verbosity=2)
