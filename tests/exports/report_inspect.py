#!/usr/bin/env python3
"""Prints, as JSON, what a spreadsheet library sees in a report workbook: the sheets in order,
and for each its merged ranges, cell values, pictures (anchor cells, size, bytes), column
widths, row heights and print settings. Used by the report tests."""
import hashlib
import json
import sys
import warnings
import zipfile
from xml.etree import ElementTree

import openpyxl

warnings.simplefilter("error")  # a workbook that needs repairs makes openpyxl warn


def main(path):
    book = openpyxl.load_workbook(path)
    out = {"sheets": []}
    for ws in book.worksheets:
        cells = {}
        for row in ws.iter_rows():
            for c in row:
                if c.value not in (None, ""):
                    cells[c.coordinate] = c.value
        images = []
        for img in ws._images:
            a = img.anchor
            images.append({
                "from": [a._from.col, a._from.row, a._from.colOff, a._from.rowOff],
                "to": [a.to.col, a.to.row, a.to.colOff, a.to.rowOff],
                "sha1": hashlib.sha1(img._data()).hexdigest(),
                "pixels": [img.width, img.height],
            })
        ps = ws.page_setup
        m = ws.page_margins
        out["sheets"].append({
            "name": ws.title,
            "selected": bool(ws.sheet_view.tabSelected),
            "merged": sorted(str(r) for r in ws.merged_cells.ranges),
            "cells": cells,
            "images": images,
            "print_area": ws.print_area,
            "paper": ps.paperSize,
            "orientation": ps.orientation,
            "scale": ps.scale,
            "fit": bool(ws.sheet_properties.pageSetUpPr and
                        ws.sheet_properties.pageSetUpPr.fitToPage),
            # absent attributes mean one page wide and one page tall
            "fit_wide_tall": [1 if ps.fitToWidth is None else ps.fitToWidth,
                              1 if ps.fitToHeight is None else ps.fitToHeight],
            "margins": [m.left, m.right, m.top, m.bottom, m.header, m.footer],
            "row_breaks": [b.id for b in ws.row_breaks.brk],
            "cols": [[d.min, d.max, d.width] for d in ws.column_dimensions.values()],
            "row_height": {str(r): ws.row_dimensions[r].height for r in (1, 3, 4, 18)},
            "default_row": ws.sheet_format.defaultRowHeight,
        })
    props = book.properties
    out["creator"] = props.creator or ""
    out["last_modified_by"] = props.lastModifiedBy or ""
    with zipfile.ZipFile(path) as z:
        out["parts"] = sorted(z.namelist())
        out["bad"] = z.testzip()
        ns = {"m": "http://schemas.openxmlformats.org/spreadsheetml/2006/main"}
        root = ElementTree.fromstring(z.read("xl/workbook.xml"))
        out["defined_names"] = [[d.get("name"), d.get("localSheetId"), d.text]
                                for d in root.iterfind("m:definedNames/m:definedName", ns)]
    print(json.dumps(out, ensure_ascii=False))


if __name__ == "__main__":
    main(sys.argv[1])
