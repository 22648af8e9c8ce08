#!/usr/bin/env python3
"""Makes a delay-load import library for one Windows DLL from mingw-w64's import
library of it: every function the import library names, imported on first call
instead of when the program starts (cmake/DelayLoad.cmake says why).

    make-delay-lib.py --triple i686-w64-mingw32 --dll winhttp --output libwinhttp_delay.a

Data exports are left out: they cannot be delay-loaded, and a program that uses one
then fails to link instead of importing the DLL at start-up.
"""
import argparse
import os
import subprocess
import sys
import tempfile


def exported_functions(triple, import_library):
    symbols = subprocess.run([triple + "-nm", "-g", "--defined-only", import_library], check=True,
                             capture_output=True, text=True).stdout.split()
    defined = set(symbols)
    prefix = "__imp__" if triple.startswith("i686") else "__imp_"
    decoration = "_" if triple.startswith("i686") else ""
    functions = []
    for symbol in symbols:
        if symbol.startswith(prefix):
            name = symbol[len(prefix):]
            # A function has a call thunk beside its import pointer; data has none.
            if decoration + name in defined and not name.startswith("@"):
                functions.append(name)
    return sorted(set(functions))


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--triple", required=True)
    parser.add_argument("--dll", required=True, help="name without .dll, as in lib<name>.a")
    parser.add_argument("--output", required=True)
    args = parser.parse_args()
    import_library = "/usr/%s/lib/lib%s.a" % (args.triple, args.dll)
    functions = exported_functions(args.triple, import_library)
    if not functions:
        print("make-delay-lib: %s names no functions" % import_library, file=sys.stderr)
        return 1
    os.makedirs(os.path.dirname(os.path.abspath(args.output)), exist_ok=True)
    with tempfile.TemporaryDirectory() as scratch:
        definitions = os.path.join(scratch, args.dll + ".def")
        with open(definitions, "w") as f:
            f.write("LIBRARY %s.dll\nEXPORTS\n" % args.dll)
            f.writelines("    %s\n" % name for name in functions)
        command = [args.triple + "-dlltool", "--input-def", definitions, "--output-delaylib", args.output,
                   "--dllname", args.dll + ".dll"]
        if args.triple.startswith("i686"):
            command.append("--kill-at")  # stdcall names keep their @N in symbols, not in the DLL
        subprocess.run(command, check=True, cwd=scratch)
    return 0


if __name__ == "__main__":
    sys.exit(main())
