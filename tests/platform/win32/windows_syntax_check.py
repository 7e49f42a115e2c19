#!/usr/bin/env python3
"""Compiles every translation unit of the client, the updater and their libraries in Windows mode.

The units and their flags come from the build's own compile database, so none is skipped; the
Windows backends the Linux build leaves out (src/platform/*Windows.cpp) are added with the flags of
the library they belong to. Each is checked by the mingw-w64 compiler with -fsyntax-only against the
Qt 6 headers of the host. Prints "N of N translation units" and exits non-zero on any error.
"""
import argparse
import concurrent.futures
import json
import os
import re
import shlex
import subprocess
import sys

TARGETS = ("ondivo_core", "ondivo_dialogs", "ondivo_gui", "Ondivo",
           "ondivo_updater_core", "ondivo_updater_gui", "OndivoUpdater")
WINDOWS_FLAGS = ["-fsyntax-only", "-Wno-attributes", "-D_WIN32_WINNT=0x0A00", "-DUNICODE", "-D_UNICODE",
                 "-DNOMINMAX"]


def target_of(command):
    match = re.search(r"CMakeFiles/([^/]+)\.dir/", command)
    return match.group(1) if match else None


def windows_flags(arguments, shim):
    """Keeps definitions, include paths and the language standard; drops the host's platform specs."""
    kept = []
    it = iter(arguments[1:])
    for arg in it:
        if arg in ("-isystem", "-I", "-D"):
            value = next(it)
            if "mkspecs" not in value:
                kept += [arg, value]
        elif arg.startswith(("-D", "-I", "-std=")):
            kept.append(arg)
    return WINDOWS_FLAGS + kept + ["-isystem", shim]


def make_shim(shim):
    """OpenSSL and libarchive headers without the rest of /usr/include (the C library must be mingw's)."""
    os.makedirs(os.path.join(shim, "openssl"), exist_ok=True)
    for folder in ("/usr/include/openssl", "/usr/include/x86_64-linux-gnu/openssl"):
        if os.path.isdir(folder):
            for name in os.listdir(folder):
                link = os.path.join(shim, "openssl", name)
                if not os.path.lexists(link):
                    os.symlink(os.path.join(folder, name), link)
    for name in ("archive.h", "archive_entry.h"):
        link = os.path.join(shim, name)
        if not os.path.lexists(link) and os.path.exists("/usr/include/" + name):
            os.symlink("/usr/include/" + name, link)


def units(database, source_dir):
    entries = json.load(open(database))
    chosen = {}
    core_flags = None
    for entry in entries:
        command = entry.get("command") or " ".join(entry["arguments"])
        target = target_of(command)
        if target not in TARGETS:
            continue
        arguments = shlex.split(command)
        chosen[os.path.realpath(entry["file"])] = (entry["directory"], arguments)
        if target == "ondivo_core" and "_autogen" not in entry["file"]:
            core_flags = (entry["directory"], arguments)
    platform_dir = os.path.join(source_dir, "src", "platform")
    windows_only = [os.path.join(platform_dir, n) for n in os.listdir(platform_dir) if n.endswith("Windows.cpp")]
    windows_only += [os.path.join(platform_dir, "win32", n) for n in os.listdir(os.path.join(platform_dir, "win32"))
                     if n.endswith(".cpp")]
    for path in map(os.path.realpath, windows_only):
        if path not in chosen and core_flags:
            chosen[path] = core_flags
    return chosen


def check(compiler, path, directory, arguments, shim):
    command = [compiler] + windows_flags(arguments, shim) + [path]
    result = subprocess.run(command, cwd=directory, capture_output=True, text=True)
    return path, result.returncode, result.stderr


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--compiler", required=True)
    parser.add_argument("--database", required=True)
    parser.add_argument("--source-dir", required=True)
    parser.add_argument("--shim", required=True)
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 1)
    args = parser.parse_args()
    make_shim(args.shim)
    chosen = units(args.database, args.source_dir)
    if not chosen:
        print("no translation units found in " + args.database)
        return 1
    passed = 0
    with concurrent.futures.ThreadPoolExecutor(max_workers=args.jobs) as pool:
        jobs = [pool.submit(check, args.compiler, path, d, a, args.shim) for path, (d, a) in sorted(chosen.items())]
        for job in concurrent.futures.as_completed(jobs):
            path, code, errors = job.result()
            if code == 0:
                passed += 1
            else:
                print("FAILED " + path + "\n" + errors)
    print("%d of %d translation units pass the Windows syntax check" % (passed, len(chosen)))
    return 0 if passed == len(chosen) else 1


if __name__ == "__main__":
    sys.exit(main())
