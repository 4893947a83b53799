#!/usr/bin/env python3
"""Fails when the source tree breaks its layering (docs/architecture.md).

Layers, lowest first: platform, tables, base, help, intake, timetable, app, cli. A folder
src/<layer>/ holds the layer's logic (no Qt); src/<layer>/gui/ (src/tables/qt/ for the engine's
models) holds its windows, just above the logic. The checks:

  include   a file includes a header of a higher layer, or logic includes a window header
  names     code names a namespace of a higher layer (a forward declaration reaches up too), or
            logic names a window namespace (<layer>::gui)
  qt        logic includes a Qt header
  system    a file outside src/platform includes a POSIX or Win32 header (<unistd.h>,
            <fcntl.h>, <sys/...>, <windows.h> ...): the platform layer holds what differs
  link      a library's CMakeLists.txt links a library of a higher layer, or logic links a window
            library
  listed    a source file of src/ is named in no CMakeLists.txt target (the build lists its
            sources one by one, so such a file would silently not be built)

Usage: check-layers.py [SOURCE_ROOT]   (the project folder; by default this script's parent)
"""
import pathlib
import re
import sys

LAYERS = ["platform", "tables", "base", "help", "intake", "timetable", "app", "cli"]
RANK = {name: i for i, name in enumerate(LAYERS)}
GUI_FOLDERS = {"gui", "qt"}

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
QT_HEADER = re.compile(r"^Q[A-Za-z]*$|^Qt[A-Za-z]*/")
# A qualified name (timetable::AjustaXEL, tz::app::gui::X) or a namespace opened by name.
_LAYER_NAMES = "|".join(LAYERS)
NAMESPACE = re.compile(rf"\bnamespace\s+(?:tz::)?({_LAYER_NAMES})(::(?:gui|qt)\b)?(?=\s*(?:\{{|::))"
                       rf"|\b(?:tz::)?({_LAYER_NAMES})(::(?:gui|qt)\b)?::")
# System headers that only the platform layer includes.
SYSTEM_HEADER = re.compile(r"^(unistd|fcntl|strings|dirent|pwd|dlfcn|poll|termios|spawn|"
                           r"windows|winbase|shellapi|shlobj|io|direct|process)\.h$|^sys/",
                           re.IGNORECASE)
TARGET = re.compile(r"^tz_([a-z]+?)(_gui|_qt)?$")


def place(parts):
    """(layer, is_gui) of a path inside src/ given as its parts, or None outside the layers."""
    if not parts or parts[0] not in RANK:
        return None
    folders = [p for p in parts[1:-1] if p in GUI_FOLDERS]
    return parts[0], ("gui" if "gui" in folders else folders[0]) if folders else ""


def describe(layer, gui):
    return f"{layer}/{gui}".rstrip("/")


def allowed(src, dst):
    """May code at `src` (layer, gui) use code at `dst`?"""
    if RANK[dst[0]] > RANK[src[0]]:
        return False
    # The batch front end draws with QtGui (the report's PDF) but never links Qt Widgets.
    if src == ("cli", "") and dst[1] == "qt":
        return True
    return bool(src[1]) or not dst[1]


def code_lines(text):
    """The lines of a C++ file with comments and the contents of string literals blanked (an
    include's quoted name is kept)."""
    text = re.sub(r"/\*.*?\*/", lambda m: re.sub(r"[^\n]", " ", m.group(0)), text, flags=re.S)
    out = []
    for line in text.splitlines():
        if not INCLUDE.match(line):
            line = re.sub(r'"(?:\\.|[^"\\])*"', '""', line)
            line = line.split("//", 1)[0]
        out.append(line)
    return out


def check_includes(root, problems):
    src_root = root / "src"
    for path in sorted(src_root.rglob("*")):
        if path.suffix not in (".h", ".cpp") or not path.is_file():
            continue
        rel = path.relative_to(src_root)
        here = place(rel.parts)
        if here is None:
            continue
        text = path.read_text(encoding="utf-8", errors="replace")
        for number, line in enumerate(code_lines(text), 1):
            where = f"src/{rel}:{number}"
            for m in NAMESPACE.finditer(line if not INCLUDE.match(line) else ""):
                there = (m.group(1) or m.group(3), (m.group(2) or m.group(4) or "").lstrip(":"))
                if not allowed(here, there):
                    problems.append(f"{where}: names: {describe(*there)} from {describe(*here)}")
            m = INCLUDE.match(line)
            if not m:
                continue
            kind, name = m.groups()
            if kind == "<":
                if SYSTEM_HEADER.match(name) and here[0] != "platform":
                    problems.append(f"{where}: system: {describe(*here)} includes <{name}>; "
                                    "only src/platform may")
                if QT_HEADER.match(name) and not here[1]:
                    problems.append(f"{where}: qt: {describe(*here)} is logic but includes <{name}>")
                continue
            there = place(pathlib.PurePosixPath(name).parts)
            if there is None:
                continue
            if not allowed(here, there):
                why = ("a window header" if there[1] and not here[1]
                       else f"{describe(*there)} is above {describe(*here)}")
                problems.append(f"{where}: include: \"{name}\": {why}")


def cmake_calls(text, command):
    """The argument lists of every call of `command` in a CMake file, comments removed."""
    text = re.sub(r"#[^\n]*", "", text)
    for m in re.finditer(rf"\b{command}\s*\(", text):
        depth, i = 1, m.end()
        while i < len(text) and depth:
            depth += {"(": 1, ")": -1}.get(text[i], 0)
            i += 1
        yield text[m.end():i - 1].split()


def target_place(name):
    m = TARGET.match(name)
    if not m or m.group(1) not in RANK:
        return None
    return m.group(1), (m.group(2) or "").lstrip("_")


def check_cmake(root, problems):
    src_root = root / "src"
    listed = set()
    for cmake in sorted(src_root.rglob("CMakeLists.txt")):
        folder = cmake.parent.relative_to(src_root)
        text = cmake.read_text(encoding="utf-8")
        calls = [(args[0], args[1:]) for args in cmake_calls(text, "tz_library") if args]
        calls += [(args[0], args[1:]) for args in cmake_calls(text, "target_link_libraries") if args]
        calls += [(args[0], args[1:]) for args in cmake_calls(text, "add_executable") if args]
        calls += [(args[0], args[1:]) for args in cmake_calls(text, "target_sources") if args]
        for name, args in calls:
            for a in args:
                if re.search(r"\.(cpp|h)$", a):
                    listed.add((folder / a).as_posix())
            user = target_place(name)
            if user is None:
                continue
            for a in args:
                used = target_place(a)
                if used is not None and not allowed(user, used):
                    problems.append(f"src/{folder.as_posix()}/CMakeLists.txt: link: {name} links {a}")
    for path in sorted(src_root.rglob("*")):
        if path.suffix in (".h", ".cpp") and path.is_file():
            rel = path.relative_to(src_root).as_posix()
            if rel not in listed:
                problems.append(f"src/{rel}: listed: named in no CMakeLists.txt target")


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).resolve().parent.parent)
    problems = []
    check_includes(root, problems)
    check_cmake(root, problems)
    for p in problems:
        print(p)
    if problems:
        print(f"check-layers: {len(problems)} problem(s); the layers are described in docs/architecture.md")
        return 1
    print("check-layers: no layer reaches up")
    return 0


if __name__ == "__main__":
    sys.exit(main())
