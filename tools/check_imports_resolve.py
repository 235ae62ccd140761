#!/usr/bin/env python3
"""Checks with objdump that a DLL's imports from one executable resolve against that executable:
every name the DLL imports from it is among the executable's exports, and the executable's
PE header marks it a program, not a library (else Windows would not start it).

  check_imports_resolve.py OBJDUMP DLL EXE

Prints what does not resolve; exits 1 if anything does not.
"""
import os
import re
import subprocess
import sys


def objdump(tool, path):
    return subprocess.run([tool, "-p", path], check=True, capture_output=True, text=True).stdout


def imports_from(dump, dll_name):
    names, current = [], None
    for line in dump.splitlines():
        m = re.match(r"\s*DLL Name: (\S+)", line)
        if m:
            current = m.group(1).lower()
            continue
        if current == dll_name.lower():
            m = re.match(r"\s*[0-9a-f]+\s+(\d+)\s+(\S+)\s*$", line)
            if m:
                names.append(m.group(2))
            elif line.strip() == "" and names:
                current = None
    return names


def exports_of(dump):
    m = re.search(r"\[Ordinal/Name Pointer\] Table\n((?:\s*\[\s*\d+\] \S+\n)+)", dump)
    return {n for n in re.findall(r"\] (\S+)", m.group(1))} if m else set()


def main():
    tool, dll, exe = sys.argv[1:4]
    exe_dump = objdump(tool, exe)
    problems = []
    characteristics = re.search(r"^Characteristics 0x([0-9a-f]+)", exe_dump, re.M)
    if characteristics is None or int(characteristics.group(1), 16) & 0x2000:
        problems.append(f"{exe} is not marked a program (the DLL flag is set)")
    wanted = imports_from(objdump(tool, dll), os.path.basename(exe))
    if not wanted:
        problems.append(f"{dll} imports nothing from {os.path.basename(exe)}")
    exported = exports_of(exe_dump)
    for name in wanted:
        if name not in exported:
            problems.append(f"{dll} imports {name}, which {exe} does not export")
    for p in problems:
        print(p)
    if not problems:
        print(f"all {len(wanted)} imports of {os.path.basename(dll)} from {os.path.basename(exe)} resolve")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
