#!/usr/bin/python3
"""korvane-report --json against its schema and against the text report.

Usage: json_check.py CLI SCHEMA PATH...
Each PATH is a file or a folder (its files, not its subfolders); absent
ones are passed over, but one file at least must be checked. For every
file, the JSON line must be one line that the schema accepts, and the text
report rebuilt from it must equal, byte for byte, the text report of the same
file; exit status and standard error must be those of the text report. The
listings of a PE32+ file and the ordinals of exports are data only: the text
does not show them, so a failure while they are read may end the JSON line
(with its "error", which standard error then says) where the text succeeds.
"""
import json
import os
import shutil
import subprocess
import sys

import jsonschema

from corpus_files import files_of

WIN16 = "No PE signature found. The file appears to be a 16-bit Windows module."

# (label, TABs, members, shape): the rows of each summary in report order.
DOS_ROWS = [
    ("Total 512-byte pages:", 1, ["e_cp"], "decimal"),
    ("Last page size:", 2, ["e_cblp"], " bytes"),
    ("Relocation entries:", 2, ["e_crlc"], "decimal"),
    ("Header size:", 2, ["e_cparhdr"], " paragraphs"),
    ("Min memory allocated:", 1, ["e_minalloc"], " paragraphs"),
    ("Max memory allocated:", 1, ["e_maxalloc"], " paragraphs"),
    ("Initial SS offset:", 2, ["e_ss"], "hex"),
    ("Initial SP:", 3, ["e_sp"], "hex"),
    ("CS:IP offset:", 2, ["e_ip", "e_cs"], "cs:ip"),
    ("Relocation table offset:", 1, ["e_lfarlc"], "hex"),
    ("Overlay number:", 2, ["e_ovno"], "decimal"),
    ("OEM ID:", 3, ["e_oemid"], "decimal"),
    ("Checksum:", 2, ["e_csum"], "decimal"),
    ("Linker version:", 2, ["MajorLinkerVersion", "MinorLinkerVersion"], "version"),
]
PE_ROWS = [
    ("Characteristics:", 2, ["Characteristics"], "phrases"),
    ("Required CPU:", 2, ["Machine"], "MachineName"),
    ("Linker version:", 2, ["MajorLinkerVersion", "MinorLinkerVersion"], "version"),
    ("Time stamp:", 2, ["TimeDateStamp"], "TimeDateStampText"),
    ("Image base:", 2, ["ImageBase"], "hex"),
    ("Image size:", 2, ["SizeOfImage"], " bytes"),
    ("Required OS version:", 1, ["MajorOperatingSystemVersion", "MinorOperatingSystemVersion"], "version"),
    ("Image version:", 2, ["MajorImageVersion", "MinorImageVersion"], "version"),
    ("Subsystem version:", 2, ["MajorSubsystemVersion", "MinorSubsystemVersion"], "version"),
    ("Subsystem:", 2, ["Subsystem"], "SubsystemName"),
    ("Checksum:", 2, ["CheckSum"], "decimal"),
    ("Code size:", 2, ["SizeOfCode"], " bytes"),
    ("Size of initialized data:", 1, ["SizeOfInitializedData"], " bytes"),
    ("Size of uninitialized data:", 1, ["SizeOfUninitializedData"], " bytes"),
    ("Size of stack to reserve:", 1, ["SizeOfStackReserve"], " bytes"),
    ("Size of stack to commit:", 1, ["SizeOfStackCommit"], " bytes"),
    ("Size of local heap to reserve:", 1, ["SizeOfHeapReserve"], " bytes"),
    ("Size of local heap to commit:", 1, ["SizeOfHeapCommit"], " bytes"),
]


def shown(text):
    """A text of the file as a report line shows it: its bytes, line breaks spelled out."""
    return text.replace("\n", "\\n").replace("\r", "\\r")


def summary_lines(header, rows):
    lines = []
    for label, tabs, members, shape in rows:
        if not all(member in header for member in members):
            break
        values = [header[member] for member in members]
        if shape == "decimal":
            text = str(values[0])
        elif shape.startswith(" "):
            text = str(values[0]) + shape
        elif shape == "hex":
            text = "%XH" % values[0]
        elif shape == "cs:ip":
            text = "%XH" % (values[1] << 16 | values[0])
        elif shape == "version":
            text = "%d.%d" % tuple(values)
        elif shape == "phrases":
            text = "\n\t\t\t".join(header["CharacteristicsText"])
        else:
            text = header.get(shape, "")
        lines.append(label + "\t" * tabs + text)
    return lines


def text_from_json(report):
    """The text report that says what the JSON line says."""
    if "kind" not in report and report.get("error", {}).get("message") == WIN16:
        return [WIN16]
    lines = []
    if "title" in report:
        lines += [report["title"], ""]
    if "kind" in report:
        lines += [" ".join(filter(None, [report["kind"], report.get("format")])), ""]
    if "dos_header" in report:
        lines += summary_lines(report["dos_header"], DOS_ROWS)
    if "pe_header" in report:
        lines += summary_lines(report["pe_header"], PE_ROWS)
    if report.get("format") == "PE32+":
        return lines
    if "exports" in report:
        lines += ["", "Exports", "", "Ordinal\tFunction"]
        lines += ["%04d\t%s" % (entry["index"], shown(entry["name"])) for entry in report["exports"]]
    if "imports" in report:
        lines += ["", "Imports"]
        for library in report["imports"]:
            lines += ["", shown(library["library"]), ""]
            for function in library["functions"]:
                lines.append(shown(function) if isinstance(function, str) else "#%d" % function["ordinal"])
    return lines


# Where a relocated image lies decides some texts of a damaged file: both
# reports are made with the same fixed address-space layout.
FIXED_LAYOUT = ["setarch", "-R"] if shutil.which("setarch") else []


def check(cli, validator, path):
    """The faults found in the JSON line of path; empty when there are none."""
    text = subprocess.run(FIXED_LAYOUT + [cli, "--", path], capture_output=True)
    data = subprocess.run(FIXED_LAYOUT + [cli, "--json", "--", path], capture_output=True)
    faults = []
    if not data.stdout.endswith(b"\n") or data.stdout.count(b"\n") != 1:
        return faults + ["not one line: %r" % data.stdout[:200]]
    try:
        report = json.loads(data.stdout.decode("utf-8"))
    except ValueError as error:
        return faults + ["no JSON: %s" % error]
    errors = sorted(validator.iter_errors(report), key=lambda error: list(error.path))
    faults += ["schema: %s at %s" % (error.message[:200], list(error.path)) for error in errors[:5]]
    if report.get("file") != path:
        faults.append("file %r" % report.get("file"))
    lines = text_from_json(report)
    rebuilt = ("\n".join(lines) + "\n").encode("latin-1") if lines else b""
    if rebuilt != text.stdout:
        got, want = rebuilt.split(b"\n"), text.stdout.split(b"\n")
        first = next((i for i, (a, b) in enumerate(zip(got, want)) if a != b), min(len(got), len(want)))
        faults.append("line %d differs: from JSON %r, text %r" % (first + 1, got[first:first + 1], want[first:first + 1]))
    failure = report.get("error", {}).get("message")
    data_only = text.returncode == 0 and failure is not None and (
        report.get("format") == "PE32+" or "(Base)" in failure)
    if not data_only:
        if data.returncode != text.returncode:
            faults.append("exit status %d, the text's %d" % (data.returncode, text.returncode))
        if data.stderr != text.stderr:
            faults.append("standard error %r, the text's %r" % (data.stderr, text.stderr))
    elif data.returncode != 1:
        faults.append("exit status %d after a failure in the data" % data.returncode)
    if data.returncode != 0 and data.stderr.decode("latin-1").rstrip("\n") != "korvane-report: %s: %s" % (path, failure):
        faults.append("error %r does not say what standard error says" % failure)
    for entry in report.get("exports", []):
        if entry["ordinal"] < entry["index"]:
            faults.append("export %r: ordinal %d below its index %d" % (entry["name"], entry["ordinal"], entry["index"]))
            break
    return faults


def main():
    cli, schema_path, paths = sys.argv[1], sys.argv[2], sys.argv[3:]
    with open(schema_path, encoding="utf-8") as schema_file:
        schema = json.load(schema_file)
    jsonschema.Draft202012Validator.check_schema(schema)
    validator = jsonschema.Draft202012Validator(schema)
    os.environ["LC_ALL"] = "C"
    count = bad = 0
    for path in files_of(paths):
        count += 1
        faults = check(cli, validator, path)
        if faults:
            bad += 1
            print("FAIL: %s: %s" % (path, "; ".join(faults)))
    print("%d files checked, %d with faults" % (count, bad))
    return 1 if bad or count == 0 else 0


if __name__ == "__main__":
    sys.exit(main())
