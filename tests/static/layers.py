#!/usr/bin/env python3
"""Checks every #include between the stub's folders against the layer table of
ARCHITECTURE.md (the rows between "<!-- layers -->" and "<!-- /layers -->") and its
exceptions (the rows between "<!-- layer-exceptions -->" and "<!-- /layer-exceptions -->").

  layers.py SOURCE_DIR          check the tree; one line per include against the table
  layers.py --self-test SOURCE_DIR
                                also prove that a planted upward include is caught
"""
import os
import re
import shutil
import sys
import tempfile

FOLDERS = ("system", "folders", "ui", "internet", "package", "agent", "driver")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([a-z]+)/([^"]+)"')
CELL = re.compile(r"`([^`]+)`")


def table_rows(text, marker):
    begin, end = f"<!-- {marker} -->", f"<!-- /{marker} -->"
    if begin not in text or end not in text:
        raise SystemExit(f"layers: ARCHITECTURE.md has no {begin} ... {end} table")
    rows = []
    for line in text.split(begin, 1)[1].split(end, 1)[0].splitlines():
        cells = [c.strip() for c in line.strip().strip("|").split("|")]
        if len(cells) < 2 or set(cells[0]) <= set("-: ") or not CELL.search(cells[0]):
            continue
        rows.append([CELL.findall(c) for c in cells])
    return rows


def read_tables(source_dir):
    with open(os.path.join(source_dir, "ARCHITECTURE.md"), encoding="utf-8") as f:
        text = f.read()
    allowed = {}
    for row in table_rows(text, "layers"):
        folder = row[0][0].rstrip("/")
        allowed[folder] = {name.rstrip("/") for name in row[-1]}
    missing = [f for f in FOLDERS if f not in allowed]
    if missing:
        raise SystemExit(f"layers: the layer table has no row for {', '.join(missing)}")
    exceptions = set()
    for row in table_rows(text, "layer-exceptions"):
        for source in row[0]:
            for header in row[1]:
                exceptions.add((source, header))
    return allowed, exceptions


def violations(source_dir, allowed, exceptions):
    found = []
    for folder in FOLDERS:
        directory = os.path.join(source_dir, folder)
        for name in sorted(os.listdir(directory)):
            if not name.endswith((".h", ".cpp")):
                continue
            source = f"{folder}/{name}"
            with open(os.path.join(directory, name), encoding="utf-8", errors="replace") as f:
                for number, line in enumerate(f, 1):
                    match = INCLUDE.match(line)
                    if not match or match.group(1) not in FOLDERS:
                        continue
                    target = match.group(1)
                    header = f"{target}/{match.group(2)}"
                    if target == folder or target in allowed[folder]:
                        continue
                    if (source, header) in exceptions:
                        continue
                    found.append(f"{source}:{number}: {folder}/ may not include {header} "
                                 f"(ARCHITECTURE.md, \"Layers\")")
    return found


def check(source_dir):
    allowed, exceptions = read_tables(source_dir)
    found = violations(source_dir, allowed, exceptions)
    for line in found:
        print(line)
    return not found


def self_test(source_dir):
    """A copy of the tree with system/ including driver/ must fail the check."""
    with tempfile.TemporaryDirectory() as scratch:
        for folder in FOLDERS:
            shutil.copytree(os.path.join(source_dir, folder), os.path.join(scratch, folder))
        shutil.copy(os.path.join(source_dir, "ARCHITECTURE.md"), scratch)
        with open(os.path.join(scratch, "system", "Planted.cpp"), "w") as f:
            f.write('#include "driver/StubWin.h"\n')
        allowed, exceptions = read_tables(scratch)
        found = violations(scratch, allowed, exceptions)
        if found != ['system/Planted.cpp:1: system/ may not include driver/StubWin.h '
                     '(ARCHITECTURE.md, "Layers")']:
            print("layers: the planted upward include was not reported alone:", found)
            return False
    return True


def main(argv):
    args = argv[1:]
    planted = args[:1] == ["--self-test"]
    if planted:
        args = args[1:]
    if len(args) != 1:
        print(__doc__)
        return 2
    ok = check(args[0])
    if planted and not self_test(args[0]):
        ok = False
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
