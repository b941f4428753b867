#!/usr/bin/python3
"""Reads the sample workbooks back with xlrd and compares them with manifest.json.

usage: check_xls_samples.py OUTDIR
Every cell's value and position, the look of its format (font face, size,
bold, italic, colour; fill; the four border edges; alignment; number format),
merged areas, column widths, row heights and the row count must match.
xlrd must also stay silent: any warning it logs fails the check.
"""

import io
import json
import os
import sys

import xlrd

failures = []


def fail(sample, text):
    failures.append("%s: %s" % (sample, text))


def distance(a, b):
    return 3 * (a[0] - b[0]) ** 2 + 4 * (a[1] - b[1]) ** 2 + 2 * (a[2] - b[2]) ** 2


def check_colour(name, book, index, expected, used, where):
    """expected: [r, g, b] or None for automatic."""
    actual = book.colour_map.get(index)
    if expected is None:
        if actual is not None:
            fail(name, "%s: expected automatic colour, got index %d %r" % (where, index, actual))
        return
    if actual is None:
        fail(name, "%s: expected %r, got automatic (index %d)" % (where, expected, index))
        return
    used.append((tuple(expected), tuple(actual), where))


def check_sample(outdir, sample):
    name = sample["file"]
    log = io.StringIO()
    try:
        book = xlrd.open_workbook(os.path.join(outdir, name), formatting_info=True, logfile=log)
    except Exception as error:  # any reader failure is a failed check
        fail(name, "xlrd cannot open it: %s" % repr(error)[:300])
        return
    if "WARNING" in log.getvalue() or "***" in log.getvalue():
        fail(name, "xlrd warned: " + log.getvalue().strip()[:300])
    if book.nsheets != 1:
        fail(name, "%d sheets" % book.nsheets)
        return
    sheet = book.sheet_by_index(0)
    if sheet.name != sample["sheet"]:
        fail(name, "sheet name %r, expected %r" % (sheet.name, sample["sheet"]))

    formats = sample["formats"]
    default_font = sample["default_font"]
    default_points = sample["default_points"]
    used_colours = []
    last_row = -1
    checked_formats = {}

    for row, col, kind, value, fmt in sample["cells"]:
        last_row = max(last_row, row)
        where = "cell (%d, %d)" % (row, col)
        if row >= sheet.nrows or col >= sheet.ncols:
            fail(name, where + " missing")
            continue
        cell = sheet.cell(row, col)
        if kind == "t":
            if cell.ctype != xlrd.XL_CELL_TEXT or cell.value != value:
                fail(name, "%s: %r, expected text %r" % (where, cell.value, value[:80]))
        elif kind == "n":
            if cell.ctype != xlrd.XL_CELL_NUMBER or cell.value != value:
                fail(name, "%s: %r, expected number %r" % (where, cell.value, value))
        elif kind == "e":
            if cell.ctype != xlrd.XL_CELL_ERROR or cell.value != value:
                fail(name, "%s: %r, expected error %r" % (where, cell.value, value))
        elif kind == "b":
            if cell.ctype != xlrd.XL_CELL_BLANK:
                fail(name, "%s: %r, expected blank" % (where, cell.value))

        # Each (format, XF) pair is compared once; the big sample repeats them.
        key = (fmt, cell.xf_index)
        if key in checked_formats:
            continue
        checked_formats[key] = True
        f = formats[str(fmt)]
        xf = book.xf_list[cell.xf_index]
        font = book.font_list[xf.font_index]
        want_face = f["font"] or default_font
        want_twips = round((f["points"] or default_points) * 20)
        if font.name != want_face:
            fail(name, "%s: font %r, expected %r" % (where, font.name, want_face))
        if font.height != want_twips:
            fail(name, "%s: font height %d, expected %d" % (where, font.height, want_twips))
        if bool(font.bold) != f["bold"] or bool(font.italic) != f["italic"]:
            fail(name, "%s: bold/italic %r/%r, expected %r/%r"
                 % (where, font.bold, font.italic, f["bold"], f["italic"]))
        check_colour(name, book, font.colour_index, f["font_colour"], used_colours,
                     where + " font")

        if f["fill"] is None:
            if xf.background.fill_pattern != 0:
                fail(name, "%s: unexpected fill pattern %d" % (where, xf.background.fill_pattern))
        else:
            if xf.background.fill_pattern != 1:
                fail(name, "%s: fill pattern %d, expected solid" % (where, xf.background.fill_pattern))
            check_colour(name, book, xf.background.pattern_colour_index, f["fill"], used_colours,
                         where + " fill")

        border = xf.border
        edges = [("left", border.left_line_style, border.left_colour_index),
                 ("right", border.right_line_style, border.right_colour_index),
                 ("top", border.top_line_style, border.top_colour_index),
                 ("bottom", border.bottom_line_style, border.bottom_colour_index)]
        for (edge, style, colour), (want_style, want_colour) in zip(edges, f["edges"]):
            if style != want_style:
                fail(name, "%s: %s line %d, expected %d" % (where, edge, style, want_style))
            elif want_style:
                check_colour(name, book, colour, want_colour, used_colours,
                             "%s %s line" % (where, edge))

        align = xf.alignment
        if (align.hor_align, align.vert_align, bool(align.text_wrapped)) != \
                (f["halign"], f["valign"], f["wrap"]):
            fail(name, "%s: alignment %r, expected %r" % (
                where, (align.hor_align, align.vert_align, align.text_wrapped),
                (f["halign"], f["valign"], f["wrap"])))

        code = book.format_map[xf.format_key].format_str
        want_code = f["number_format"] or "General"
        if code != want_code:
            fail(name, "%s: number format %r, expected %r" % (where, code, want_code))

    # Colours: exact where the palette could hold them all; otherwise the
    # first 56 distinct ones exact and every other the nearest slot.
    palette = [book.colour_map[i] for i in range(8, 64)]
    distinct = {}
    for want, got, where in used_colours:
        distinct.setdefault(want, (got, where))
    exact = sum(1 for want, (got, _) in distinct.items() if want == got)
    if sample["exact_colours"]:
        for want, (got, where) in distinct.items():
            if want != got:
                fail(name, "%s: colour %r, expected %r" % (where, got, want))
    else:
        if exact != min(56, len(distinct)):
            fail(name, "%d of %d colours exact" % (exact, len(distinct)))
        for want, (got, where) in distinct.items():
            best = min(distance(want, p) for p in palette)
            if distance(want, got) != best:
                fail(name, "%s: colour %r is not the nearest slot to %r" % (where, got, want))

    merges = sorted((r1, r2 + 1, c1, c2 + 1) for r1, r2, c1, c2 in sample["merges"])
    if sorted(sheet.merged_cells) != merges:
        fail(name, "merges %r, expected %r" % (sorted(sheet.merged_cells)[:10], merges[:10]))
    for r1, r2, c1, c2 in merges:
        last_row = max(last_row, r2 - 1)

    for col, width in sample["widths"].items():
        info = sheet.colinfo_map.get(int(col))
        if info is None or info.width != width:
            fail(name, "column %s width %r, expected %d" % (col, info and info.width, width))
    for row, height in sample["heights"].items():
        info = sheet.rowinfo_map.get(int(row))
        if info is None or info.height != height or not info.height_mismatch:
            fail(name, "row %s height %r, expected %d (set by hand)"
                 % (row, info and info.height, height))

    if sheet.nrows != last_row + 1:
        fail(name, "%d rows, expected %d" % (sheet.nrows, last_row + 1))
    print("%s: %d cells, %d rows checked" % (name, len(sample["cells"]), sheet.nrows))


def main():
    if len(sys.argv) != 2:
        print(__doc__)
        return 2
    outdir = sys.argv[1]
    with open(os.path.join(outdir, "manifest.json"), encoding="utf-8") as f:
        samples = json.load(f)
    for sample in samples:
        check_sample(outdir, sample)
    for line in failures[:50]:
        print("FAIL " + line[:400])
    if len(failures) > 50:
        print("... and %d more" % (len(failures) - 50))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
