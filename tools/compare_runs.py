#!/usr/bin/env python3
"""Compares one run of Quor.exe under Wine with the same command line run by quorsim on Linux:
exit status, standard output, standard error, and the files the run wrote.

  compare_runs.py LINUX_DIR LINUX_STATUS WINE_OUT NAME WINE_STATUS

LINUX_DIR holds stdout, stderr and files/ of the Linux run; WINE_OUT holds NAME.log, NAME.err
and NAME.files/ of the Wine run. Texts are compared line by line after the differences that
belong to the platform, not to the module, are taken out: the Windows C runtime writes line
ends as CR LF, and a path under the run's output folder is written with the platform's
separator after the folder's own name, which differs between the runs. PNG files are compared
by their header, decoded pixels (the two zlib builds may pack the same pixels differently) and
text chunks but the time each picture was taken; any other file byte for byte. Prints each
difference; exits 1 if there is one.
"""
import os
import re
import struct
import sys
import zlib


def normalise(text, out_dir):
    text = text.replace("\r\n", "\n")
    # The output folder as either run names it, then the separators of the paths under it.
    text = text.replace(out_dir, "@OUT@")
    text = re.sub(r"files_[A-Za-z0-9_]+", "@OUT@", text)
    return re.sub(r"@OUT@([\\/][^\s]*)", lambda m: "@OUT@" + m.group(1).replace("\\", "/"), text)


# Text chunks that differ from one run to the next by nature.
RUN_TEXTS = {b"Creation Time"}


def png_contents(data):
    """Header, decoded pixels and the text chunks but RUN_TEXTS; None for a PNG that is not sound."""
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        return None
    pos, header, packed, texts = 8, None, b"", []
    while pos + 8 <= len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        crc = struct.unpack(">I", data[pos + 8 + length:pos + 12 + length])[0]
        if zlib.crc32(kind + body) != crc:
            return None
        if kind == b"IHDR":
            header = body
        elif kind == b"IDAT":
            packed += body
        elif kind == b"tEXt" and body.split(b"\0", 1)[0] not in RUN_TEXTS:
            texts.append(body)
        elif kind == b"IEND":
            break
        pos += 12 + length
    if header is None:
        return None
    return header, zlib.decompress(packed), texts


def read_text(path):
    try:
        with open(path, "rb") as f:
            return f.read().decode("latin-1")
    except FileNotFoundError:
        return None


def compare_texts(what, linux, wine, out_dir, problems):
    if linux is None or wine is None:
        problems.append(f"{what}: missing on the {'Linux' if linux is None else 'Wine'} side")
        return
    a = normalise(linux, out_dir).split("\n")
    b = normalise(wine, out_dir).split("\n")
    if a == b:
        return
    for i in range(max(len(a), len(b))):
        x = a[i] if i < len(a) else "<no line>"
        y = b[i] if i < len(b) else "<no line>"
        if x != y:
            problems.append(f"{what} line {i + 1}: Linux {x!r}, Wine {y!r}")
            break


def main():
    linux_dir, linux_status, wine_out, name, wine_status = sys.argv[1:6]
    out_dir = os.path.join(linux_dir, "files")
    problems = []
    if linux_status != wine_status:
        problems.append(f"exit status: Linux {linux_status}, Wine {wine_status}")
    compare_texts("standard output", read_text(os.path.join(linux_dir, "stdout")),
                  read_text(os.path.join(wine_out, name + ".log")), out_dir, problems)
    linux_err = read_text(os.path.join(linux_dir, "stderr"))
    wine_err = read_text(os.path.join(wine_out, name + ".err"))
    compare_texts("standard error", linux_err, wine_err, out_dir, problems)

    linux_files = os.path.join(linux_dir, "files")
    wine_files = os.path.join(wine_out, name + ".files")
    a = sorted(os.listdir(linux_files)) if os.path.isdir(linux_files) else []
    b = sorted(os.listdir(wine_files)) if os.path.isdir(wine_files) else []
    if a != b:
        problems.append(f"files written: Linux {a}, Wine {b}")
    for file_name in sorted(set(a) & set(b)):
        with open(os.path.join(linux_files, file_name), "rb") as f:
            x = f.read()
        with open(os.path.join(wine_files, file_name), "rb") as f:
            y = f.read()
        if file_name.lower().endswith(".png"):
            px, py = png_contents(x), png_contents(y)
            if px is None or py is None:
                problems.append(f"{file_name}: not a sound PNG on the {'Linux' if px is None else 'Wine'} side")
            elif px[:2] != py[:2]:
                problems.append(f"{file_name}: the pictures differ")
            elif px[2] != py[2]:
                problems.append(f"{file_name}: the texts differ: Linux {px[2]}, Wine {py[2]}")
        elif x != y:
            problems.append(f"{file_name}: the files differ")

    for p in problems:
        print(f"wine: {name}: {p}")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
