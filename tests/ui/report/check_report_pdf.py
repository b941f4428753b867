#!/usr/bin/python3
"""Prints a report through LibreOffice and checks every page of the PDF.

usage: check_report_pdf.py REPORT.xls OUTDIR MINPAGES
Converts the workbook to OUTDIR/<name>.pdf and reads each page back with
pdftotext: every page must show the data headings and its footer
"페이지 n / m", m must be the page count and at least MINPAGES.
Exits 77 (skipped) when LibreOffice or pdftotext is missing.
"""

import os
import shutil
import subprocess
import sys
import tempfile

SKIP = 77
HEADINGS = ["NO.", "측정 시간", "측정 압력 값", "로드셀 종류", "기타"]


def main():
    source, outdir, minimum = sys.argv[1], sys.argv[2], int(sys.argv[3])
    soffice = shutil.which("soffice") or shutil.which("libreoffice")
    if not soffice or not shutil.which("pdftotext"):
        print("LibreOffice or pdftotext is not installed")
        return SKIP
    os.makedirs(outdir, exist_ok=True)
    with tempfile.TemporaryDirectory() as profile:
        subprocess.run([soffice, "-env:UserInstallation=file://" + profile, "--headless",
                        "--convert-to", "pdf", "--outdir", outdir, source],
                       stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=300, check=False)
    pdf = os.path.join(outdir, os.path.splitext(os.path.basename(source))[0] + ".pdf")
    # LibreOffice exits 0 even when it could not load the file.
    if not os.path.exists(pdf):
        print("no PDF came out of", source)
        return 1
    text = subprocess.run(["pdftotext", "-layout", pdf, "-"], stdout=subprocess.PIPE,
                          check=True).stdout.decode("utf-8")
    pages = text.split("\f")
    if pages and not pages[-1].strip():
        pages.pop()
    count = len(pages)
    failures = []
    if count < minimum:
        failures.append("%d pages, expected at least %d" % (count, minimum))
    for n, page in enumerate(pages, 1):
        for heading in HEADINGS:
            if heading not in page:
                failures.append("page %d lacks the heading %s" % (n, heading))
        footer = "페이지 %d / %d" % (n, count)
        if footer not in page:
            failures.append("page %d lacks its footer %s" % (n, footer))
    for failure in failures:
        print(failure)
    print("%d pages checked in %s" % (count, pdf))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
