#!/usr/bin/env python3
"""Structural check of the shipped module Ombrel.dll.

Quor loads the DLL, reads its declaration resources without running any of its code, calls
the one export `main`, and resolves the DLL's imports against Quor.exe and the camera
driver SENNTCAM.dll. Neither is available at build time, so this script reads the PE file
itself (its own parser, standard library only) and refuses the DLL unless:

  - it is a 32-bit i386 DLL (PE32, machine 0x14c, IMAGE_FILE_DLL);
  - it exports one name, `main`, and nothing by ordinal only;
  - it imports only from Quor.exe (by name, every name of dll_link/Quor.def and no other; Quor's
    loader expects a module to import each function Quor.exe exports to modules),
    SENNTCAM.dll (by ordinal, every ordinal of camera/SENNTCAM.def and no other) and
    Windows' own DLLs;
  - it carries exactly the declaration resources ZEMF 1100, ZEMI 1100, STR# 1101, the
    version block and the manifest, all under language 1033, with the expected contents;
  - it is hardened as Windows' tools check a DLL: ASLR (DYNAMIC_BASE, with its base
    relocations), DEP (NX_COMPAT), no section both writable and executable, the stack
    protector linked in (its failure handler's message and the guard's seeding from
    ADVAPI32's CryptGenRandom), and either the NO_SEH mark, refused when the code writes the
    SEH chain head fs:[0] itself, or a safe-SEH table in the load configuration.

Usage: check_dll.py Ombrel.dll [--quor-def FILE] [--senntcam-def FILE]
Exit status 0 with a short summary when the DLL passes, 1 with the list of faults otherwise.
"""

import argparse
import collections
import os
import re
import struct
import sys
import xml.etree.ElementTree as ElementTree

REPO_ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

IMAGE_FILE_MACHINE_I386 = 0x14C
IMAGE_FILE_DLL = 0x2000
PE32_MAGIC = 0x10B

DIR_EXPORT = 0
DIR_IMPORT = 1
DIR_RESOURCE = 2
DIR_BASE_RELOCATION = 5
DIR_LOAD_CONFIG = 10
DIR_DELAY_IMPORT = 13

IMAGE_FILE_RELOCS_STRIPPED = 0x1
DLL_DYNAMIC_BASE = 0x40
DLL_NX_COMPAT = 0x100
DLL_NO_SEH = 0x400
SECTION_CODE = 0x20
SECTION_EXECUTE = 0x20000000
SECTION_WRITE = 0x80000000
# Registering an SEH handler on i386 stores the new record's address in fs:[0], the head of the
# thread's handler chain: mov fs:[0],eax / mov fs:[0],reg / pop fs:[0] / mov fs:[0],imm32.
SEH_CHAIN_WRITE = re.compile(rb"\x64(?:\xA3|\x89[\x05\x0D\x15\x1D\x25\x2D\x35\x3D]|\x8F\x05|\xC7\x05)\0\0\0\0")
# What the stack protector brings: gcc's handler for a smashed canary and the guard's seeding.
STACK_PROTECTOR_MESSAGE = b"stack smashing detected"
STACK_GUARD_SEED = ("advapi32.dll", "CryptGenRandom")

RT_VERSION = 16
RT_MANIFEST = 24
LANG_EN_US = 1033

VS_FFI_SIGNATURE = 0xFEEF04BD
VS_FF_DEBUG = 0x1
VOS_NT_WINDOWS32 = 0x40004
VFT_DLL = 2
CODE_PAGE_UNICODE = 1200

# Windows' own DLLs the module may import from (the C runtime is static, msvcrt.dll is part
# of Windows). Compared case-insensitively.
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "version.dll", "msvcrt.dll", "advapi32.dll"}
SYSTEM_DLL_FAMILY = re.compile(r"^api-ms-win-crt-[a-z0-9-]+\.dll$")

# The eight external functions the module declares, in index order: name, category word,
# result type, parameter types. 4 is a double, 0x2000 a text handle; category 0x6100 marks
# the two functions that make or overwrite a wave.
TYPE_DOUBLE = 4
TYPE_TEXT_HANDLE = 0x2000
FUNCTION_DECLARATIONS = [
    ("QV_InitCam", 0x2100, TYPE_DOUBLE, []),
    ("QV_GetWidth", 0x2100, TYPE_DOUBLE, []),
    ("QV_GetHeight", 0x2100, TYPE_DOUBLE, []),
    ("QV_OpenDialog", 0x2100, TYPE_DOUBLE, []),
    ("QV_TakePicture_12", 0x6100, TYPE_DOUBLE, [TYPE_TEXT_HANDLE]),
    ("QV_TakePicture_8", 0x6100, TYPE_DOUBLE, [TYPE_TEXT_HANDLE, TYPE_DOUBLE, TYPE_DOUBLE]),
    ("QV_SetValues", 0x2100, TYPE_DOUBLE, [TYPE_DOUBLE, TYPE_DOUBLE]),
    ("QV_ReleaseCam", 0x2100, TYPE_DOUBLE, []),
]
# Where each declaration starts, and the total: the host finds the functions by walking the
# packed list, so the table above must give exactly these offsets.
DECLARATION_OFFSETS = [0, 17, 35, 54, 74, 100, 129, 152]
ZEMF_SIZE = 172

ZEMI_WORDS = [4, 0, 0, 0, 500]
STRING_LIST = ["-1", "---", "Ombrel"]


def read_module_version(path):
    """(a, b, c, d) of the resource script's FILEVERSION line, the one source of the version."""
    with open(path, encoding="ascii") as f:
        for line in f:
            match = re.fullmatch(r"FILEVERSION (\d+),(\d+),(\d+),(\d+)\s*", line)
            if match:
                return tuple(int(v) for v in match.groups())
    raise ValueError("%s has no FILEVERSION a,b,c,d line" % path)


MODULE_VERSION = read_module_version(os.path.join(REPO_ROOT, "resources", "ombrel.rc"))


def expected_zemf():
    """The ZEMF 1100 bytes: each name with its 0 byte, then the words, unpadded."""
    data = bytearray()
    offsets = []
    for name, category, result, parameters in FUNCTION_DECLARATIONS:
        offsets.append(len(data))
        data += name.encode("ascii") + b"\0"
        data += struct.pack("<%dH" % (3 + len(parameters)), category, result, *parameters, 0)
    if offsets != DECLARATION_OFFSETS or len(data) != ZEMF_SIZE:
        raise AssertionError("function declaration table does not give the fixed layout")
    return bytes(data)


def expected_zemi():
    return struct.pack("<5H", *ZEMI_WORDS)


def expected_string_list():
    return b"".join(s.encode("ascii") + b"\0" for s in STRING_LIST) + b"\0"


def read_quor_exports(path):
    """Names after EXPORTS in a .def file (one per line, comments after ';')."""
    names = set()
    in_exports = False
    with open(path, encoding="ascii") as f:
        for line in f:
            line = line.split(";", 1)[0].strip()
            if not line:
                continue
            word = line.split()[0]
            if word.upper() == "EXPORTS":
                in_exports = True
                continue
            if word.upper() in ("LIBRARY", "NAME"):
                in_exports = False
                continue
            if in_exports:
                names.add(word)
    if not names:
        raise ValueError("%s lists no exports" % path)
    return names


def read_driver_ordinals(path):
    """Ordinal -> entry name from a .def file whose exports carry '@N'."""
    ordinals = {}
    in_exports = False
    with open(path, encoding="ascii") as f:
        for line in f:
            line = line.split(";", 1)[0].strip()
            if not line:
                continue
            fields = line.split()
            if fields[0].upper() == "EXPORTS":
                in_exports = True
                continue
            if fields[0].upper() in ("LIBRARY", "NAME"):
                in_exports = False
                continue
            if not in_exports:
                continue
            ordinal = next((f for f in fields[1:] if re.fullmatch(r"@\d+", f)), None)
            if ordinal is None:
                raise ValueError("%s: entry without an ordinal: %s" % (path, line))
            ordinals[int(ordinal[1:])] = fields[0]
    if not ordinals:
        raise ValueError("%s lists no ordinals" % path)
    return ordinals


class Malformed(Exception):
    """The file cannot be read as a PE image at all (or a structure points outside it)."""


class PeImage:
    """Just enough of a PE32 file: headers, sections, address translation, string reads."""

    def __init__(self, data):
        self.data = data
        if len(data) < 0x40 or data[:2] != b"MZ":
            raise Malformed("no MZ header")
        pe = self.u32(0x3C)
        if self.read(pe, 4) != b"PE\0\0":
            raise Malformed("no PE signature at 0x%x" % pe)
        (self.machine, section_count, _, _, _, optional_size,
         self.characteristics) = struct.unpack_from("<HHIIIHH", self.need(pe + 4, 20), 0)
        optional = pe + 24
        self.magic = self.u16(optional)
        self.directories = []
        self.dll_characteristics = 0
        if self.magic == PE32_MAGIC:
            if optional_size < 96:
                raise Malformed("optional header too small")
            self.dll_characteristics = self.u16(optional + 70)
            count = min(self.u32(optional + 92), 16, (optional_size - 96) // 8)
            for i in range(count):
                self.directories.append(struct.unpack_from("<II", self.need(optional + 96 + 8 * i, 8)))
        self.sections = []
        self.section_flags = []
        table = optional + optional_size
        for i in range(section_count):
            name, vsize, va, raw_size, raw_pointer = struct.unpack_from("<8sIIII", self.need(table + 40 * i, 24))
            self.sections.append((name.rstrip(b"\0").decode("latin-1"), va, vsize, raw_pointer, raw_size))
            self.section_flags.append(self.u32(table + 40 * i + 36))

    # Bounds-checked reads of the file.
    def need(self, offset, size):
        if offset < 0 or size < 0 or offset + size > len(self.data):
            raise Malformed("structure at file offset 0x%x (%d bytes) runs past the end" % (offset, size))
        return self.data[offset:offset + size]

    def read(self, offset, size):
        return self.need(offset, size)

    def u16(self, offset):
        return struct.unpack("<H", self.need(offset, 2))[0]

    def u32(self, offset):
        return struct.unpack("<I", self.need(offset, 4))[0]

    def directory(self, index):
        if index < len(self.directories):
            return self.directories[index]
        return (0, 0)

    def offset_of(self, rva, size=1):
        """File offset of an RVA whose `size` bytes all lie in one section's file data."""
        for _, va, vsize, raw_pointer, raw_size in self.sections:
            extent = vsize if vsize else raw_size
            if va <= rva and rva + size <= va + extent:
                if rva - va + size > raw_size:
                    raise Malformed("RVA 0x%x lies beyond its section's file data" % rva)
                return raw_pointer + (rva - va)
        raise Malformed("RVA 0x%x (%d bytes) lies in no section" % (rva, size))

    def at_rva(self, rva, size):
        return self.need(self.offset_of(rva, size), size)

    def u32_rva(self, rva):
        return struct.unpack("<I", self.at_rva(rva, 4))[0]

    def u16_rva(self, rva):
        return struct.unpack("<H", self.at_rva(rva, 2))[0]

    def c_string(self, rva, limit=512):
        start = self.offset_of(rva)
        end = self.data.find(b"\0", start, start + limit)
        if end < 0:
            raise Malformed("unterminated name at RVA 0x%x" % rva)
        return self.data[start:end].decode("latin-1")


# ---------------------------------------------------------------------------- the parts

def read_exports(image):
    """(names, ordinal-only ordinals, forwarded names) of the export directory."""
    rva, size = image.directory(DIR_EXPORT)
    if rva == 0:
        return [], [], []
    (_, _, _, _, _, base, function_count, name_count,
     functions_rva, names_rva, name_ordinals_rva) = struct.unpack("<IIHHIIIIIII", image.at_rva(rva, 40))
    if function_count > 65536 or name_count > 65536:
        raise Malformed("export directory claims %d functions and %d names" % (function_count, name_count))
    function_rvas = [image.u32_rva(functions_rva + 4 * i) for i in range(function_count)]
    named = set()
    names = []
    forwarded = []
    for i in range(name_count):
        name = image.c_string(image.u32_rva(names_rva + 4 * i))
        index = image.u16_rva(name_ordinals_rva + 2 * i)
        if index >= function_count:
            raise Malformed("export %r points past the function table" % name)
        named.add(index)
        names.append(name)
        if rva <= function_rvas[index] < rva + size:
            forwarded.append(name)
    unnamed = [base + i for i, f in enumerate(function_rvas) if f != 0 and i not in named]
    return names, unnamed, forwarded


def read_imports(image):
    """List of (dll name, [('name', str) | ('ordinal', int)]) from the import directory."""
    rva, _ = image.directory(DIR_IMPORT)
    result = []
    if rva == 0:
        return result
    for index in range(4096):
        lookup, _, _, name_rva, address = struct.unpack("<IIIII", image.at_rva(rva + 20 * index, 20))
        if lookup == 0 and name_rva == 0 and address == 0:
            return result
        dll = image.c_string(name_rva)
        thunks = lookup if lookup else address
        entries = []
        for slot in range(65536):
            value = image.u32_rva(thunks + 4 * slot)
            if value == 0:
                break
            if value & 0x80000000:
                entries.append(("ordinal", value & 0xFFFF))
            else:
                entries.append(("name", image.c_string(value + 2)))
        else:
            raise Malformed("import list of %s has no end" % dll)
        result.append((dll, entries))
    raise Malformed("import directory has no end")


# One resource: type and name are ints or strings; the offsets (into the file) of its data and
# of the directory entry that names its language are kept for diagnostics and tests.
Resource = collections.namedtuple("Resource", "type name language data data_offset language_entry_offset")


def read_resources(image):
    """List of Resource, in directory order."""
    base, _ = image.directory(DIR_RESOURCE)
    if base == 0:
        return []
    found = []
    visited = set()

    def entry_id(value):
        if value & 0x80000000:
            offset = value & 0x7FFFFFFF
            length = image.u16_rva(base + offset)
            return image.at_rva(base + offset + 2, 2 * length).decode("utf-16-le")
        return value

    def walk(offset, path):
        if offset in visited:
            raise Malformed("resource directory loops")
        visited.add(offset)
        named, ids = struct.unpack("<HH", image.at_rva(base + offset + 12, 4))
        for i in range(named + ids):
            entry_rva = base + offset + 16 + 8 * i
            name, target = struct.unpack("<II", image.at_rva(entry_rva, 8))
            key = path + [entry_id(name)]
            if target & 0x80000000:
                if len(key) >= 3:
                    raise Malformed("resource directory deeper than type/name/language")
                walk(target & 0x7FFFFFFF, key)
            else:
                if len(key) != 3:
                    raise Malformed("resource data at level %d instead of 3" % len(key))
                data_rva, data_size = struct.unpack("<II", image.at_rva(base + target, 8))
                found.append(Resource(key[0], key[1], key[2], bytes(image.at_rva(data_rva, data_size)),
                                      image.offset_of(data_rva) if data_size else None,
                                      image.offset_of(entry_rva)))

    walk(0, [])
    return found


def parse_version_block(data):
    """(fixed info dict, translations, string table keys) of a VS_VERSIONINFO block."""

    def node(offset, end):
        if offset + 6 > end:
            raise Malformed("version block node past its parent")
        length, value_length, value_type = struct.unpack_from("<HHH", data, offset)
        if length < 6 or offset + length > end:
            raise Malformed("version block node of length %d at %d" % (length, offset))
        key_end = offset + 6
        while key_end + 1 < offset + length and data[key_end:key_end + 2] != b"\0\0":
            key_end += 2
        key = data[offset + 6:key_end].decode("utf-16-le")
        value_start = (key_end + 2 + 3) & ~3
        value_bytes = value_length * (2 if value_type == 1 else 1)
        value = data[value_start:value_start + value_bytes]
        children = []
        child = (value_start + value_bytes + 3) & ~3
        while child < offset + length:
            sub = node(child, offset + length)
            children.append(sub)
            child = (child + sub["length"] + 3) & ~3
        return {"key": key, "value": value, "children": children, "length": length}

    root = node(0, len(data))
    if root["key"] != "VS_VERSION_INFO":
        raise Malformed("version block key is %r" % root["key"])
    if len(root["value"]) < 52:
        raise Malformed("version block has no fixed file information")
    fields = struct.unpack("<13I", root["value"][:52])
    names = ("signature", "struct_version", "file_ms", "file_ls", "product_ms", "product_ls",
             "flags_mask", "flags", "os", "type", "subtype", "date_ms", "date_ls")
    fixed = dict(zip(names, fields))
    translations = []
    table_keys = []
    for child in root["children"]:
        if child["key"] == "VarFileInfo":
            for var in child["children"]:
                if var["key"] == "Translation":
                    value = var["value"]
                    for i in range(0, len(value) - len(value) % 4, 4):
                        translations.append(struct.unpack_from("<HH", value, i))
        elif child["key"] == "StringFileInfo":
            table_keys += [table["key"] for table in child["children"]]
    return fixed, translations, table_keys


def version_text(ms, ls):
    return "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)


def check_version(data, errors):
    try:
        fixed, translations, table_keys = parse_version_block(data)
    except (Malformed, UnicodeDecodeError, struct.error) as e:
        errors.append("version resource: %s" % e)
        return
    if fixed["signature"] != VS_FFI_SIGNATURE:
        errors.append("version resource: fixed information signature 0x%08x" % fixed["signature"])
    wanted = MODULE_VERSION
    wanted_ms = (wanted[0] << 16) | wanted[1]
    wanted_ls = (wanted[2] << 16) | wanted[3]
    for what in ("file", "product"):
        ms, ls = fixed[what + "_ms"], fixed[what + "_ls"]
        if (ms, ls) != (wanted_ms, wanted_ls):
            errors.append("version resource: %s version %s, expected %s"
                          % (what, version_text(ms, ls), ".".join(map(str, wanted))))
    if not fixed["flags"] & VS_FF_DEBUG or not fixed["flags_mask"] & VS_FF_DEBUG:
        errors.append("version resource: debug flag not set (flags 0x%x, mask 0x%x)"
                      % (fixed["flags"], fixed["flags_mask"]))
    if fixed["os"] != VOS_NT_WINDOWS32:
        errors.append("version resource: file OS 0x%x, expected VOS_NT_WINDOWS32 0x%x" % (fixed["os"], VOS_NT_WINDOWS32))
    if fixed["type"] != VFT_DLL:
        errors.append("version resource: file type %d, expected VFT_DLL %d" % (fixed["type"], VFT_DLL))
    if translations != [(LANG_EN_US, CODE_PAGE_UNICODE)]:
        errors.append("version resource: translation %s, expected 0x0409/1200"
                      % (", ".join("0x%04x/%d" % t for t in translations) or "missing"))
    wanted_key = "%04x%04x" % (LANG_EN_US, CODE_PAGE_UNICODE)
    for key in table_keys:
        if key.lower() != wanted_key:
            errors.append("version resource: string table %r does not match the translation %s" % (key, wanted_key))


def check_manifest(data, errors):
    bom = b"\xef\xbb\xbf"
    if not data.startswith(bom):
        errors.append("manifest: no UTF-8 byte-order mark")
        text = data
    else:
        text = data[len(bom):]
    try:
        root = ElementTree.fromstring(text.decode("utf-8"))
    except (UnicodeDecodeError, ElementTree.ParseError) as e:
        errors.append("manifest: not well-formed UTF-8 XML (%s)" % e)
        return
    levels = [e for e in root.iter() if e.tag.rsplit("}", 1)[-1] == "requestedExecutionLevel"]
    if len(levels) != 1:
        errors.append("manifest: %d requestedExecutionLevel elements, expected 1" % len(levels))
        return
    level = levels[0]
    if level.get("level") != "asInvoker":
        errors.append("manifest: execution level %r, expected 'asInvoker'" % level.get("level"))
    if level.get("uiAccess") != "false":
        errors.append("manifest: uiAccess %r, expected 'false'" % level.get("uiAccess"))


def resource_label(type_, name):
    def one(v):
        return '"%s"' % v if isinstance(v, str) else str(v)
    return "%s %s" % (one(type_), one(name))


def check_hardening(image, data, imports, errors, summary):
    """The marks Windows' tools look for in a hardened 32-bit DLL; `imports` as read_imports."""
    flags = image.dll_characteristics
    marks = []
    relocations = image.directory(DIR_BASE_RELOCATION)
    if not flags & DLL_DYNAMIC_BASE:
        errors.append("ASLR: DYNAMIC_BASE not set in the DLL characteristics (0x%x)" % flags)
    elif image.characteristics & IMAGE_FILE_RELOCS_STRIPPED or relocations[0] == 0 or relocations[1] == 0:
        errors.append("ASLR: DYNAMIC_BASE set but the base relocations are stripped")
    else:
        marks.append("DYNAMIC_BASE")
    if flags & DLL_NX_COMPAT:
        marks.append("NX_COMPAT")
    else:
        errors.append("DEP: NX_COMPAT not set in the DLL characteristics (0x%x)" % flags)

    code = []
    for (name, _, _, raw_pointer, raw_size), section_flags in zip(image.sections, image.section_flags):
        if section_flags & (SECTION_CODE | SECTION_EXECUTE):
            code.append((name, data[raw_pointer:raw_pointer + raw_size]))
            if section_flags & SECTION_WRITE:
                errors.append("section %s is both executable and writable" % name)

    handler_writes = ["%s+0x%x" % (name, m.start()) for name, raw in code for m in SEH_CHAIN_WRITE.finditer(raw)]
    load_config_rva, load_config_size = image.directory(DIR_LOAD_CONFIG)
    handler_table = 0
    if load_config_rva and load_config_size >= 72:
        try:
            handler_table = image.u32_rva(load_config_rva + 64)
        except Malformed as e:
            errors.append("load configuration unreadable: %s" % e)
    if flags & DLL_NO_SEH:
        if handler_writes:
            errors.append("NO_SEH set, but the code installs SEH handlers (writes fs:[0] at %s)"
                          % ", ".join(handler_writes[:5]))
        else:
            marks.append("NO_SEH")
    elif handler_table:
        marks.append("safe-SEH table")
    else:
        errors.append("SEH: neither NO_SEH set nor a safe-SEH table in the load configuration")

    seeded = any(dll.lower() == STACK_GUARD_SEED[0] and ("name", STACK_GUARD_SEED[1]) in entries
                 for dll, entries in imports)
    if STACK_PROTECTOR_MESSAGE not in data:
        errors.append("stack protector: its failure handler is not linked in")
    elif not seeded:
        errors.append("stack protector: the guard is not seeded (%s is not imported from %s)"
                      % (STACK_GUARD_SEED[1], STACK_GUARD_SEED[0].upper()))
    else:
        marks.append("stack protector")
    summary.append("hardening: %s" % ", ".join(marks))


# ---------------------------------------------------------------------------- the check

def check_image(data, quor_names, driver_ordinals):
    """Return (errors, summary lines) for the bytes of a DLL."""
    errors = []
    summary = []
    try:
        image = PeImage(data)
    except (Malformed, struct.error) as e:
        return ["not a readable PE file: %s" % e], summary

    if image.magic != PE32_MAGIC:
        errors.append("optional header magic 0x%x, expected PE32 0x10b" % image.magic)
    if image.machine != IMAGE_FILE_MACHINE_I386:
        errors.append("machine 0x%x, expected i386 0x14c" % image.machine)
    if not image.characteristics & IMAGE_FILE_DLL:
        errors.append("IMAGE_FILE_DLL not set in the characteristics (0x%x)" % image.characteristics)
    for name, _, _, raw_pointer, raw_size in image.sections:
        if raw_pointer + raw_size > len(data):
            errors.append("section %s runs past the end of the file (truncated?)" % name)
    if errors:
        return errors, summary
    summary.append("PE32 i386 DLL, %d sections" % len(image.sections))

    # Exports.
    try:
        names, unnamed, forwarded = read_exports(image)
        if names != ["main"]:
            errors.append("exports %s, expected exactly one name, main" % (names or "nothing"))
        if unnamed:
            errors.append("exports by ordinal only: %s" % ", ".join(map(str, unnamed)))
        if forwarded:
            errors.append("forwarded exports: %s" % ", ".join(forwarded))
        summary.append("exports: %s" % ", ".join(names))
    except (Malformed, struct.error, UnicodeDecodeError) as e:
        errors.append("export directory unreadable: %s" % e)

    # Imports.
    try:
        rva, _ = image.directory(DIR_DELAY_IMPORT)
        if rva:
            errors.append("delay-load imports present")
        driver_seen = set()
        quor_seen = 0
        quor_names_seen = set()
        imports = read_imports(image)
        for dll, entries in imports:
            lower = dll.lower()
            if lower == "quor.exe":
                for kind, value in entries:
                    if kind != "name":
                        errors.append("Quor.exe imported by ordinal %d, expected by name" % value)
                    elif value not in quor_names:
                        errors.append("Quor.exe import %s is not a host export" % value)
                    else:
                        quor_names_seen.add(value)
                quor_seen += len(entries)
                summary.append("imports %s: %d by name" % (dll, len(entries)))
            elif lower == "senntcam.dll":
                for kind, value in entries:
                    if kind != "ordinal":
                        errors.append("SENNTCAM.dll imported by name %s, expected by ordinal" % value)
                    elif value not in driver_ordinals:
                        errors.append("SENNTCAM.dll ordinal %d is not a driver entry" % value)
                    else:
                        driver_seen.add(value)
                summary.append("imports %s: ordinals %s" % (dll, " ".join(str(v) for _, v in sorted(entries))))
            elif lower in SYSTEM_DLLS or SYSTEM_DLL_FAMILY.match(lower):
                summary.append("imports %s: %d functions" % (dll, len(entries)))
            else:
                errors.append("imports from %s, which is neither the host, the driver nor a Windows DLL" % dll)
        if not quor_seen:
            errors.append("imports nothing from Quor.exe")
        else:
            missing_host = sorted(set(quor_names) - quor_names_seen)
            if missing_host:
                errors.append("host exports not imported from Quor.exe: %s" % ", ".join(missing_host))
        missing = sorted(set(driver_ordinals) - driver_seen)
        if missing:
            errors.append("driver entries not imported: %s"
                          % ", ".join("%d (%s)" % (o, driver_ordinals[o]) for o in missing))
    except (Malformed, struct.error, UnicodeDecodeError) as e:
        errors.append("import directory unreadable: %s" % e)
        imports = []

    check_hardening(image, data, imports, errors, summary)

    # Resources.
    try:
        resources = read_resources(image)
    except (Malformed, struct.error, UnicodeDecodeError) as e:
        errors.append("resource directory unreadable: %s" % e)
        return errors, summary
    expected = {
        ("ZEMF", 1100): ("function declarations", expected_zemf()),
        ("ZEMI", 1100): ("information record", expected_zemi()),
        ("STR#", 1101): ("string list", expected_string_list()),
        (RT_VERSION, 1): ("version block", None),
        (RT_MANIFEST, 2): ("manifest", None),
    }
    seen = {}
    for type_, name, language, data_bytes, _, _ in resources:
        label = resource_label(type_, name)
        if (type_, name) not in expected:
            errors.append("unexpected resource %s (language %s)" % (label, language))
            continue
        if (type_, name) in seen:
            errors.append("resource %s present in more than one language" % label)
        seen[(type_, name)] = data_bytes
        if language != LANG_EN_US:
            errors.append("resource %s under language %s, expected 1033" % (label, language))
        what, wanted = expected[(type_, name)]
        if wanted is not None and data_bytes != wanted:
            detail = "%d bytes, expected %d" % (len(data_bytes), len(wanted))
            first = next((i for i, (a, b) in enumerate(zip(data_bytes, wanted)) if a != b), None)
            if first is not None:
                detail += "; first difference at byte %d (0x%02x, expected 0x%02x)" % (
                    first, data_bytes[first], wanted[first])
            errors.append("resource %s (%s) differs: %s" % (label, what, detail))
    for key, (what, _) in expected.items():
        if key not in seen:
            errors.append("resource %s (%s) missing" % (resource_label(*key), what))
    if (RT_VERSION, 1) in seen:
        check_version(seen[(RT_VERSION, 1)], errors)
    if (RT_MANIFEST, 2) in seen:
        check_manifest(seen[(RT_MANIFEST, 2)], errors)
    summary.append("resources: %s" % ", ".join(resource_label(t, n) for t, n in seen))
    return errors, summary


def main(argv=None):
    parser = argparse.ArgumentParser(description="Structural check of Ombrel.dll")
    parser.add_argument("dll")
    parser.add_argument("--quor-def", default=os.path.join(REPO_ROOT, "dll_link", "Quor.def"))
    parser.add_argument("--senntcam-def", default=os.path.join(REPO_ROOT, "camera", "SENNTCAM.def"))
    args = parser.parse_args(argv)
    try:
        quor_names = read_quor_exports(args.quor_def)
        driver_ordinals = read_driver_ordinals(args.senntcam_def)
        with open(args.dll, "rb") as f:
            data = f.read()
    except (OSError, ValueError) as e:
        print("check_dll: %s" % e, file=sys.stderr)
        return 1
    errors, summary = check_image(data, quor_names, driver_ordinals)
    if errors:
        print("check_dll: %s FAILED:" % args.dll)
        for e in errors:
            print("  - " + e)
        return 1
    print("check_dll: %s passed" % args.dll)
    for line in summary:
        print("  " + line)
    return 0


if __name__ == "__main__":
    sys.exit(main())
