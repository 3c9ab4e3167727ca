#!/usr/bin/env python3
"""Checks what a player gets on Windows: the .exe's resources, and the zip's read-me.

  check_package.py exe ulvenaReader.exe VERSION [--stripped]
  check_package.py zip ulvenareader-VERSION-windows-x86_64.zip VERSION

Reads the resources with wrestool, from icoutils.
"""

import argparse
import re
import struct
import subprocess
import sys
import xml.etree.ElementTree as ElementTree
import zipfile

ICON, GROUP_ICON, VERSION, MANIFEST = 3, 14, 16, 24
# The program's own texts, which the read-me quotes as they are, with their ordinary spaces.
PROGRAM_TEXTS = re.compile(r"(ERROR|WARNING|Rentabilite) :|lu !!")
FIXED_FILE_INFO_SIGNATURE = struct.pack("<I", 0xFEEF04BD)


def resource(exe: str, kind: int) -> bytes:
    return subprocess.run(["wrestool", "-x", "--raw", f"--type={kind}", exe],
                          capture_output=True, check=True).stdout


def version_faults(data: bytes, version: str) -> list[str]:
    faults = []
    major, minor, patch = (int(part) for part in version.split("."))
    fixed = data.find(FIXED_FILE_INFO_SIGNATURE)
    numbers = struct.unpack_from("<4I", data, fixed + 8) if fixed >= 0 else None
    if numbers != ((major << 16) | minor, patch << 16) * 2:
        faults.append(f"the file and product version numbers are {numbers}, not {version}")
    text = data.decode("utf-16-le", errors="replace")
    for key, wanted in (("FileVersion", version), ("ProductVersion", version),
                        ("ProductName", "ulvenaReader")):
        found = re.search(key + "\0+([^\0]*)\0", text)
        if not found or found[1] != wanted:
            faults.append(f"{key} is {found[1] if found else None!r}, not {wanted!r}")
    return faults


def icon_sizes(group: bytes) -> set[int]:
    (count,) = struct.unpack_from("<H", group, 4)
    return {group[6 + 14 * entry] or 256 for entry in range(count)}


def symbol_count(exe: str) -> int:
    with open(exe, "rb") as file:
        image = file.read(4096)
    (pe,) = struct.unpack_from("<I", image, 0x3C)
    (count,) = struct.unpack_from("<I", image, pe + 16)
    return count


def exe_faults(exe: str, version: str, stripped: bool) -> list[str]:
    listing = subprocess.run(["wrestool", "-l", exe], capture_output=True, text=True,
                             check=True).stdout
    kinds = {int(kind) for kind in re.findall(r"--type=(\d+)", listing)}
    faults = [f"no resource of type {kind}" for kind in (ICON, GROUP_ICON, VERSION, MANIFEST)
              if kind not in kinds]
    if faults:
        return faults
    faults += version_faults(resource(exe, VERSION), version)
    if not {16, 256} <= icon_sizes(resource(exe, GROUP_ICON)):
        faults.append(f"the icon has sizes {sorted(icon_sizes(resource(exe, GROUP_ICON)))}")
    try:
        manifest = ElementTree.fromstring(resource(exe, MANIFEST))
        levels = [element.get("level") for element in manifest.iter()
                  if element.tag.endswith("requestedExecutionLevel")]
        if levels != ["asInvoker"]:
            faults.append(f"the manifest asks for the execution levels {levels}")
    except ElementTree.ParseError as error:
        faults.append(f"the manifest is not well-formed XML: {error}")
    if stripped and symbol_count(exe):
        faults.append(f"the .exe is not stripped: {symbol_count(exe)} symbols")
    return faults


def zip_faults(path: str, version: str) -> list[str]:
    with zipfile.ZipFile(path) as archive:
        names = set(archive.namelist())
        if names != {"ulvenaReader.exe", "LISEZMOI.txt"}:
            return [f"the zip holds {sorted(names)}"]
        readme = archive.read("LISEZMOI.txt")
    faults = []
    if not readme.startswith(b"\xef\xbb\xbf"):
        faults.append("LISEZMOI.txt does not start with a UTF-8 byte-order mark")
    if readme.replace(b"\r\n", b"").count(b"\n") or readme.replace(b"\r\n", b"").count(b"\r"):
        faults.append("LISEZMOI.txt has line ends other than CR LF")
    if not readme.endswith(b"\r\n"):
        faults.append("LISEZMOI.txt does not end with a line end")
    if f"ulvenaReader {version}\r\n".encode() not in readme:
        faults.append(f"LISEZMOI.txt does not give the version {version}")
    try:
        text = readme.decode("utf-8")
    except UnicodeDecodeError as error:
        faults.append(f"LISEZMOI.txt is not UTF-8: {error}")
    else:
        faults += french_spacing_faults(text)
    return faults


def french_spacing_faults(text: str) -> list[str]:
    """The French part's lines where a line could start with : ; ! ? or », or end with «: an
    ordinary space before them or after «, where French wants a no-break one."""
    return [f"LISEZMOI.txt has an ordinary space in {line.strip()!r}"
            for line in text.split("ENGLISH")[0].splitlines()
            if re.search(r" [:;!?»]|« ", PROGRAM_TEXTS.sub("", line))]


def main() -> int:
    parser = argparse.ArgumentParser()
    parser.add_argument("what", choices=["exe", "zip"])
    parser.add_argument("path")
    parser.add_argument("version")
    parser.add_argument("--stripped", action="store_true")
    args = parser.parse_args()
    if args.what == "exe":
        faults = exe_faults(args.path, args.version, args.stripped)
    else:
        faults = zip_faults(args.path, args.version)
    for fault in faults:
        print(f"{args.path}: {fault}", file=sys.stderr)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
