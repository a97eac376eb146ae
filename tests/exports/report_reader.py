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
    out["package_problems"] = package_problems(path)
    print(json.dumps(out, ensure_ascii=False))


def package_problems(path):
    """What an office program would repair: relationships to missing parts, parts without a
    content type, content types of missing parts, duplicate relationship ids, sheets that share
    a part, more than one selected sheet."""
    problems = []
    ct_ns = "{http://schemas.openxmlformats.org/package/2006/content-types}"
    rel_ns = "{http://schemas.openxmlformats.org/package/2006/relationships}"
    with zipfile.ZipFile(path) as z:
        names = set(z.namelist())
        types = ElementTree.fromstring(z.read("[Content_Types].xml"))
        defaults = {d.get("Extension").lower() for d in types.iter(ct_ns + "Default")}
        overrides = {o.get("PartName").lstrip("/") for o in types.iter(ct_ns + "Override")}
        for o in sorted(overrides - names):
            problems.append("content type of a missing part: " + o)
        for n in sorted(names):
            if n.endswith("/") or n == "[Content_Types].xml":
                continue
            if n not in overrides and n.rsplit(".", 1)[-1].lower() not in defaults:
                problems.append("no content type: " + n)
        for n in sorted(x for x in names if x.endswith(".rels")):
            folder = n[: n.rfind("_rels/")]
            ids = set()
            for r in ElementTree.fromstring(z.read(n)).iter(rel_ns + "Relationship"):
                if r.get("Id") in ids:
                    problems.append("duplicate id %s in %s" % (r.get("Id"), n))
                ids.add(r.get("Id"))
                if r.get("TargetMode") == "External":
                    continue
                target = r.get("Target")
                parts = (target[1:] if target.startswith("/") else folder + target).split("/")
                resolved = []
                for piece in parts:
                    if piece == "..":
                        resolved and resolved.pop()
                    elif piece not in ("", "."):
                        resolved.append(piece)
                if "/".join(resolved) not in names:
                    problems.append("%s points to a missing part %s" % (n, target))
        ns = {"m": "http://schemas.openxmlformats.org/spreadsheetml/2006/main",
              "r": "http://schemas.openxmlformats.org/officeDocument/2006/relationships"}
        book = ElementTree.fromstring(z.read("xl/workbook.xml"))
        rels = {r.get("Id"): r.get("Target") for r in ElementTree.fromstring(
            z.read("xl/_rels/workbook.xml.rels")).iter(rel_ns + "Relationship")}
        targets = [rels.get(s.get("{%s}id" % ns["r"])) for s in book.iterfind("m:sheets/m:sheet", ns)]
        if len(set(targets)) != len(targets):
            problems.append("sheets share a part")
        ids = [s.get("sheetId") for s in book.iterfind("m:sheets/m:sheet", ns)]
        if len(set(ids)) != len(ids):
            problems.append("duplicate sheetId")
    return problems


if __name__ == "__main__":
    main(sys.argv[1])
