#!/usr/bin/env python3
"""Shows that the release package is reproducible: the same sources built again, in other
folders and at another time, give the same DLL, debug file and zip, byte for byte.

Usage: test_reproducible_build.py SOURCE_DIR RELEASE_DIR
RELEASE_DIR is the release folder of a win32 build of SOURCE_DIR (the reference). The sources
are copied to a folder of another name and depth, configured with the same preset (tests off),
and only the package target is built, so only what the DLL needs is compiled. The zip's time
stamp is the one input that is meant to vary; the second build is given the reference zip's.
A build path or a time stamp in the DLL, the debug file or the zip makes the test fail and name
the file, the first differing byte and, in the DLL, the section it lies in.
"""

import calendar
import glob
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import check_dll  # noqa: E402

# Top-level folders of a checkout that are not sources.
NOT_SOURCES = {".git", "build", "out"}


def first_difference(a, b):
    for i, (x, y) in enumerate(zip(a, b)):
        if x != y:
            return i
    return min(len(a), len(b)) if len(a) != len(b) else None


def section_at(data, offset):
    try:
        image = check_dll.PeImage(data)
    except (check_dll.Malformed, struct.error):
        return "headers"
    for name, _, _, raw_pointer, raw_size in image.sections:
        if raw_pointer <= offset < raw_pointer + raw_size:
            return "section %s" % name
    return "headers"


def main(argv):
    if len(argv) != 3:
        print("usage: test_reproducible_build.py SOURCE_DIR RELEASE_DIR", file=sys.stderr)
        return 2
    source_dir, reference_dir = (os.path.abspath(a) for a in argv[1:])
    zips = glob.glob(os.path.join(reference_dir, "Ombrel-*-win32.zip"))
    if len(zips) != 1:
        print("reproducible: expected one package in %s, found %d" % (reference_dir, len(zips)))
        return 1
    package = os.path.basename(zips[0])
    with zipfile.ZipFile(zips[0]) as archive:
        epoch = calendar.timegm(archive.infolist()[0].date_time + (0, 0, -1))

    scratch = tempfile.mkdtemp(prefix="ombrel-reproducible-")
    copy = os.path.join(scratch, "sources", "of", "another", "checkout")
    build = os.path.join(scratch, "b")
    shutil.copytree(source_dir, copy,
                    ignore=lambda folder, names: NOT_SOURCES & set(names) if folder == source_dir else set())
    environment = dict(os.environ, SOURCE_DATE_EPOCH=str(epoch))
    for command in (["cmake", "--preset", "win32", "-B", build, "-DOMBREL_TESTS=OFF"],
                    ["cmake", "--build", build, "--target", "ombrel_release", "--parallel", "2"]):
        run = subprocess.run(command, cwd=copy, env=environment, capture_output=True, text=True)
        if run.returncode != 0:
            print("reproducible: %s failed:\n%s%s" % (" ".join(command), run.stdout[-4000:], run.stderr[-4000:]))
            return 1

    differences = []
    for name in ("Ombrel.dll", "Ombrel.dll.debug", package):
        with open(os.path.join(reference_dir, name), "rb") as f:
            reference = f.read()
        try:
            with open(os.path.join(build, "release", name), "rb") as f:
                again = f.read()
        except OSError as e:
            differences.append("%s: not made by the second build (%s)" % (name, e))
            continue
        at = first_difference(reference, again)
        if at is not None:
            where = " (%s)" % section_at(reference, at) if name == "Ombrel.dll" else ""
            differences.append("%s: %d and %d bytes, first difference at byte 0x%x%s"
                               % (name, len(reference), len(again), at, where))
        else:
            print("reproducible: %s: the same %d bytes" % (name, len(reference)))
    if differences:
        print("reproducible: FAILED: a second build in %s differs:" % scratch)
        for d in differences:
            print("  - " + d)
        return 1
    shutil.rmtree(scratch, ignore_errors=True)
    print("reproducible: passed")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
