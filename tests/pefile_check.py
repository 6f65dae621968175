#!/usr/bin/python3
"""korvane-report --json against pefile (python3-pefile), file by file.

Usage: pefile_check.py [--require-listings] [--verbose] CLI PATH...
Each PATH is a file or a folder (its files, not its subfolders); absent ones
are passed over. CLI runs with --json on many files at a time. For every file
that pefile reads as a PE file, the header fields, the exported names with
their ordinals and the imported functions of each library are compared with
pefile's; for a file the report takes for an MS-DOS program, its DOS header is
compared with the one pefile unpacked before it turned the file down.

The report differs from pefile on purpose in places, and pefile has limits and
checks of its own: such a difference is put down to one of the RULES below and
counted. A rule that rests on the report's own reading of the file (its image
of the sections, its walk of the tables) explains a difference only when the
report's value is what that reading gives, so the listings are also held
against that reading. A difference no rule explains is a fault: exit status 1,
as when pefile read none of the files.

A PE32 file whose data directory names an export or import table that the
JSON does not list is a fault unless the report failed first. A PE32+ file
with neither listing although its data directory names such a table is
counted among "PE32+ files without listings"; --require-listings makes it a
fault too. --verbose prints every explained difference as well.
"""
import bisect
import collections
import json
import os
import re
import shutil
import struct
import subprocess
import sys
import time

import pefile

from corpus_files import files_of

# (name, reason): the differences the report makes on purpose, and those that
# come from pefile's limits and checks, which the report does not share.
RULES = [
    ("report-failed", "the report stopped at a failure (its error member): what it wrote before is compared, "
     "what pefile has beyond is not"),
    ("odd-magic", "the report takes a file whose optional header Magic is neither 10BH nor 20BH for a 16-bit "
     "module and shows no headers; pefile reads it as PE32"),
    ("layout", "the report lays each section at its VirtualAddress, its file bytes up to min(VirtualSize, "
     "SizeOfRawData) and zeros up to the larger, and reads nothing outside the headers and sections; pefile "
     "maps the RVA to other bytes or to none (aligned offsets, RVAs outside the sections taken as file offsets)"),
    ("relocated", "the report reads the listings after base relocation, and a relocation target lies in the "
     "bytes read; pefile reads the file as stored"),
    ("descriptor-end", "the report ends the import descriptors at the first whose Name is 0; pefile goes on to "
     "the first that is all zeros"),
    ("thunk-table", "the report walks OriginalFirstThunk only for a bound descriptor (TimeDateStamp not 0) and "
     "FirstThunk otherwise; pefile walks OriginalFirstThunk whenever it finds entries there"),
    ("merged-library", "the report lists a library once, with the functions of every descriptor naming it "
     "(ASCII case folded); pefile lists each descriptor"),
    ("pefile-unused-export", "pefile leaves out a name whose entry of the export address table is 0"),
    ("pefile-no-function", "pefile drops the whole export listing where its read of the export address table "
     "(NumberOfFunctions entries) fails or lacks the entry an ordinal names; the report does not read that table"),
    ("pefile-odd-name", "pefile stops the exports at a name with a byte outside its set, shows such a library "
     "name as *invalid* and leaves out such an imported name"),
    ("pefile-name-cut", "pefile cuts names at 512 bytes"),
    ("pefile-empty", "pefile leaves out a descriptor whose library name is empty, and an imported function whose "
     "name is empty or whose ordinal is 0"),
    ("pefile-thunk-checks", "pefile ends or drops a thunk table by its checks (entries past the descriptor, an "
     "entry pointing into the table, repeated or widely spread entries, an ordinal above FFFFH, an unreadable "
     "entry or name)"),
    ("pefile-export-limits", "pefile stops the exports after 8192 names, after 10 repeats of one name and "
     "address, or where the name pointer table leaves its section"),
    ("pefile-import-limits", "pefile stops the imports after 8192 entries in all, or after 6 descriptors "
     "without entries"),
]

# Members of "pe_header" that are texts made from the value beside them.
TEXT_MEMBERS = {"MachineName", "SubsystemName", "TimeDateStampText", "CharacteristicsText"}
# The value members of "pe_header" in the report's order: a report that did not fail has them all.
PE_FIELDS = [
    "Characteristics", "Machine", "MajorLinkerVersion", "MinorLinkerVersion", "TimeDateStamp", "ImageBase",
    "SizeOfImage", "MajorOperatingSystemVersion", "MinorOperatingSystemVersion", "MajorImageVersion",
    "MinorImageVersion", "MajorSubsystemVersion", "MinorSubsystemVersion", "Subsystem", "CheckSum", "SizeOfCode",
    "SizeOfInitializedData", "SizeOfUninitializedData", "SizeOfStackReserve", "SizeOfStackCommit",
    "SizeOfHeapReserve", "SizeOfHeapCommit",
]
FILE_HEADER_FIELDS = {"Machine", "TimeDateStamp", "Characteristics"}
# The DOS header's linker version, from the reserved bytes e_res.
DOS_LINKER_FIELDS = {"MajorLinkerVersion": lambda version: version >> 4,
                     "MinorLinkerVersion": lambda version: version & 0x0F}
WIN16 = "No PE signature found. The file appears to be a 16-bit Windows module."
# pefile's warning when it gives the import descriptors up: the RVA after the last descriptor it read.
GIVE_UP = re.compile(r"Too many errors parsing the import directory\. Invalid import data at RVA: 0x([0-9a-f]+)")

EXPORT = pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_EXPORT"]
IMPORT = pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_IMPORT"]
BASERELOC = pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_BASERELOC"]
RVA_LIMIT = 1 << 32
# The report's caps on a listing: entries, and bytes of names.
MAX_LINES = 1 << 20
MAX_TEXT_BYTES = 64 << 20
MAX_TEXT_LENGTH = 16 << 20
BATCH = 200
SHOWN_FAULTS = 20

# Where a relocated image lies decides what the report reads of a relocated
# table: every batch runs with the same fixed address-space layout.
FIXED_LAYOUT = ["setarch", "-R"] if shutil.which("setarch") else []

# A difference: where, the report's value, pefile's value, the rule that explains it (None: a fault) and,
# for a fault, what the report's own reading of the file gives there when that is not pefile's value.
Difference = collections.namedtuple("Difference", "path what korvane pefile rule reading", defaults=(None,))
Export = collections.namedtuple("Export", "entry name_rva name touched")
Function = collections.namedtuple("Function", "thunk value item")


class ReadFailure(Exception):
    """The report's reading of the file fails here: the report stops with an error."""


class Descriptor:
    """An import descriptor as the report's walk reads it."""

    def __init__(self, k, rva, name_rva, first, address, table, touched):
        self.k, self.rva, self.name_rva = k, rva, name_rva
        self.first, self.address, self.table = first, address, table
        self.touched = touched
        self.name = None
        self.functions = []


FOLD = bytes.maketrans(b"abcdefghijklmnopqrstuvwxyz", b"ABCDEFGHIJKLMNOPQRSTUVWXYZ")


def fold(name):
    """The name with a to z mapped to A to Z, and no other byte changed."""
    return name.translate(FOLD)


def shown(value, limit=100):
    text = repr(value)
    return text if len(text) <= limit else text[:limit] + "..."


def item_of(function):
    """An imported function of the JSON: its name's bytes, or its ordinal."""
    return function.encode("latin-1") if isinstance(function, str) else function["ordinal"]


class Image:
    """The file laid out by RVA as the report lays out a PE image: the headers
    (SizeOfHeaders bytes, not writable), then each section at VirtualAddress,
    min(VirtualSize, SizeOfRawData) bytes of the file and zeros up to the
    larger, a later section over an earlier one. The base relocation targets
    are gathered and tested, not added: a read that touches one is marked."""

    def __init__(self, data, pe_offset, wide):
        self.data = data
        self.wide = wide
        self.segments = []  # (start, end, file offset or None for zeros, writable), in order
        self.starts = []
        self.targets = []
        self.target_ends = []
        self.uncertain = False
        self.texts = {}
        optional = pe_offset + 24
        self.size = self.file_value(optional + 56, 4)
        if self.size == 0:
            raise ReadFailure("no address space for an image of 0 bytes")
        headers = self.file_value(optional + 60, 4)
        if headers:
            if headers > self.size or headers > len(data):
                raise ReadFailure("the headers do not fit")
            self.lay(0, headers, 0, False)
        count = self.file_value(pe_offset + 6, 2)
        table = optional + self.file_value(pe_offset + 20, 2)
        for i in range(count):
            header = table + 40 * i
            virtual_size, address, raw_size, raw_offset = (self.file_value(header + at, 4) for at in (8, 12, 16, 20))
            extent, copy = max(virtual_size, raw_size), min(virtual_size, raw_size)
            if extent == 0:
                continue
            if address + extent > self.size or (copy and raw_offset + copy > len(data)):
                raise ReadFailure("section %d does not fit" % (i + 1))
            self.lay(address, address + extent, None, True)
            if copy:
                self.lay(address, address + copy, raw_offset, True)

    def file_value(self, offset, width):
        if offset + width > len(self.data):
            raise ReadFailure("the file ends")
        return int.from_bytes(self.data[offset:offset + width], "little")

    def lay(self, start, end, source, writable):
        kept = []
        for s, e, src, w in self.segments:
            if e <= start or s >= end:
                kept.append((s, e, src, w))
                continue
            if s < start:
                kept.append((s, start, src, w))
            if e > end:
                kept.append((end, e, None if src is None else src + end - s, w))
        kept.append((start, end, source, writable))
        kept.sort()
        self.segments = kept
        self.starts = [segment[0] for segment in kept]

    def find(self, rva):
        i = bisect.bisect_right(self.starts, rva) - 1
        if i >= 0 and rva < self.segments[i][1]:
            return self.segments[i]
        return None

    def span(self, rva, length):
        """The bytes at rva: as many of length as the image holds without a gap."""
        parts = []
        while length > 0 and rva < RVA_LIMIT:
            segment = self.find(rva)
            if segment is None:
                break
            start, end, source, _ = segment
            take = min(end - rva, length)
            parts.append(bytes(take) if source is None else self.data[source + rva - start:source + rva - start + take])
            rva += take
            length -= take
        return b"".join(parts)

    def value(self, rva, width):
        data = self.span(rva, width) if rva + width <= RVA_LIMIT else b""
        if len(data) < width:
            raise ReadFailure("no bytes at RVA %XH" % rva)
        return int.from_bytes(data, "little")

    def values(self, rva, width, count):
        """The count values of width bytes from rva, as far as the image holds them."""
        data = self.span(rva, width * count) if rva < RVA_LIMIT else b""
        whole = len(data) // width
        return list(struct.unpack_from("<%d%s" % (whole, "H" if width == 2 else "I"), data))

    def text(self, rva):
        """The bytes from rva up to a NUL or to zero fill, as the report reads a name."""
        if rva in self.texts:
            return self.texts[rva]
        parts = []
        length = 0
        position = rva
        while True:
            segment = self.find(position) if position < RVA_LIMIT else None
            if segment is None:
                raise ReadFailure("the text at RVA %XH runs out of the image" % rva)
            start, end, source, _ = segment
            if source is None:
                break
            chunk = self.data[source + position - start:source + end - start]
            nul = chunk.find(0)
            if nul >= 0:
                chunk = chunk[:nul]
            length += len(chunk)
            if length > MAX_TEXT_LENGTH:
                raise ReadFailure("the text at RVA %XH is too long" % rva)
            parts.append(chunk)
            if nul >= 0:
                break
            position = end
        self.texts[rva] = text = b"".join(parts)
        return text

    def relocate(self, rva, size):
        """Gathers the targets of the base relocation blocks at rva, testing each as the report does."""
        targets = []
        offset = 0
        while offset < size:
            block = rva + offset
            page, block_size = self.value(block, 4), self.value(block + 4, 4)
            if block_size < 10:
                break
            count = (block_size - 8) // 2
            for entry in self.relocation_entries(block + 8, count):
                if entry >> 12:
                    target = page + (entry & 0xFFF)
                    width = 8 if self.wide and entry >> 12 == 10 else 4
                    for at in range(target, target + width):
                        segment = self.find(at) if at < RVA_LIMIT else None
                        if segment is None or not segment[3]:
                            raise ReadFailure("the relocation target at RVA %XH may not be written" % target)
                    targets.append((target, target + width))
            offset += 8 + 2 * count
        targets.sort()
        self.targets = [start for start, _ in targets]
        self.target_ends = [end for _, end in targets]
        # A target among the blocks changes what the report reads of them after it.
        if self.touched(rva, offset):
            self.uncertain = True

    def relocation_entries(self, rva, count):
        """The count relocation entries from rva, but for those in zero fill, which change nothing."""
        end = rva + 2 * count
        position = rva
        while position < end:
            segment = self.find(position) if position < RVA_LIMIT else None
            if segment is None:
                raise ReadFailure("a relocation entry lies outside the image")
            start, segment_end, source, _ = segment
            whole = position + (min(segment_end, end) - position) // 2 * 2
            if source is not None:
                yield from (value for value, in struct.iter_unpack("<H", self.data[source + position - start:
                                                                                  source + whole - start]))
            position = whole
            if position < min(segment_end, end):
                # An entry across two regions.
                yield self.value(position, 2)
                position += 2

    def touched(self, rva, length):
        """Whether a relocation target lies in the length bytes at rva."""
        if self.uncertain:
            return True
        if not self.targets:
            return False
        i = bisect.bisect_left(self.targets, rva - 7)
        while i < len(self.targets) and self.targets[i] < rva + length:
            if self.target_ends[i] > rva:
                return True
            i += 1
        return False


def export_walk(image, directory):
    """The exported names as the report's walk reads them, and the failure that ends it (or None)."""
    walk = []
    try:
        count = image.value(directory + 24, 4)
        if count >= 1 << 31 or count == 0:
            return walk, None
        names, ordinals = image.value(directory + 32, 4), image.value(directory + 36, 4)
        head_touched = image.touched(directory + 24, 16)
        listed = min(count, MAX_LINES)
        entries, name_rvas = image.values(ordinals, 2, listed), image.values(names, 4, listed)
        text_bytes = 0
        for i in range(listed):
            if i == len(entries) or i == len(name_rvas):
                raise ReadFailure("an export table runs out of the image")
            name = image.text(name_rvas[i])
            text_bytes += len(name)
            if text_bytes > MAX_TEXT_BYTES:
                raise ReadFailure("the exported names hold too many bytes")
            touched = head_touched or image.touched(ordinals + 2 * i, 2) or image.touched(names + 4 * i, 4) \
                or image.touched(name_rvas[i], len(name) + 1)
            walk.append(Export(entries[i], name_rvas[i], name, touched))
        if count > MAX_LINES:
            raise ReadFailure("the export directory lists too many names")
        return walk, None
    except ReadFailure as failure:
        return walk, str(failure)


def import_walk(image, directory):
    """The import descriptors as the report's walk reads them, and the failure that ends it (or None)."""
    width = 8 if image.wide else 4
    ordinal_flag = 1 << (8 * width - 1)
    walk = []
    functions = text_bytes = 0
    try:
        for k in range(MAX_LINES + 1):
            rva = directory + 20 * k
            name_rva = image.value(rva + 12, 4)
            if name_rva == 0:
                return walk, None
            if k == MAX_LINES:
                break
            # Only a bound descriptor's OriginalFirstThunk is read, and FirstThunk only when that is 0.
            table = image.value(rva, 4) if image.value(rva + 4, 4) else 0
            if table == 0:
                table = image.value(rva + 16, 4)
            first, address = (int.from_bytes(image.span(rva + at, 4), "little") for at in (0, 16))
            descriptor = Descriptor(k, rva, name_rva, first, address, table, image.touched(rva, 20))
            walk.append(descriptor)
            thunk = descriptor.table
            while True:
                value = image.value(thunk, width)
                descriptor.touched |= image.touched(thunk, width)
                if value == 0:
                    break
                functions += 1
                if functions > MAX_LINES:
                    raise ReadFailure("the import directory names too many functions")
                if value & ordinal_flag:
                    item = value & 0xFFFF
                else:
                    item = image.text(value + 2)
                    descriptor.touched |= image.touched(value + 2, len(item) + 1)
                    text_bytes += len(item)
                # The library's name is read with its first function, and counted with every descriptor's.
                if descriptor.name is None:
                    descriptor.name = image.text(name_rva)
                    descriptor.touched |= image.touched(name_rva, len(descriptor.name) + 1)
                if not descriptor.functions:
                    text_bytes += len(descriptor.name)
                if text_bytes > MAX_TEXT_BYTES:
                    raise ReadFailure("the imported names hold too many bytes")
                descriptor.functions.append(Function(thunk, value, item))
                thunk += width
        raise ReadFailure("the import directory holds too many descriptors")
    except ReadFailure as failure:
        return walk, str(failure)


def first_difference(listing, reading):
    """Where two import listings first differ: (library index, name, function index or None), and the two values."""
    for i, ((name, functions), (read_name, read_functions)) in enumerate(zip(listing, reading)):
        if name != read_name:
            return (i, name, None), name, read_name
        for j, (function, read) in enumerate(zip(functions, read_functions)):
            if function != read:
                return (i, name, j), function, read
        if len(functions) != len(read_functions):
            j = min(len(functions), len(read_functions))
            return (i, name, j), functions[j:j + 1] or None, read_functions[j:j + 1] or None
    i = min(len(listing), len(reading))
    return (i, None, None), [name for name, _ in listing[i:]] or None, [name for name, _ in reading[i:]] or None


def value_at(libraries, where):
    """The value at the place first_difference names, in another listing: found by library name."""
    _, name, j = where
    for library, functions in libraries:
        if name is not None and fold(library) == fold(name):
            return library if j is None else functions[j] if j < len(functions) else None
    return None


def merged_pefile(descriptors):
    """pefile's descriptors merged by library name, as the report lists libraries."""
    libraries = {}
    for descriptor in descriptors:
        library = libraries.setdefault(fold(descriptor.dll), (descriptor.dll, []))
        library[1].extend(imp.ordinal if imp.import_by_ordinal else imp.name for imp in descriptor.imports)
    return list(libraries.values())


def merged(walk):
    """The libraries with their functions, as the report lists the descriptors it read."""
    libraries = {}
    for descriptor in walk:
        if descriptor.functions:
            library = libraries.setdefault(fold(descriptor.name), (descriptor.name, []))
            library[1].extend(function.item for function in descriptor.functions)
    return list(libraries.values())


class FileCheck:
    """One PE file: its JSON line against pefile's reading and against the report's own reading."""

    def __init__(self, path, report, pe, data, differences, require_listings):
        self.path = path
        self.report = report
        self.pe = pe
        self.data = data
        self.differences = differences
        self.require_listings = require_listings
        self.failed = "error" in report
        self.wide = pe.OPTIONAL_HEADER.Magic == 0x20B
        self.warnings = list(pe.get_warnings())
        self.counts = collections.Counter()
        self.image = None
        self.image_failure = None
        self.walk_failures = []
        self.touched = False

    def note(self, what, korvane, theirs, rule=None, reading=None):
        self.differences.append(Difference(self.path, what, korvane, theirs, rule, reading))

    def warned(self, text):
        return any(text in warning for warning in self.warnings)

    def run(self):
        if "kind" in self.report and self.report["kind"] != "Portable Executable":
            self.note("kind", self.report["kind"], "Portable Executable")
            return self.counts
        self.headers()
        if "format" not in self.report:
            return self.counts
        listed = "exports" in self.report or "imports" in self.report
        if self.wide and not listed:
            export, import_ = self.directory(EXPORT), self.directory(IMPORT)
            if export or import_:
                self.counts["PE32+ files without listings"] += 1
                if self.require_listings and not self.failed:
                    self.note("listings", None, "export table at RVA %XH, import table at RVA %XH"
                              % (export or 0, import_ or 0))
            return self.counts
        self.open_image()
        if self.image is not None:
            self.exports()
            self.imports()
        elif listed:
            self.note("listings", "present", "the report's image fails: %s" % self.image_failure)
        self.failure_check()
        return self.counts

    def directory(self, index):
        """The RVA of the data directory entry, read as the report reads it (whatever NumberOfRvaAndSizes says)."""
        at = self.pe.DOS_HEADER.e_lfanew + 24 + (112 if self.wide else 96) + 8 * index
        return int.from_bytes(self.data[at:at + 4], "little") if at + 4 <= len(self.data) else None

    def open_image(self):
        try:
            self.image = Image(self.data, self.pe.DOS_HEADER.e_lfanew, self.wide)
            at = self.pe.DOS_HEADER.e_lfanew + 24 + (112 if self.wide else 96) + 8 * BASERELOC
            relocation = self.image.file_value(at, 4)
            if relocation:
                self.image.relocate(relocation, self.image.file_value(at + 4, 4))
        except ReadFailure as failure:
            self.image, self.image_failure = None, str(failure)

    # pefile's reads: None where it finds no bytes.
    def pe_value(self, rva, width):
        try:
            data = self.pe.get_data(rva, width)
        except pefile.PEFormatError:
            return None
        return int.from_bytes(data, "little") if len(data) == width else None

    def pe_text(self, rva, limit):
        try:
            return self.pe.get_string_at_rva(rva, limit)
        except pefile.PEFormatError:
            return None

    def pe_maps(self, rva):
        try:
            self.pe.get_offset_from_rva(rva)
            return True
        except pefile.PEFormatError:
            return False

    # Headers -----------------------------------------------------------------

    def headers(self):
        header = self.report.get("pe_header")
        magic = self.pe.OPTIONAL_HEADER.Magic
        if header is None:
            message = self.report.get("error", {}).get("message")
            if magic not in (0x10B, 0x20B) and message == WIN16:
                self.note("pe_header", message, "Magic %XH" % magic, "odd-magic")
            elif message == WIN16 or not self.failed:
                self.note("pe_header", message, "Magic %XH" % magic)
            return
        format_ = {0x10B: "PE32", 0x20B: "PE32+"}.get(magic)
        if self.report.get("format") != format_:
            self.note("format", self.report.get("format"), format_)
        for member, value in header.items():
            if member in TEXT_MEMBERS:
                continue
            source = self.pe.FILE_HEADER if member in FILE_HEADER_FIELDS else self.pe.OPTIONAL_HEADER
            self.counts["PE header fields compared"] += 1
            if value != getattr(source, member, None):
                self.note("pe_header." + member, value, getattr(source, member, None))
        missing = [member for member in PE_FIELDS if member not in header]
        if missing:
            self.note("pe_header." + missing[0], None, getattr(self.pe.OPTIONAL_HEADER, missing[0], None),
                      "report-failed" if self.failed else None)

    def absent_listing(self, member, directory, entries):
        """A listing the JSON lacks: right when the data directory entry is 0, or the report failed first."""
        if member in self.report:
            self.note(member, "present", "data directory entry %s" % directory)
        elif directory == 0:
            if entries:
                self.note(member, None, "%d entries, data directory entry 0" % entries)
        elif self.failed:
            if entries:
                self.note(member, None, "%d entries" % entries, "report-failed")
        else:
            self.note(member, None, "data directory entry %XH, %d entries" % (directory, entries))

    def failure_check(self):
        """A report that failed after its headers must fail where its own reading of the file fails."""
        if not self.failed or not all(member in self.report.get("pe_header", {}) for member in PE_FIELDS):
            return
        if self.image_failure or any(self.walk_failures) or self.touched:
            return
        if self.directory(EXPORT) is None or self.directory(IMPORT) is None:
            return
        self.note("error", self.report["error"].get("message"), "the report's reading of the file does not fail")

    # Exports -----------------------------------------------------------------

    def pe_export_names(self):
        export = getattr(self.pe, "DIRECTORY_ENTRY_EXPORT", None)
        return [] if export is None else [symbol for symbol in export.symbols if symbol.name is not None]

    def exports(self):
        directory = self.directory(EXPORT)
        if not directory:
            self.absent_listing("exports", directory, len(self.pe_export_names()))
            return
        walk, failure = export_walk(self.image, directory)
        self.walk_failures.append(failure)
        if "exports" not in self.report:
            self.touched |= any(entry.touched for entry in walk)
            self.absent_listing("exports", directory, len(self.pe_export_names()))
            return
        listing = self.report["exports"]
        export = getattr(self.pe, "DIRECTORY_ENTRY_EXPORT", None)
        base = int.from_bytes(self.image.span(directory + 16, 4), "little")
        base_touched = self.image.touched(directory + 16, 4)
        # The listing must be what the report's walk reads of the file; an entry may read otherwise only
        # where a relocation target lies in its bytes. An ordinal beside its index is the index plus Base.
        rows = []
        for i, item in enumerate(listing):
            name = item["name"].encode("latin-1")
            stored = item.get("index", item["ordinal"])
            ordinal = item["ordinal"] if "index" in item else item["ordinal"] + base
            if i == len(walk):
                self.note("exports[%d:]" % i, "%d more names" % (len(listing) - i), None,
                          reading="the walk ends: %s" % failure)
                break
            # An entry that is not what the walk reads is relocated, or a fault (None).
            read = (stored, name) == (walk[i].entry, walk[i].name) and ordinal == stored + base
            state = "read" if read else "relocated" if walk[i].touched or base_touched else None
            rows.append((walk[i].entry, walk[i].name_rva, name, ordinal, state))
        self.touched |= any(entry.touched for entry in walk)
        if len(listing) < len(walk) and not walk[len(listing)].touched:
            self.note("exports[%d:]" % len(listing), "the listing ends", None, reading="%d names" % len(walk))
        elif len(listing) == len(walk) and failure is not None and not self.failed:
            self.note("exports", "no failure", None, reading="the walk fails: %s" % failure)
        self.counts["exported names compared"] += self.compare_exports(rows, walk, export, directory)

    def compare_exports(self, rows, walk, export, directory):
        base = int.from_bytes(self.image.span(directory + 16, 4), "little")
        if export is None:
            for i, (_, _, name, ordinal, state) in enumerate(rows):
                if state is None:
                    self.note("exports[%d]" % i, (ordinal, name), None, reading=(walk[i].entry + base, walk[i].name))
            if rows:
                self.note("exports", "%d names" % len(rows), "no export listing", self.export_drop_rule(directory))
            return 0
        symbols = self.pe_export_names()
        # The position in the name pointer table of each of pefile's names, from where it read the ordinal.
        table = export.struct.AddressOfNameOrdinals
        at = {}
        i = 0
        for symbol in symbols:
            while i < len(rows) + len(symbols) + (1 << 16):
                try:
                    if self.pe.get_offset_from_rva(table + 2 * i) == symbol.ordinal_offset:
                        break
                except pefile.PEFormatError:
                    pass
                i += 1
            at[i] = symbol
            i += 1
        last = max(at, default=-1)
        compared = 0
        for i, (entry, name_rva, name, ordinal, state) in enumerate(rows):
            symbol = at.get(i)
            if state is None:
                self.note("exports[%d]" % i, (ordinal, name), symbol and (symbol.ordinal, symbol.name),
                          reading=(walk[i].entry + base, walk[i].name))
                continue
            relocated = state == "relocated"
            if symbol is not None:
                compared += 1
                if (name, ordinal) != (symbol.name, symbol.ordinal):
                    self.note("exports[%d]" % i, (ordinal, name), (symbol.ordinal, symbol.name),
                              self.export_rule(i, entry, name_rva, name, relocated, symbol, export))
                continue
            rule = self.export_skip_rule(entry, name_rva, relocated, export)
            if rule is not None or i < last:
                self.note("exports[%d]" % i, (ordinal, name), None, rule)
                continue
            self.note("exports[%d:]" % i, "%d more names" % (len(rows) - i), None,
                      self.export_stop_rule(i, name_rva, export))
            break
        beyond = [i for i in at if i >= len(rows)]
        if beyond:
            self.note("exports[%d:]" % len(rows), None, "%d more names" % len(beyond),
                      "report-failed" if self.failed else None)
        return compared

    def export_rule(self, i, entry, name_rva, name, relocated, symbol, export):
        """The rule by which pefile reads another name or ordinal than the report."""
        if relocated:
            return "relocated"
        if (entry, name_rva) != (self.pe_value(export.struct.AddressOfNameOrdinals + 2 * i, 2),
                                 self.pe_value(export.struct.AddressOfNames + 4 * i, 4)):
            return "layout"
        if symbol.ordinal != entry + export.struct.Base:
            return None
        if len(name) > pefile.MAX_SYMBOL_NAME_LENGTH and symbol.name == name[:pefile.MAX_SYMBOL_NAME_LENGTH]:
            return "pefile-name-cut"
        if self.pe_text(name_rva, pefile.MAX_SYMBOL_NAME_LENGTH) == symbol.name:
            return "layout"
        return None

    def export_skip_rule(self, entry, name_rva, relocated, export):
        """The rule by which pefile leaves out one name and goes on, or None."""
        if relocated:
            return "relocated"
        address = self.pe_value(export.struct.AddressOfFunctions + 4 * entry, 4)
        if address == 0:
            return "pefile-unused-export"
        if address is not None and not self.pe_maps(name_rva):
            # pefile finds no file offset for the name, which the report's image holds.
            return "layout"
        return None

    def export_stop_rule(self, i, name_rva, export):
        """The rule by which pefile's listing ends before the report's."""
        if self.warned("Export directory contains more than"):
            return "pefile-export-limits"
        if self.warned("RVA AddressOfNames in the export directory points to an invalid address"):
            name = self.pe_text(name_rva, pefile.MAX_SYMBOL_NAME_LENGTH)
            if name is None or not pefile.is_valid_function_name(name, relax_allowed_characters=True):
                return "pefile-odd-name"
            # Ten names whose RVA pefile cannot map end its listing too.
            return "layout"
        section = self.pe.get_section_by_rva(export.struct.AddressOfNames)
        if section is not None and i >= (section.VirtualAddress + len(section.get_data())
                                         - export.struct.AddressOfNames) // 4:
            return "pefile-export-limits"
        return None

    def export_drop_rule(self, directory):
        """The rule by which pefile has no export listing where the report has one."""
        if self.warned("Error parsing export directory") or \
                self.pe_value(directory, 40) != int.from_bytes(self.image.span(directory, 40), "little"):
            return "layout"
        if self.warned("RVA AddressOfFunctions in the export directory points to an invalid address"):
            return "pefile-no-function"
        # pefile gives the whole listing up at the first name whose ordinal-table entry its read of the
        # export address table does not hold; before it, it passes over names it leaves out.
        fields = struct.unpack("<10I", self.pe.get_data(directory, 40))
        functions_count, names_count, functions_rva, names_rva, ordinals_rva = fields[5:]
        try:
            size = len(self.pe.__data__)
            functions = self.pe.get_data(functions_rva, min(size - self.pe.get_offset_from_rva(functions_rva),
                                                            functions_count * 4))
            entries = self.pe.get_data(ordinals_rva, min(size - self.pe.get_offset_from_rva(ordinals_rva),
                                                         names_count * 4))
        except pefile.PEFormatError:
            return "layout"
        section = self.pe.get_section_by_rva(names_rva)
        bound = size if section is None else section.VirtualAddress + len(section.get_data()) - names_rva
        for i in range(min(names_count, bound // 4)):
            entry = self.pe.get_word_from_data(entries, i)
            if entry is None or entry * 4 >= len(functions):
                return "pefile-no-function"
            name_rva = self.pe_value(names_rva + 4 * i, 4)
            if self.pe.get_dword_from_data(functions, entry) == 0 or name_rva is None or not self.pe_maps(name_rva):
                continue
            name = self.pe_text(name_rva, pefile.MAX_SYMBOL_NAME_LENGTH)
            if not pefile.is_valid_function_name(name, relax_allowed_characters=True):
                return None
        return None

    # Imports -----------------------------------------------------------------

    def imports(self):
        directory = self.directory(IMPORT)
        pe_descriptors = getattr(self.pe, "DIRECTORY_ENTRY_IMPORT", None) or []
        entries = sum(len(descriptor.imports) for descriptor in pe_descriptors)
        if not directory:
            self.absent_listing("imports", directory, entries)
            return
        walk, failure = import_walk(self.image, directory)
        self.walk_failures.append(failure)
        touched = any(descriptor.touched for descriptor in walk)
        self.touched |= touched
        if "imports" not in self.report:
            self.absent_listing("imports", directory, entries)
            return
        listing = [(library["library"].encode("latin-1"), [item_of(function) for function in library["functions"]])
                   for library in self.report["imports"]]
        # The listing must be what the report's walk reads of the file; it may read otherwise only where
        # relocation targets lie in the bytes read.
        if failure is not None and not touched:
            self.note("imports", "%d libraries" % len(listing), None, reading="the walk fails: %s" % failure)
            return
        reading = merged(walk)
        if listing != reading:
            theirs = merged_pefile(pe_descriptors)
            where, korvane, read = first_difference(listing, reading)
            what = "imports[%d]" % where[0] + ("" if where[1] is None else " %s" % shown(where[1], 40)) + \
                ("" if where[2] is None else " functions[%d]" % where[2])
            if touched:
                self.note(what, korvane, value_at(theirs, where), "relocated")
            else:
                self.note(what, korvane, value_at(theirs, where), reading=read)
            return
        self.counts["imported functions compared"] += self.compare_imports(walk, pe_descriptors, directory)

    def pe_position(self, pe_descriptors, directory):
        """The position in the descriptor array of each of pefile's descriptors, from where pefile read it."""
        at = {}
        k = 0
        for descriptor in pe_descriptors:
            offset = descriptor.struct.get_file_offset()
            while k < len(pe_descriptors) + (1 << 16):
                try:
                    if self.pe.get_offset_from_rva(directory + 20 * k) == offset:
                        break
                except pefile.PEFormatError:
                    pass
                k += 1
            at[k] = descriptor
            k += 1
        return at

    def pe_quietly(self, call):
        """pefile's own reading of a table, without counting its entries toward pefile's limit."""
        counter = "_PE__total_import_symbols"
        saved = getattr(self.pe, counter, None)
        try:
            return call()
        except pefile.PEFormatError:
            return None
        finally:
            if saved is not None:
                setattr(self.pe, counter, saved)

    def pe_limit(self, descriptor):
        """pefile's bound on the length of the descriptor's thunk tables."""
        following = descriptor.rva + 20
        try:
            limit = len(self.pe.__data__) - self.pe.get_offset_from_rva(descriptor.rva)
        except pefile.PEFormatError:
            limit = None
        if following > descriptor.first or following > descriptor.address:
            limit = max(following - descriptor.first, following - descriptor.address)
        return limit

    def pe_table(self, descriptor):
        """The table pefile walks for the descriptor: its lookup table when pefile finds entries there."""
        if descriptor.first and self.pe_quietly(
                lambda: self.pe.get_import_table(descriptor.first, self.pe_limit(descriptor))):
            return descriptor.first
        return descriptor.address

    def compare_imports(self, walk, pe_descriptors, directory):
        at = self.pe_position(pe_descriptors, directory)
        compared = 0
        seen = set()
        for k in sorted(set(at) | {descriptor.k for descriptor in walk if descriptor.functions}):
            ours = walk[k] if k < len(walk) else None
            theirs = at.get(k)
            what = "imports descriptor %d" % k
            if ours is None:
                self.note(what, None, (theirs.dll, len(theirs.imports)), "descriptor-end")
                continue
            if not ours.functions:
                # pefile reads functions where the report's table has none.
                if ours.table != self.pe_table(ours):
                    rule = "thunk-table"
                else:
                    rule = "layout" if self.pe_value(ours.table, 8 if self.wide else 4) else None
                self.note(what, "no functions", (theirs.dll, len(theirs.imports)), rule)
                continue
            merging = fold(ours.name) in seen
            seen.add(fold(ours.name))
            if theirs is None:
                self.note(what, ours.name, None, self.missing_descriptor_rule(ours, at))
                continue
            if merging:
                self.note(what, ours.name, "a library of its own", "merged-library")
            if theirs.dll != ours.name:
                self.note(what + " library", ours.name, theirs.dll, self.library_rule(ours, theirs))
            compared += self.compare_functions(what, ours, theirs)
        return compared

    def library_rule(self, ours, theirs):
        name = self.pe_text(ours.name_rva, pefile.MAX_DLL_LENGTH)
        if theirs.dll == b"*invalid*" and not pefile.is_valid_dos_filename(name):
            return "pefile-odd-name"
        if len(ours.name) > pefile.MAX_DLL_LENGTH and theirs.dll == ours.name[:pefile.MAX_DLL_LENGTH]:
            return "pefile-name-cut"
        if name == theirs.dll:
            return "layout"
        return None

    def missing_descriptor_rule(self, ours, at):
        """The rule by which pefile has no descriptor where the report lists one."""
        directory = ours.rva - 20 * ours.k
        # pefile ends its walk at a descriptor it cannot read or reads as zeros, where the report reads a Name,
        # or gives it up after descriptors without entries: its warning names the RVA after the last it read.
        ended = next((k for k in range(ours.k) if not self.pe_value(directory + 20 * k, 20)), ours.k)
        for warning in self.warnings:
            stop = GIVE_UP.match(warning)
            if stop and (int(stop.group(1), 16) - 20 - directory) // 20 <= ended:
                return "pefile-import-limits"
        if ended < ours.k or self.pe_value(ours.rva, 20) != int.from_bytes(self.image.span(ours.rva, 20), "little"):
            return "layout"
        if self.warned("Excessive number of imports") and ours.k > max(at, default=-1):
            return "pefile-import-limits"
        forwarder = self.pe_value(ours.rva + 8, 4)
        if self.pe_quietly(lambda: self.pe.parse_imports(ours.first, ours.address, forwarder,
                                                         max_length=self.pe_limit(ours))):
            # pefile reads entries, and leaves the descriptor out for its name.
            name = self.pe_text(ours.name_rva, pefile.MAX_DLL_LENGTH)
            return "pefile-empty" if name == ours.name == b"" else "layout" if name != ours.name else None
        if ours.table != self.pe_table(ours):
            return "thunk-table"
        # pefile keeps none of the entries of the table both read.
        kinds = {self.dropped_kind(function) for function in ours.functions}
        if len(kinds) == 1 and None not in kinds:
            return kinds.pop()
        return "pefile-thunk-checks"

    def dropped_kind(self, function):
        """The rule by which pefile leaves out one imported function of the table it reads, or None."""
        if function.item in (0, b""):
            return "pefile-empty"
        if isinstance(function.item, bytes):
            name = self.pe_text(function.value + 2, pefile.MAX_IMPORT_NAME_LENGTH)
            if name is not None and not pefile.is_valid_function_name(name):
                return "pefile-odd-name"
        return None

    def compare_functions(self, what, ours, theirs):
        width = 8 if self.wide else 4
        table = self.pe_table(ours)
        try:
            start = self.pe.get_offset_from_rva(table)
        except pefile.PEFormatError:
            start = None
        # The position in its table of each of pefile's functions, from where pefile read the thunk.
        at = {}
        for imp in theirs.imports:
            position = imp.struct_table.get_file_offset() - start if start is not None else -1
            at[position // width if position >= 0 and position % width == 0 else -1] = \
                imp.ordinal if imp.import_by_ordinal else imp.name
        last = max(at, default=-1)

        def other_table(i):
            # The two tables hold other thunks at this position.
            return table != ours.table and self.pe_value(table + width * i, width) != \
                self.pe_value(ours.table + width * i, width)

        compared = 0
        for i, function in enumerate(ours.functions):
            where = "%s functions[%d]" % (what, i)
            if i in at:
                compared += 1
                if at[i] != function.item:
                    self.note(where, function.item, at[i],
                              "thunk-table" if other_table(i) else self.function_rule(function, at[i], width))
                continue
            rule = "thunk-table" if other_table(i) else self.dropped_kind(function)
            if rule is not None or i < last:
                self.note(where, function.item, None, rule)
                continue
            rule = "pefile-import-limits" if self.warned("Excessive number of imports") else "pefile-thunk-checks"
            self.note("%s functions[%d:]" % (what, i), "%d more" % (len(ours.functions) - i), None, rule)
            break
        beyond = [i for i in at if i < 0 or i >= len(ours.functions)]
        if beyond:
            end = len(ours.functions)
            rule = "thunk-table" if other_table(end) else \
                "layout" if self.pe_value(ours.table + width * end, width) else None
            self.note("%s functions[%d:]" % (what, end), None, "%d more" % len(beyond), rule)
        return compared

    def function_rule(self, function, theirs, width):
        """The rule by which pefile reads another function than the report."""
        if self.pe_value(function.thunk, width) != function.value:
            return "layout"
        if isinstance(function.item, bytes) and isinstance(theirs, bytes):
            if len(function.item) > pefile.MAX_IMPORT_NAME_LENGTH and \
                    theirs == function.item[:pefile.MAX_IMPORT_NAME_LENGTH]:
                return "pefile-name-cut"
            if self.pe_text(function.value + 2, pefile.MAX_IMPORT_NAME_LENGTH) == theirs:
                return "layout"
        return None


def dos_compare(path, report, dos_header, differences):
    """The report's DOS header against pefile's; the number of fields compared."""
    for member, value in report["dos_header"].items():
        if member in DOS_LINKER_FIELDS:
            expected = DOS_LINKER_FIELDS[member](dos_header.e_res[3])
        else:
            expected = getattr(dos_header, member, None)
        if value != expected:
            differences.append(Difference(path, "dos_header." + member, value, expected, None))
    return len(report["dos_header"])


def load(path):
    """pefile's reading of path; or None, the DOS header pefile unpacked if any, and why it turned the file down."""
    pe = pefile.PE.__new__(pefile.PE)
    try:
        pe.__init__(path, fast_load=True)
    except Exception as error:  # pefile raises more than PEFormatError on some damaged files
        return None, getattr(pe, "DOS_HEADER", None), "%s: %s" % (type(error).__name__, error)
    try:
        pe.parse_data_directories(directories=[EXPORT, IMPORT])
    except Exception as error:
        pe.close()
        return None, pe.DOS_HEADER, "listings: %s: %s" % (type(error).__name__, error)
    return pe, pe.DOS_HEADER, None


def run_reports(cli, files, differences):
    """The JSON line of each file, by path; a missing, broken or unasked line is a fault."""
    reports = {}
    environment = dict(os.environ, LC_ALL="C")
    for start in range(0, len(files), BATCH):
        batch = files[start:start + BATCH]
        run = subprocess.run(FIXED_LAYOUT + [cli, "--json", "--"] + batch, capture_output=True, env=environment)
        if run.returncode not in (0, 1):
            differences.append(Difference(batch[0], "exit status of its batch", run.returncode, "0 or 1", None))
        asked = set(batch)
        for line in run.stdout.split(b"\n")[:-1]:
            try:
                report = json.loads(line.decode("utf-8"))
                path = report["file"].encode("latin-1").decode("utf-8", "surrogateescape")
            except (ValueError, KeyError, TypeError, AttributeError) as error:
                differences.append(Difference(batch[0], "a JSON line", shown(line), str(error), None))
                continue
            if path not in asked or path in reports:
                differences.append(Difference(path, "its JSON line", "unasked or repeated", "one line", None))
            reports[path] = report
        for path in batch:
            if path not in reports:
                differences.append(Difference(path, "its JSON line", None, "one line", None))
    return reports


def check_file(path, report, counts, differences, require_listings):
    pe, dos_header, refusal = load(path)
    if pe is None:
        counts["refused by pefile"] += 1
        counts["refused: " + refusal[:72]] += 1
        if dos_header is not None and "dos_header" in report:
            counts["DOS headers compared"] += 1
            counts["DOS header fields compared"] += dos_compare(path, report, dos_header, differences)
        return
    try:
        counts["read by pefile"] += 1
        counts.update(FileCheck(path, report, pe, pe.__data__, differences, require_listings).run())
    finally:
        pe.close()


def main():
    started = time.monotonic()
    arguments = sys.argv[1:]
    options = set()
    while arguments and arguments[0] in ("--require-listings", "--verbose"):
        options.add(arguments.pop(0))
    if len(arguments) < 2:
        print(__doc__.split("\n\n")[1], file=sys.stderr)
        return 2
    cli, paths = arguments[0], arguments[1:]
    files = list(files_of(paths))
    differences = []
    counts = collections.Counter()
    reports = run_reports(cli, files, differences)
    for path in files:
        if path in reports:
            counts["files checked"] += 1
            counts[reports[path].get("format", reports[path].get("kind", "neither"))] += 1
            check_file(path, reports[path], counts, differences, "--require-listings" in options)

    faults = [difference for difference in differences if difference.rule is None]
    for difference in faults[:SHOWN_FAULTS]:
        print("FAIL: %s: %s: korvane %s, pefile %s" % (difference.path, difference.what, shown(difference.korvane),
                                                       shown(difference.pefile))
              + ("" if difference.reading is None else "; the report's reading of the file: %s"
                 % shown(difference.reading)))
    if len(faults) > SHOWN_FAULTS:
        print("FAIL: ... and %d more" % (len(faults) - SHOWN_FAULTS))
    if "--verbose" in options:
        for difference in differences:
            if difference.rule:
                print("%s: %s: %s: korvane %s, pefile %s" % (difference.rule, difference.path, difference.what,
                                                              shown(difference.korvane), shown(difference.pefile)))
    print("files checked: %d (PE32 %d, PE32+ %d, MS-DOS %d, neither %d)" % (
        counts["files checked"], counts["PE32"], counts["PE32+"], counts["MS DOS Executable"], counts["neither"]))
    print("read by pefile: %d; refused by pefile: %d, the DOS header compared for %d of them" % (
        counts["read by pefile"], counts["refused by pefile"], counts["DOS headers compared"]))
    for label in sorted(label for label in counts if label.startswith("refused: ")):
        print("  %5d %s" % (counts[label], label[len("refused: "):]))
    for label in ("DOS header fields compared", "PE header fields compared", "exported names compared",
                  "imported functions compared", "PE32+ files without listings"):
        print("%s: %d" % (label, counts[label]))
    by_rule = collections.Counter(difference.rule for difference in differences if difference.rule)
    print("differences explained, by rule:")
    for name, reason in RULES:
        print("  %-20s %6d  %s" % (name, by_rule[name], reason))
    print("unexplained differences: %d" % len(faults))
    print("time: %.1f s" % (time.monotonic() - started))
    return 1 if faults or counts["read by pefile"] + counts["DOS headers compared"] == 0 else 0


if __name__ == "__main__":
    sys.exit(main())
