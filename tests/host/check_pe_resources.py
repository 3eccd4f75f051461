#!/usr/bin/env python3
"""Checks the resources of the cross-built morl_desktop.exe: icon group 101
with its ten images, the manifest's settings, and the version record, which
must carry the project's version (the second argument, e.g. 0.1.0)."""

import struct
import sys
import xml.etree.ElementTree as ET

import pefile

RT_ICON, RT_GROUP_ICON, RT_MANIFEST = 3, 14, 24
EXPECTED_ICONS = sorted([(256, 32)] + [(s, b) for s in (48, 32, 16) for b in (4, 8, 32)])
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


def resources(pe, type_id):
    """{resource id: bytes} of one resource type (first language of each)."""
    found = {}
    for entry in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if entry.id != type_id:
            continue
        for named in entry.directory.entries:
            language = named.directory.entries[0]
            rva, size = language.data.struct.OffsetToData, language.data.struct.Size
            found[named.id] = pe.get_data(rva, size)
    return found


def check_icons(pe):
    groups = resources(pe, RT_GROUP_ICON)
    check(101 in groups, "icon group 101 exists")
    if 101 not in groups:
        return
    group = groups[101]
    _, kind, count = struct.unpack_from("<HHH", group, 0)
    check(kind == 1 and count == 10, f"icon group holds 10 icons (type {kind}, count {count})")
    icons = resources(pe, RT_ICON)
    seen = []
    for i in range(count):
        width, height, _, _, _, bits, size, icon_id = struct.unpack_from("<BBBBHHIH", group, 6 + 14 * i)
        width, height = width or 256, height or 256
        check(width == height, f"icon {icon_id} is square")
        seen.append((width, bits))
        data = icons.get(icon_id)
        check(data is not None and len(data) == size, f"icon {icon_id} present with {size} bytes")
        if data is None:
            continue
        if width == 256:
            check(data.startswith(b"\x89PNG\r\n\x1a\n"), "256x256 image is PNG")
        else:
            header = struct.unpack_from("<IiiHH", data, 0)
            check(header[0] == 40 and header[1] == width and header[2] == 2 * width
                  and header[4] == bits, f"{width}x{width} {bits}-bit bitmap header")
    check(sorted(seen) == EXPECTED_ICONS, f"icon sizes and depths {sorted(seen)}")


def check_manifest(pe):
    manifests = resources(pe, RT_MANIFEST)
    check(1 in manifests, "manifest resource 1 exists")
    if 1 not in manifests:
        return
    root = ET.fromstring(manifests[1].decode("utf-8"))
    by_tag = {}
    for element in root.iter():
        by_tag.setdefault(element.tag.split("}")[-1], []).append(element)
    level = by_tag.get("requestedExecutionLevel", [None])[0]
    check(level is not None and level.get("level") == "asInvoker"
          and level.get("uiAccess") == "false", "asInvoker without uiAccess")
    dpi = by_tag.get("dpiAwareness", [None])[0]
    check(dpi is not None and dpi.text.strip() == "PerMonitorV2", "dpiAwareness PerMonitorV2")
    oses = [e.get("Id") for e in by_tag.get("supportedOS", [])]
    check(oses == ["{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"], f"supportedOS {oses}")


def check_version(pe, version):
    parts = [int(p) for p in version.split(".")] + [0, 0, 0]
    packed = (parts[0] << 16 | parts[1], parts[2] << 16 | parts[3])
    fixed = pe.VS_FIXEDFILEINFO[0]
    check((fixed.FileVersionMS, fixed.FileVersionLS) == packed, f"file version {version}")
    check((fixed.ProductVersionMS, fixed.ProductVersionLS) == packed, f"product version {version}")
    check(fixed.FileType == 1, "file type application")
    tables = {}
    for info in pe.FileInfo[0]:
        for table in getattr(info, "StringTable", []):
            tables[table.LangID.decode()] = {k.decode(): v.decode() for k, v in table.entries.items()}
    check(list(tables) == ["040904e4"], f"one string table 040904e4, found {list(tables)}")
    strings = tables.get("040904e4", {})
    expected = {
        "FileDescription": "morl_desktop", "ProductName": "morl_desktop",
        "InternalName": "morl_desktop", "OriginalFilename": "morl_desktop.exe",
        "FileVersion": version, "ProductVersion": version,
    }
    for key, value in expected.items():
        check(strings.get(key) == value, f"{key} = {value!r}, found {strings.get(key)!r}")


def main():
    pe = pefile.PE(sys.argv[1])
    check_icons(pe)
    check_manifest(pe)
    check_version(pe, sys.argv[2])
    for failure in failures:
        print("FAILED:", failure)
    print("resources:", "ok" if not failures else f"{len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
