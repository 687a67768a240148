"""What the clang-based checks share: a build's compile commands, and the flags that let clang
compile the MinGW build's sources. Imported by scripts/check-windows-clang and
scripts/check-naming."""
import json
import os
import shlex
import sys

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# clang uses the MinGW headers but must be pointed at g++'s C++ library headers.
_GCC = "/usr/lib/gcc/x86_64-w64-mingw32/12-posix/include/c++"
MINGW_CLANG = ["--target=x86_64-w64-mingw32", "-nostdinc++"]
for _path in [_GCC, _GCC + "/x86_64-w64-mingw32", _GCC + "/backward"]:
    MINGW_CLANG += ["-isystem", _path]


def entries(preset, tool):
    """The preset's compile commands; exits with a message naming `tool` when the preset has not
    been configured."""
    database = os.path.join(REPO, "build", preset, "compile_commands.json")
    if not os.path.exists(database):
        sys.exit(f"{tool}: configure the {preset} preset first (cmake --preset {preset})")
    return json.load(open(database))


def arguments(entry):
    """The compiler's arguments for one entry, without the compiler, the output (-o) and -c,
    with response files (the MinGW build's include paths) expanded."""
    kept, skip = [], False
    for a in shlex.split(entry["command"])[1:]:
        if skip:
            skip = False
        elif a == "-o":
            skip = True
        elif a.startswith("@"):
            kept += shlex.split(open(os.path.join(entry["directory"], a[1:])).read())
        elif a != "-c":
            kept.append(a)
    return kept
