#!/usr/bin/env python3
"""Keeps the dependencies of src/ running one way: a file may include headers
of its own room and of the rooms below it, never of a room above.

    check-rooms.py [SRC]             check SRC (default: src/ beside this script)
    check-rooms.py --self-test [SRC] check that a copy of SRC with an upward
                                     include added is caught

A room is the first folder under src/; platform/win32 and platform/posix
belong to platform. Exits 1 and names every upward include it finds.
"""
import pathlib
import re
import shutil
import sys
import tempfile

# From the ground up. Core holds what every room may use; the subsystems
# follow in the order they build on each other; engine wires them together;
# api is the library's face.
ROOMS = ["platform", "core", "clock", "sound", "mixer", "input", "audio", "engine", "api"]

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.MULTILINE)


def rank(room):
    return ROOMS.index(room) if room in ROOMS else None


def upward_includes(src):
    """(file, included, why) for every include that runs the wrong way."""
    found = []
    for path in sorted(src.rglob("*")):
        if path.suffix not in (".h", ".cpp") or not path.is_file():
            continue
        relative = path.relative_to(src).as_posix()
        room = relative.split("/")[0]
        if rank(room) is None:
            found.append((relative, "", f"room {room}/ has no place in the order"))
            continue
        for included in INCLUDE.findall(path.read_text(encoding="utf-8", errors="replace")):
            target = included.split("/")[0]
            if "/" not in included or rank(target) is None:
                continue  # cantrelle.h and the like: not a room of src/
            if rank(target) > rank(room):
                found.append((relative, included, f"{room}/ is below {target}/"))
    return found


def check(src):
    found = upward_includes(src)
    for relative, included, why in found:
        print(f"upward include: {relative} includes {included} ({why})")
    if not found:
        print(f"rooms: every include of {src} runs downward or within its room ({' < '.join(ROOMS)})")
    return 0 if not found else 1


def self_test(src):
    with tempfile.TemporaryDirectory() as temp:
        copy = pathlib.Path(temp) / "src"
        shutil.copytree(src, copy)
        if upward_includes(copy):
            print("self-test: the unbroken copy already fails")
            return 1
        cases = [
            ("core/log.cpp", '#include "audio/audio_wasapi.h"\n'),
            ("platform/win32/thread_win32.cpp", '#include "input/input_core.h"\n'),
            ("sound/playback.cpp", '#include "api/global_engine.h"\n'),
        ]
        for relative, line in cases:
            broken = copy / relative
            original = broken.read_text(encoding="utf-8")
            broken.write_text(line + original, encoding="utf-8")
            caught = any(found[0] == relative for found in upward_includes(copy))
            broken.write_text(original, encoding="utf-8")
            if not caught:
                print(f"self-test: {relative} with {line.strip()} was not caught")
                return 1
        (copy / "extras").mkdir()
        (copy / "extras" / "new.cpp").write_text('#include "core/log.h"\n', encoding="utf-8")
        if not any(found[0] == "extras/new.cpp" for found in upward_includes(copy)):
            print("self-test: a room missing from the order was not caught")
            return 1
    print(f"self-test: {len(cases)} upward includes and an unplaced room were caught")
    return 0


def main(argv):
    args = argv[1:]
    testing = bool(args) and args[0] == "--self-test"
    if testing:
        args = args[1:]
    src = pathlib.Path(args[0]) if args else pathlib.Path(__file__).resolve().parent.parent / "src"
    return self_test(src) if testing else check(src)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
