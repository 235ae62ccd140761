#!/usr/bin/env python3
"""Makes the release package Ombrel-<version>-win32.zip from the linked Ombrel.dll.

The package holds, under one folder Ombrel-<version>-win32/:
  Ombrel.dll        the DLL without symbols or debug information, the file users install;
  Ombrel.dll.debug  its debug information, named by the DLL's debug link (.gnu_debuglink,
                    which also carries the file's CRC, so a debugger takes no other file);
  README.md, docs/  the project's README and the user's guide (the Markdown files given);
  SHA256SUMS        the SHA-256 of every other file, as `sha256sum -c` reads it.

The zip is the same bytes for the same inputs: entries in a fixed order, fixed permissions, and
one time stamp, SOURCE_DATE_EPOCH (else the source's last commit time, else 1980-01-01).
The stripped DLL and the debug file stay beside the zip in OUT_DIR.

Usage: make_release.py --objcopy OBJCOPY --version V --source-dir DIR --out-dir DIR
                       DLL README [GUIDE.md ...]
"""

import argparse
import hashlib
import os
import shutil
import subprocess
import sys
import time
import zipfile

EARLIEST_ZIP_TIME = 315532800   # 1980-01-01, the first moment a zip entry can carry


def release_epoch(source_dir):
    value = os.environ.get("SOURCE_DATE_EPOCH")
    if value is None:
        try:
            value = subprocess.run(["git", "-C", source_dir, "log", "-1", "--format=%ct"],
                                   capture_output=True, text=True, check=True).stdout.strip()
        except (OSError, subprocess.CalledProcessError):
            value = ""
    try:
        return max(int(value), EARLIEST_ZIP_TIME)
    except ValueError:
        return EARLIEST_ZIP_TIME


def strip_with_debug_link(objcopy, dll, out_dir):
    """Ombrel.dll and Ombrel.dll.debug in out_dir; the link names the debug file by base name."""
    debug = "Ombrel.dll.debug"
    stripped = "Ombrel.dll"
    # objcopy writes the current time into a PE header unless SOURCE_DATE_EPOCH says otherwise;
    # 0 keeps the header as the linker left it (no time stamp).
    environment = dict(os.environ, SOURCE_DATE_EPOCH="0")
    subprocess.run([objcopy, "--only-keep-debug", os.path.abspath(dll), debug],
                   cwd=out_dir, env=environment, check=True)
    subprocess.run([objcopy, "--strip-all", "--add-gnu-debuglink=" + debug, os.path.abspath(dll), stripped],
                   cwd=out_dir, env=environment, check=True)
    return stripped, debug


def sha256_of(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def write_zip(zip_path, entries, epoch):
    """entries: (name in the zip, bytes). Written in the given order with one time stamp."""
    date_time = time.gmtime(epoch)[:6]
    with zipfile.ZipFile(zip_path, "w") as archive:
        for name, data in entries:
            info = zipfile.ZipInfo(name, date_time)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.create_system = 3                    # Unix, so the permissions below hold
            info.external_attr = 0o100644 << 16
            archive.writestr(info, data, compresslevel=9)


def main(argv=None):
    parser = argparse.ArgumentParser(description="Make the Ombrel release zip")
    parser.add_argument("--objcopy", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--source-dir", required=True)
    parser.add_argument("--out-dir", required=True)
    parser.add_argument("dll")
    parser.add_argument("readme")
    parser.add_argument("guide", nargs="*")
    args = parser.parse_args(argv)

    top = "Ombrel-%s-win32" % args.version
    out_dir = args.out_dir
    if os.path.isdir(out_dir):
        shutil.rmtree(out_dir)
    os.makedirs(out_dir)
    try:
        stripped, debug = strip_with_debug_link(args.objcopy, args.dll, out_dir)
    except (OSError, subprocess.CalledProcessError) as e:
        print("make_release: stripping %s failed: %s" % (args.dll, e), file=sys.stderr)
        return 1

    files = [(stripped, os.path.join(out_dir, stripped)), (debug, os.path.join(out_dir, debug)),
             ("README.md", args.readme)]
    files += sorted(("docs/" + os.path.basename(g), g) for g in args.guide)
    names = [name for name, _ in files]
    if len(set(names)) != len(names):
        print("make_release: two files would have one name in the package", file=sys.stderr)
        return 1
    sums = "".join("%s  %s\n" % (sha256_of(path), name) for name, path in files)
    entries = []
    for name, path in files:
        with open(path, "rb") as f:
            entries.append(("%s/%s" % (top, name), f.read()))
    entries.append(("%s/SHA256SUMS" % top, sums.encode("ascii")))

    zip_path = os.path.join(out_dir, top + ".zip")
    epoch = release_epoch(args.source_dir)
    write_zip(zip_path, entries, epoch)
    print("make_release: %s (%d bytes; the DLL %d bytes, its debug information %d bytes; time stamp %s)"
          % (zip_path, os.path.getsize(zip_path), os.path.getsize(os.path.join(out_dir, stripped)),
             os.path.getsize(os.path.join(out_dir, debug)),
             time.strftime("%Y-%m-%d %H:%M:%S UTC", time.gmtime(epoch))))
    return 0


if __name__ == "__main__":
    sys.exit(main())
