#!/usr/bin/python3
"""Opens sample workbooks in LibreOffice (headless) and checks what it read.

usage: check_xls_libreoffice.py OUTDIR
Converts report.xls and continue.xls to CSV and compares every text cell of
manifest.json with the CSV cell at the same place; converts report.xls to
PDF and checks a PDF came out. LibreOffice exits 0 even when it cannot load
a file, so the outputs themselves are the evidence.
Exits 77 (skipped) when LibreOffice is not installed.
"""

import csv
import json
import os
import shutil
import subprocess
import sys
import tempfile

SKIP = 77


def convert(soffice, profile, source, target, outdir):
    command = [soffice, "-env:UserInstallation=file://" + profile, "--headless",
               "--convert-to", target, "--outdir", outdir, source]
    subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=300,
                   check=False)


def main():
    if len(sys.argv) != 2:
        print(__doc__)
        return 2
    soffice = shutil.which("soffice") or shutil.which("libreoffice")
    if not soffice:
        print("LibreOffice is not installed: skipped")
        return SKIP
    outdir = sys.argv[1]
    with open(os.path.join(outdir, "manifest.json"), encoding="utf-8") as f:
        samples = {s["file"]: s for s in json.load(f)}

    failures = []
    work = tempfile.mkdtemp(prefix="brevane_lo_")
    try:
        profile = os.path.join(work, "profile")
        for name in ("report.xls", "continue.xls"):
            convert(soffice, profile, os.path.join(outdir, name),
                    "csv:Text - txt - csv (StarCalc):44,34,76,1", work)
            produced = os.path.join(work, name[:-4] + ".csv")
            if not os.path.exists(produced):
                failures.append("%s: LibreOffice produced no CSV (could not load it)" % name)
                continue
            with open(produced, encoding="utf-8", newline="") as f:
                rows = list(csv.reader(f))
            checked = 0
            for row, col, kind, value, _ in samples[name]["cells"]:
                if kind != "t":
                    continue
                got = rows[row][col] if row < len(rows) and col < len(rows[row]) else None
                if got != value:
                    failures.append("%s: cell (%d, %d) reads %r, expected %r"
                                    % (name, row, col, got and got[:60], value[:60]))
                checked += 1
            print("%s: %d text cells match in LibreOffice" % (name, checked))

        convert(soffice, profile, os.path.join(outdir, "report.xls"), "pdf", work)
        pdf = os.path.join(work, "report.pdf")
        if not os.path.exists(pdf):
            failures.append("report.xls: no PDF produced")
        else:
            with open(pdf, "rb") as f:
                if f.read(5) != b"%PDF-":
                    failures.append("report.xls: PDF output is not a PDF")
            print("report.xls: PDF of %d bytes" % os.path.getsize(pdf))
    finally:
        shutil.rmtree(work, ignore_errors=True)

    for line in failures[:40]:
        print("FAIL " + line)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
