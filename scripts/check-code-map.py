#!/usr/bin/env python3
"""Fails when a source file of the project is not named in the code map (docs/architecture.md).

A file counts as named when its name stands in backticks in the map, alone or at the end of a path;
`Name.h/.cpp` names both files, and a contract's header in src/platform names its implementations in
posix/ and windows/. Run by scripts/test.sh, so that the map cannot go stale unnoticed.
"""

import pathlib
import re
import subprocess
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
MAP = ROOT / "docs" / "architecture.md"
# The folders the map describes, and the kinds of file in them that are code.
FOLDERS = ("src", "tools", "tests", "fuzz", "bench", "scripts", "cmake", "resources", "examples")
CODE = re.compile(r"\.(h|c|cpp|cmake|in|py|sh|js|html|css|rc|manifest|ignorelist)$")


def named_in_map(text):
    names = set()
    for span in re.findall(r"`([^`\n]+)`", text):
        for part in re.split(r",\s*", span):
            path = part.strip().rstrip("/")
            leaf = path.split("/")[-1]
            names.add(leaf)
            # `Name.h/.cpp`, `page.html/.css/.js`: each extension belongs to the same stem.
            match = re.fullmatch(r"(?:.+/)?([^/.]+)((?:\.\w+)(?:/\.\w+)+)", path)
            if match:
                names.update(match.group(1) + extension for extension in match.group(2).split("/"))
    return names


def is_named(file, names):
    path = pathlib.PurePosixPath(file)
    if path.name in names:
        return True
    # A platform's implementation of a contract is named by the contract's header.
    return (len(path.parts) == 4 and path.parts[:2] == ("src", "platform") and path.suffix == ".cpp"
            and (ROOT / "src" / "platform" / (path.stem + ".h")).is_file() and path.stem + ".h" in names)


def project_files():
    listed = subprocess.run(
        ["git", "ls-files", "--cached", "--others", "--exclude-standard", "--", *FOLDERS],
        cwd=ROOT, check=True, capture_output=True, text=True).stdout.split("\n")
    for name in listed:
        path = ROOT / name
        # Recorded data and corpora are described by their folder.
        if name and CODE.search(name) and path.is_file() and "/corpus/" not in name and "/data/" not in name:
            yield name


def main():
    names = named_in_map(MAP.read_text(encoding="utf-8"))
    missing = sorted(f for f in project_files() if not is_named(f, names))
    if missing:
        print("Not named in docs/architecture.md's code map:", *missing, sep="\n  ")
        return 1
    print("code map: every source file is named")
    return 0


if __name__ == "__main__":
    sys.exit(main())
