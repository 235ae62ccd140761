#!/usr/bin/env python3
"""Shows that the DLL check can fail: damaged copies of a good Ombrel.dll must be refused.

Usage: test_check_dll.py Ombrel.dll [unittest arguments]
The DLL given must pass the check as it is; every case then changes one thing in a copy (a
resource byte, the version, an export, an import, the headers, a hardening mark) and expects the check to
refuse it with a message that names the fault. A few cases change something the host does
not care about (the case of a DLL name) and expect the copy to pass.
"""

import os
import re
import struct
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import check_dll  # noqa: E402

DLL_PATH = None
QUOR_NAMES = check_dll.read_quor_exports(os.path.join(check_dll.REPO_ROOT, "dll_link", "Quor.def"))
DRIVER_ORDINALS = check_dll.read_driver_ordinals(os.path.join(check_dll.REPO_ROOT, "camera", "SENNTCAM.def"))


def align(value, alignment):
    return (value + alignment - 1) // alignment * alignment


class Pe:
    """Offsets of the header fields the cases change, from a copy of the DLL."""

    def __init__(self, data):
        self.data = data
        self.pe = struct.unpack_from("<I", data, 0x3C)[0]
        self.coff = self.pe + 4
        self.optional = self.pe + 24
        self.optional_size = struct.unpack_from("<H", data, self.coff + 16)[0]
        self.directories = self.optional + 96

    def image(self):
        return check_dll.PeImage(bytes(self.data))

    def directory(self, index):
        return struct.unpack_from("<II", self.data, self.directories + 8 * index)

    def set_directory(self, index, rva, size):
        struct.pack_into("<II", self.data, self.directories + 8 * index, rva, size)

    def add_section(self, build_payload):
        """Append a readable data section; build_payload(rva) gives its bytes. Returns the rva."""
        data = self.data
        count = struct.unpack_from("<H", data, self.coff + 2)[0]
        section_alignment, file_alignment = struct.unpack_from("<II", data, self.optional + 32)
        headers_size = struct.unpack_from("<I", data, self.optional + 60)[0]
        table_end = self.optional + self.optional_size + 40 * count
        if table_end + 40 > headers_size or any(data[table_end:table_end + 40]):
            raise unittest.SkipTest("no room in the headers for one more section")
        end_of_image = 0
        for i in range(count):
            vsize, va = struct.unpack_from("<II", data, self.optional + self.optional_size + 40 * i + 8)
            end_of_image = max(end_of_image, va + vsize)
        rva = align(end_of_image, section_alignment)
        payload = build_payload(rva)
        raw_pointer = align(len(data), file_alignment)
        raw_size = align(len(payload), file_alignment)
        data.extend(b"\0" * (raw_pointer - len(data)))
        data.extend(payload + b"\0" * (raw_size - len(payload)))
        struct.pack_into("<8sIIIIIIHHI", data, table_end, b".inject", len(payload), rva, raw_size,
                         raw_pointer, 0, 0, 0, 0, 0x40000040)
        struct.pack_into("<H", data, self.coff + 2, count + 1)
        struct.pack_into("<I", data, self.optional + 56, align(rva + len(payload), section_alignment))
        return rva

    def import_thunk_offsets(self, dll_name):
        """File offsets of the lookup and address slots of one imported DLL, slot by slot."""
        image = self.image()
        rva, _ = image.directory(check_dll.DIR_IMPORT)
        for index in range(4096):
            lookup, _, _, name_rva, address = struct.unpack("<IIIII", image.at_rva(rva + 20 * index, 20))
            if name_rva == 0:
                break
            if image.c_string(name_rva).lower() != dll_name.lower():
                continue
            slots = []
            for slot in range(65536):
                if image.u32_rva(address + 4 * slot) == 0:
                    break
                offsets = [image.offset_of(address + 4 * slot, 4)]
                if lookup:
                    offsets.append(image.offset_of(lookup + 4 * slot, 4))
                slots.append(offsets)
            return slots
        raise AssertionError("%s is not imported" % dll_name)

    def dll_name_offset(self, dll_name):
        image = self.image()
        rva, _ = image.directory(check_dll.DIR_IMPORT)
        for index in range(4096):
            name_rva = struct.unpack("<IIIII", image.at_rva(rva + 20 * index, 20))[3]
            if name_rva == 0:
                break
            if image.c_string(name_rva).lower() == dll_name.lower():
                return image.offset_of(name_rva)
        raise AssertionError("%s is not imported" % dll_name)

    def resource(self, type_, name):
        for r in check_dll.read_resources(self.image()):
            if (r.type, r.name) == (type_, name):
                return r
        raise AssertionError("resource %s %s missing from the good DLL" % (type_, name))


class CheckCatchesFaults(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        with open(DLL_PATH, "rb") as f:
            cls.good = f.read()

    def copy(self):
        data = bytearray(self.good)
        return data, Pe(data)

    def errors(self, data):
        errors, _ = check_dll.check_image(bytes(data), QUOR_NAMES, DRIVER_ORDINALS)
        return errors

    def assertRefused(self, data, *fragments):
        errors = self.errors(data)
        self.assertTrue(errors, "the damaged copy passed the check")
        text = "\n".join(errors)
        for fragment in fragments:
            self.assertIn(fragment, text)

    def assertAccepted(self, data):
        self.assertEqual(self.errors(data), [])

    # ------------------------------------------------------------------ the good DLL

    def test_good_dll_passes(self):
        errors, summary = check_dll.check_image(self.good, QUOR_NAMES, DRIVER_ORDINALS)
        self.assertEqual(errors, [])
        self.assertIn("exports: main", summary)

    def test_command_line_exit_status(self):
        script = os.path.join(os.path.dirname(os.path.abspath(__file__)), "check_dll.py")
        ok = subprocess.run([sys.executable, script, DLL_PATH], capture_output=True, text=True)
        self.assertEqual(ok.returncode, 0, ok.stdout + ok.stderr)
        self.assertIn("passed", ok.stdout)
        data, pe = self.copy()
        zemf = pe.resource("ZEMF", 1100)
        data[zemf.data_offset] ^= 0x01
        with tempfile.TemporaryDirectory() as tmp:
            bad = os.path.join(tmp, "Ombrel.dll")
            with open(bad, "wb") as f:
                f.write(data)
            refused = subprocess.run([sys.executable, script, bad], capture_output=True, text=True)
        self.assertEqual(refused.returncode, 1)
        self.assertIn("FAILED", refused.stdout)
        self.assertIn('"ZEMF" 1100', refused.stdout)

    # ------------------------------------------------------------------ declaration resources

    def test_quor_def_lists_exactly_the_host_exports_header(self):
        # The import library and the check both read Quor.def; the module compiles against
        # host_exports.h. A name in one but not the other would link or check wrongly.
        with open(os.path.join(check_dll.REPO_ROOT, "hostlink", "host_exports.h")) as f:
            header = f.read()
        block = re.search(r'extern "C" \{(.*?)^\}', header, re.S | re.M)
        self.assertIsNotNone(block, "no extern \"C\" block in host_exports.h")
        declared = set(re.findall(r"(\w+)\s*\(", re.sub(r"//[^\n]*", "", block.group(1))))
        self.assertEqual(declared, QUOR_NAMES)

    def test_expected_declarations_follow_the_fixed_layout(self):
        zemf = check_dll.expected_zemf()
        self.assertEqual(len(zemf), 172)
        self.assertEqual(zemf[:17], b"QV_InitCam\0\x00\x21\x04\x00\x00\x00")
        self.assertEqual(zemf[100:117], b"QV_TakePicture_8\0")
        self.assertEqual(zemf[117:129], bytes.fromhex("0061 0400 0020 0400 0400 0000"))
        self.assertEqual(check_dll.expected_zemi(), bytes.fromhex("04000000000000 00f401".replace(" ", "")))
        self.assertEqual(check_dll.expected_string_list(), b"-1\0---\0Ombrel\0\0")

    def test_each_changed_declaration_byte_is_refused(self):
        zemf = Pe(bytearray(self.good)).resource("ZEMF", 1100)
        for index in (0, 11, 12, 73, 128, 171):   # first name byte, category bytes, end words
            with self.subTest(byte=index):
                data = bytearray(self.good)
                data[zemf.data_offset + index] ^= 0x20
                self.assertRefused(data, '"ZEMF" 1100', "first difference at byte %d" % index)

    def test_changed_information_record_is_refused(self):
        data, pe = self.copy()
        zemi = pe.resource("ZEMI", 1100)
        data[zemi.data_offset + 8] = 0xF5           # 500 becomes 501
        self.assertRefused(data, '"ZEMI" 1100')

    def test_changed_module_name_is_refused(self):
        data, pe = self.copy()
        strings = pe.resource("STR#", 1101)
        at = strings.data.index(b"Ombrel")
        data[strings.data_offset + at + 5] = ord("x")
        self.assertRefused(data, '"STR#" 1101')

    def test_resource_under_another_language_is_refused(self):
        data, pe = self.copy()
        zemf = pe.resource("ZEMF", 1100)
        struct.pack_into("<I", data, zemf.language_entry_offset, 1031)
        self.assertRefused(data, '"ZEMF" 1100 under language 1031')

    def test_renamed_resource_type_is_refused(self):
        data, pe = self.copy()
        # The type name is UTF-16 in the resource directory's string area.
        at = data.find("ZEMI".encode("utf-16-le"), self.resource_section_start(pe))
        self.assertGreater(at, 0)
        data[at + 6] = ord("J")
        self.assertRefused(data, 'unexpected resource "ZEMJ" 1100', '"ZEMI" 1100 (information record) missing')

    def resource_section_start(self, pe):
        image = pe.image()
        return image.offset_of(image.directory(check_dll.DIR_RESOURCE)[0])

    # ------------------------------------------------------------------ version block

    def fixed_info_offset(self, data, pe):
        version = pe.resource(check_dll.RT_VERSION, 1)
        at = version.data.index(struct.pack("<I", check_dll.VS_FFI_SIGNATURE))
        return version.data_offset + at

    def test_wrong_file_version_is_refused(self):
        data, pe = self.copy()
        fixed = self.fixed_info_offset(data, pe)
        major, minor, third, fourth = check_dll.MODULE_VERSION
        struct.pack_into("<I", data, fixed + 12, ((third + 1) << 16) | fourth)
        self.assertRefused(data, "file version %d.%d.%d.%d, expected %d.%d.%d.%d"
                           % (major, minor, third + 1, fourth, major, minor, third, fourth))

    def test_wrong_product_version_is_refused(self):
        data, pe = self.copy()
        fixed = self.fixed_info_offset(data, pe)
        major = check_dll.MODULE_VERSION[0]
        struct.pack_into("<I", data, fixed + 16, (major + 1) << 16)    # the next major version
        self.assertRefused(data, "product version %d.0." % (major + 1))

    def test_missing_debug_flag_is_refused(self):
        data, pe = self.copy()
        fixed = self.fixed_info_offset(data, pe)
        flags = struct.unpack_from("<I", data, fixed + 28)[0]
        struct.pack_into("<I", data, fixed + 28, flags & ~check_dll.VS_FF_DEBUG)
        self.assertRefused(data, "debug flag not set")

    def test_wrong_file_os_and_type_are_refused(self):
        data, pe = self.copy()
        fixed = self.fixed_info_offset(data, pe)
        struct.pack_into("<II", data, fixed + 32, 0x4, 1)       # VOS__WINDOWS32, VFT_APP
        self.assertRefused(data, "file OS 0x4", "file type 1")

    def test_wrong_translation_is_refused(self):
        data, pe = self.copy()
        version = pe.resource(check_dll.RT_VERSION, 1)
        at = version.data.index(b"T\0r\0a\0n\0s\0l\0a\0t\0i\0o\0n\0")
        value = version.data.index(struct.pack("<HH", 0x0409, 1200), at)
        struct.pack_into("<HH", data, version.data_offset + value, 0x0409, 1252)
        self.assertRefused(data, "translation 0x0409/1252")

    def test_damaged_version_block_is_refused_cleanly(self):
        data, pe = self.copy()
        version = pe.resource(check_dll.RT_VERSION, 1)
        struct.pack_into("<H", data, version.data_offset, 0xFFFF)   # length past the resource
        self.assertRefused(data, "version resource:")

    # ------------------------------------------------------------------ manifest

    def manifest(self, pe):
        return pe.resource(check_dll.RT_MANIFEST, 2)

    def test_manifest_without_byte_order_mark_is_refused(self):
        data, pe = self.copy()
        manifest = self.manifest(pe)
        data[manifest.data_offset:manifest.data_offset + 3] = b"   "
        self.assertRefused(data, "manifest: no UTF-8 byte-order mark")

    def test_manifest_with_other_execution_level_is_refused(self):
        data, pe = self.copy()
        manifest = self.manifest(pe)
        at = manifest.data.index(b'"asInvoker"')
        data[manifest.data_offset + at + 1:manifest.data_offset + at + 10] = b"asInvokeX"
        self.assertRefused(data, "execution level 'asInvokeX'")

    def test_manifest_with_ui_access_is_refused(self):
        data, pe = self.copy()
        manifest = self.manifest(pe)
        at = manifest.data.index(b'"false"')
        data[manifest.data_offset + at + 1:manifest.data_offset + at + 6] = b"FALSE"
        self.assertRefused(data, "uiAccess 'FALSE'")

    # ------------------------------------------------------------------ headers

    def test_other_machine_is_refused(self):
        data, pe = self.copy()
        struct.pack_into("<H", data, pe.coff, 0x8664)
        self.assertRefused(data, "machine 0x8664")

    def test_pe32_plus_magic_is_refused(self):
        data, pe = self.copy()
        struct.pack_into("<H", data, pe.optional, 0x20B)
        self.assertRefused(data, "magic 0x20b")

    def test_executable_instead_of_dll_is_refused(self):
        data, pe = self.copy()
        flags = struct.unpack_from("<H", data, pe.coff + 18)[0]
        struct.pack_into("<H", data, pe.coff + 18, flags & ~check_dll.IMAGE_FILE_DLL)
        self.assertRefused(data, "IMAGE_FILE_DLL not set")

    def section_header(self, pe, name):
        """File offset of the named section's header."""
        count = struct.unpack_from("<H", pe.data, pe.coff + 2)[0]
        for i in range(count):
            at = pe.optional + pe.optional_size + 40 * i
            if pe.data[at:at + 8].rstrip(b"\0") == name.encode():
                return at
        raise AssertionError("no section %s" % name)

    def test_each_missing_hardening_mark_is_refused(self):
        def clear_dll_flag(flag):
            def change(data, pe):
                flags = struct.unpack_from("<H", data, pe.optional + 70)[0]
                struct.pack_into("<H", data, pe.optional + 70, flags & ~flag)
            return change

        def strip_relocations(data, pe):
            pe.set_directory(check_dll.DIR_BASE_RELOCATION, 0, 0)

        def writable_code(data, pe):
            at = self.section_header(pe, ".text") + 36
            struct.pack_into("<I", data, at, struct.unpack_from("<I", data, at)[0] | check_dll.SECTION_WRITE)

        def installs_seh_handler(data, pe):
            at = struct.unpack_from("<I", data, self.section_header(pe, ".text") + 20)[0] + 16
            data[at:at + 7] = b"\x64\x89\x25\0\0\0\0"          # mov fs:[0],esp

        def no_protector_handler(data, pe):
            at = data.index(check_dll.STACK_PROTECTOR_MESSAGE)
            data[at] ^= 0x20

        def unseeded_guard(data, pe):
            at = data.index(b"CryptGenRandom\0")
            data[at + 5] = ord("X")

        cases = [
            ("no DYNAMIC_BASE", clear_dll_flag(check_dll.DLL_DYNAMIC_BASE), "DYNAMIC_BASE not set"),
            ("relocations stripped", strip_relocations, "base relocations are stripped"),
            ("no NX_COMPAT", clear_dll_flag(check_dll.DLL_NX_COMPAT), "NX_COMPAT not set"),
            ("writable code", writable_code, "section .text is both executable and writable"),
            ("no NO_SEH, no safe-SEH table", clear_dll_flag(check_dll.DLL_NO_SEH), "neither NO_SEH set"),
            ("NO_SEH on code that installs a handler", installs_seh_handler, "NO_SEH set, but the code installs"),
            ("no stack protector handler", no_protector_handler, "failure handler is not linked in"),
            ("stack guard not seeded", unseeded_guard, "the guard is not seeded"),
        ]
        for label, change, fragment in cases:
            with self.subTest(label):
                data, pe = self.copy()
                change(data, pe)
                self.assertRefused(data, fragment)

    def test_truncated_or_foreign_files_are_refused_without_a_crash(self):
        for size in (0, 2, 0x40, 0x200, len(self.good) // 3, len(self.good) // 2):
            with self.subTest(size=size):
                self.assertTrue(self.errors(self.good[:size]))
        self.assertRefused(b"MZ" + bytes(range(256)) * 8, "not a readable PE file")

    # ------------------------------------------------------------------ exports

    def main_rva(self, pe):
        image = pe.image()
        rva, _ = image.directory(check_dll.DIR_EXPORT)
        functions_rva = struct.unpack("<I", image.at_rva(rva + 28, 4))[0]
        return image.u32_rva(functions_rva)

    def inject_exports(self, data, pe, names, function_count):
        """A new export directory: `names` (sorted) on the first entries, all pointing at main."""
        main = self.main_rva(pe)

        def payload(rva):
            functions_at = 40
            names_at = functions_at + 4 * function_count
            ordinals_at = names_at + 4 * len(names)
            strings_at = ordinals_at + 2 * len(names)
            strings = b""
            name_rvas = []
            for name in [b"Ombrel.dll"] + [n.encode() for n in names]:
                name_rvas.append(rva + strings_at + len(strings))
                strings += name + b"\0"
            block = struct.pack("<IIHHIIIIIII", 0, 0, 0, 0, name_rvas[0], 1, function_count, len(names),
                                rva + functions_at, rva + names_at, rva + ordinals_at)
            block += struct.pack("<%dI" % function_count, *([main] * function_count))
            block += struct.pack("<%dI" % len(names), *name_rvas[1:])
            block += struct.pack("<%dH" % len(names), *range(len(names)))
            return block + strings

        rva = pe.add_section(payload)
        pe.set_directory(check_dll.DIR_EXPORT, rva, 200)

    def test_renamed_export_is_refused(self):
        data, pe = self.copy()
        image = pe.image()
        rva, _ = image.directory(check_dll.DIR_EXPORT)
        names_rva = struct.unpack("<I", image.at_rva(rva + 32, 4))[0]
        name_at = image.offset_of(image.u32_rva(names_rva))
        self.assertEqual(bytes(data[name_at:name_at + 5]), b"main\0")
        data[name_at + 3] = ord("r")
        self.assertRefused(data, "exports ['mair']")

    def test_second_export_name_is_refused(self):
        data, pe = self.copy()
        self.inject_exports(data, pe, ["leak", "main"], 2)
        self.assertRefused(data, "exports ['leak', 'main'], expected exactly one name")

    def test_ordinal_only_export_is_refused(self):
        data, pe = self.copy()
        self.inject_exports(data, pe, ["main"], 2)
        self.assertRefused(data, "exports by ordinal only: 2")

    def test_rebuilt_export_table_with_main_alone_passes(self):
        # Control for the two cases above: the injection itself does not upset the check.
        data, pe = self.copy()
        self.inject_exports(data, pe, ["main"], 1)
        self.assertAccepted(data)

    # ------------------------------------------------------------------ imports

    def test_unknown_driver_ordinal_is_refused(self):
        data, pe = self.copy()
        for offset in pe.import_thunk_offsets("SENNTCAM.dll")[0]:
            struct.pack_into("<I", data, offset, 0x80000000 | 99)
        self.assertRefused(data, "SENNTCAM.dll ordinal 99 is not a driver entry")

    def test_missing_driver_entry_is_refused(self):
        data, pe = self.copy()
        slots = pe.import_thunk_offsets("SENNTCAM.dll")
        first = struct.unpack_from("<I", data, slots[0][0])[0] & 0xFFFF
        second = struct.unpack_from("<I", data, slots[1][0])[0] & 0xFFFF
        for offset in slots[0]:                  # the first slot now repeats the second entry
            struct.pack_into("<I", data, offset, 0x80000000 | second)
        self.assertRefused(data, "driver entries not imported: %d (" % first)

    def test_driver_entry_imported_by_name_is_refused(self):
        data, pe = self.copy()
        slots = pe.import_thunk_offsets("SENNTCAM.dll")
        hint_name = pe.add_section(lambda rva: b"\0\0INIT_BOARD@4\0")
        for offset in slots[0]:
            struct.pack_into("<I", data, offset, hint_name)
        self.assertRefused(data, "SENNTCAM.dll imported by name INIT_BOARD@4, expected by ordinal")

    def test_host_function_not_exported_by_quor_is_refused(self):
        data, pe = self.copy()
        slots = pe.import_thunk_offsets("Quor.exe")
        hint_name = pe.add_section(lambda rva: b"\0\0GetQuorVersion\0")
        for offset in slots[0]:
            struct.pack_into("<I", data, offset, hint_name)
        self.assertRefused(data, "Quor.exe import GetQuorVersion is not a host export")

    def test_host_export_not_imported_is_refused(self):
        # Quor's loader expects every one of its exports among the imports: with the first
        # slot repeating the second name, the first name is imported no more.
        data, pe = self.copy()
        slots = pe.import_thunk_offsets("Quor.exe")
        first = struct.unpack_from("<I", data, slots[0][0])[0]
        second = struct.unpack_from("<I", data, slots[1][0])[0]
        missing = pe.image().c_string(first + 2)
        self.assertIn(missing, QUOR_NAMES)
        for offset in slots[0]:
            struct.pack_into("<I", data, offset, second)
        self.assertRefused(data, "host exports not imported from Quor.exe: %s" % missing)

    def test_host_function_imported_by_ordinal_is_refused(self):
        data, pe = self.copy()
        for offset in pe.import_thunk_offsets("Quor.exe")[0]:
            struct.pack_into("<I", data, offset, 0x80000000 | 5)
        self.assertRefused(data, "Quor.exe imported by ordinal 5")

    def test_import_from_a_foreign_dll_is_refused(self):
        data, pe = self.copy()
        at = pe.dll_name_offset("KERNEL32.dll")
        data[at:at + 12] = b"libgcc_s.dll"
        self.assertRefused(data, "imports from libgcc_s.dll")

    def test_dll_names_compare_without_case(self):
        data, pe = self.copy()
        for name in ("KERNEL32.dll", "Quor.exe", "SENNTCAM.dll"):
            at = pe.dll_name_offset(name)
            data[at:at + len(name)] = name.swapcase().encode()
        self.assertAccepted(data)

    def test_delay_load_imports_are_refused(self):
        data, pe = self.copy()
        import_rva, import_size = pe.directory(check_dll.DIR_IMPORT)
        pe.set_directory(check_dll.DIR_DELAY_IMPORT, import_rva, import_size)
        self.assertRefused(data, "delay-load imports present")


if __name__ == "__main__":
    if len(sys.argv) < 2 or not os.path.isfile(sys.argv[1]):
        print("usage: test_check_dll.py Ombrel.dll [unittest arguments]", file=sys.stderr)
        sys.exit(2)
    DLL_PATH = sys.argv.pop(1)
    unittest.main(verbosity=1)
