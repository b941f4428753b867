#!/usr/bin/python3
"""Prints what xlrd reads from one workbook, as JSON, for the export tests.

usage: dump_xls.py FILE.xls

{"sheet": name, "nrows": n, "ncols": n,
 "values": [[text or number, ...], ...],          row by row, as read
 "xf": [[xf index, ...], ...],                    same shape
 "formats": {"xf": {"font": face, "points": p, "bold": b, "colour": rgb|null,
                    "fill": rgb|null, "edges": [l, r, t, b line styles],
                    "edge_colours": [rgb|null x 4], "halign": h, "valign": v}},
 "merges": [[first row, last row, first col, last col], ...]   inclusive, 0-based
 "widths": {"col": characters}, "heights": {"row": points},
 "warnings": "anything xlrd logged"}
Exit status 2 when xlrd cannot open the file.
"""

import io
import json
import sys

import xlrd


def rgb(book, index):
    colour = book.colour_map.get(index)
    return list(colour) if colour is not None else None


def describe(book, xf):
    font = book.font_list[xf.font_index]
    fill = None
    if xf.background.fill_pattern == 1:
        fill = rgb(book, xf.background.pattern_colour_index)
    border = xf.border
    return {
        "font": font.name,
        "points": font.height / 20.0,
        "bold": bool(font.bold),
        "colour": rgb(book, font.colour_index),
        "fill": fill,
        "edges": [border.left_line_style, border.right_line_style,
                  border.top_line_style, border.bottom_line_style],
        "edge_colours": [rgb(book, border.left_colour_index), rgb(book, border.right_colour_index),
                         rgb(book, border.top_colour_index), rgb(book, border.bottom_colour_index)],
        "halign": xf.alignment.hor_align,
        "valign": xf.alignment.vert_align,
    }


def main():
    log = io.StringIO()
    try:
        book = xlrd.open_workbook(sys.argv[1], formatting_info=True, logfile=log)
    except Exception as error:  # any reader failure fails the caller's check
        print("xlrd cannot open %s: %r" % (sys.argv[1], error), file=sys.stderr)
        return 2
    sheet = book.sheet_by_index(0)
    used = set()
    xfs = []
    for r in range(sheet.nrows):
        row = [sheet.cell_xf_index(r, c) for c in range(sheet.ncols)]
        used.update(row)
        xfs.append(row)
    result = {
        "sheets": book.nsheets,
        "sheet": sheet.name,
        "nrows": sheet.nrows,
        "ncols": sheet.ncols,
        "values": [sheet.row_values(r) for r in range(sheet.nrows)],
        "xf": xfs,
        "formats": {str(i): describe(book, book.xf_list[i]) for i in sorted(used)},
        "merges": [[rlo, rhi - 1, clo, chi - 1] for rlo, rhi, clo, chi in sorted(sheet.merged_cells)],
        "widths": {str(c): info.width / 256.0 for c, info in sheet.colinfo_map.items()},
        "heights": {str(r): info.height / 20.0 for r, info in sheet.rowinfo_map.items()},
        "warnings": log.getvalue(),
    }
    json.dump(result, sys.stdout, ensure_ascii=False)
    return 0


if __name__ == "__main__":
    sys.exit(main())
