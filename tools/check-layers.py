#!/usr/bin/env python3
"""Checks that every folder includes only folders below it.

The program's layers, lowest first; a folder may include its own layer and any
layer below. The simulator sits on the TAPI ABI and has layers of its own.
Prints file:line for every include against them and exits 1.
"""
import pathlib
import re
import sys

# Layer of each source folder (the longest matching prefix wins).
PROGRAM = {
    "platform": 0,
    "tapi": 1,
    "reports": 2,
    "monitor": 3,
    "presentation": 3,
    "views": 4,
    "win32": 5,
    "views/win": 6,
    "app": 7,
}
SIMULATOR = {"model": 10, "service": 11, "dll": 12}

# Where each tree's quoted includes are looked up, and which folders they may reach.
TREES = [
    ("src", PROGRAM, PROGRAM),
    ("sim", SIMULATOR, {**SIMULATOR, "platform": 0, "tapi": 1}),
]
# The toolkit is reusable: it sees the platform and the tree-control seam, nothing else.
WIN32_MAY_INCLUDE = ("platform/", "monitor/TreeCtrl.h")

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def layer_of(path, layers):
    best = None
    for folder in layers:
        if path == folder or path.startswith(folder + "/"):
            if best is None or len(folder) > len(best):
                best = folder
    return best


def check(root):
    errors = []
    for tree, own_layers, reachable in TREES:
        base = root / tree
        for source in sorted(base.rglob("*")):
            if source.suffix not in (".h", ".cpp", ".rc") or not source.is_file():
                continue
            rel = source.relative_to(base).as_posix()
            folder = layer_of(rel, own_layers)
            if folder is None:
                continue
            for number, line in enumerate(source.read_text(errors="replace").splitlines(), 1):
                match = INCLUDE.match(line)
                if not match:
                    continue
                target = match.group(1)
                target_folder = layer_of(target, reachable)
                if target_folder is None:
                    continue  # a file beside it or a generated header
                where = f"{tree}/{rel}:{number}"
                if reachable[target_folder] > own_layers[folder]:
                    errors.append(f"{where}: {folder}/ includes {target}, from a layer above it")
                elif folder == "win32" and not target.startswith(WIN32_MAY_INCLUDE) \
                        and not target.startswith("win32/"):
                    errors.append(f"{where}: the toolkit includes {target}; it sees only the platform "
                                  "and the tree-control seam")
    return errors


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).resolve().parent.parent)
    errors = check(root)
    for error in errors:
        print(error, file=sys.stderr)
    if errors:
        print(f"{len(errors)} include(s) against the layers", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
