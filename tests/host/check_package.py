#!/usr/bin/env python3
"""Checks the Windows package and unpacks it: every entry lies in the one
folder morl_desktop-VERSION-windows-x64; the folder holds the program, the
embedding library, the four plugin libraries, data/ and SHA256SUMS, and
nothing else at its top; SHA256SUMS lists every other file exactly once with
its right hash. Usage: check_package.py ZIP VERSION UNPACK_DIR"""

import hashlib
import os
import sys
import zipfile

LIBRARIES = ["flutter_windows.dll", "media_kit_libs_windows_video_plugin.dll",
             "media_kit_video_plugin.dll", "url_launcher_windows_plugin.dll",
             "volume_controller_plugin.dll"]
TOP = set(["morl_desktop.exe", "SHA256SUMS", "data"] + LIBRARIES)
DATA = ["data/icudtl.dat", "data/app.so"]
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


def read_sums(text):
    """{path: hash} of sha256sum's lines, noting malformed and repeated ones."""
    sums = {}
    for line in text.splitlines():
        digest, sep, path = line.partition("  ")
        check(sep and len(digest) == 64 and path, f"SHA256SUMS line {line!r}")
        check(path not in sums, f"SHA256SUMS lists {path} twice")
        sums[path] = digest
    return sums


def check_archive(archive, folder):
    files = {}
    for info in archive.infolist():
        name = info.filename
        inside = name.startswith(folder + "/") and ".." not in name.split("/")
        check(inside, f"entry {name!r} outside {folder}/")
        if inside and not info.is_dir():
            files[name[len(folder) + 1:]] = info
    tops = {path.split("/")[0] for path in files}
    check(tops == TOP, f"top of the folder {sorted(tops)}, expected {sorted(TOP)}")
    for path in DATA:
        check(path in files, f"{path} present")
    check(any(p.startswith("data/flutter_assets/") for p in files), "data/flutter_assets holds files")
    if "SHA256SUMS" not in files:
        return
    sums = read_sums(archive.read(files["SHA256SUMS"]).decode("utf-8"))
    listed, present = set(sums), set(files) - {"SHA256SUMS"}
    check(not present - listed, f"files missing from SHA256SUMS: {sorted(present - listed)}")
    check(not listed - present, f"SHA256SUMS lists absent files: {sorted(listed - present)}")
    for path in sorted(listed & present):
        digest = hashlib.sha256(archive.read(files[path])).hexdigest()
        check(digest == sums[path], f"{path} has hash {digest}, SHA256SUMS says {sums[path]}")


def main():
    zip_path, version, unpack_dir = sys.argv[1:4]
    folder = f"morl_desktop-{version}-windows-x64"
    check(os.path.basename(zip_path) == folder + ".zip", f"{zip_path} is named {folder}.zip")
    with zipfile.ZipFile(zip_path) as archive:
        check_archive(archive, folder)
        if not failures:
            archive.extractall(unpack_dir)
    for failure in failures:
        print("FAILED:", failure)
    print("package:", "ok" if not failures else f"{len(failures)} failures", zip_path)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
