#!/usr/bin/python3
"""Writes the workbooks the reader's tests read, with independent writers:
openpyxl and XlsxWriter (.xlsx), xlwt (.xls), and an .ods written here by
hand from the OpenDocument format. Usage: make_workbooks.py OUTDIR

Every writer lays out the same sheet "Cells" (see CELLS); the test holds
what each cell must show. A second sheet, "دوم", holds one cell."""

import datetime
import os
import sys
import zipfile

# (cell, kind, value, number format or None)
CELLS = [
    ("A1", "text", "سلام دنیا", None),
    ("B1", "text", "Latin, with comma", None),
    ("C1", "text", 'quote " inside', None),
    ("D1", "text", "two\nlines", None),
    ("E1", "text", "  padded  ", None),
    ("A2", "number", 0.1 + 0.2, None),
    ("B2", "number", 1 / 3, None),
    ("C2", "number", 1e20, None),
    ("D2", "number", 123456789012, None),
    ("E2", "number", -2.5, None),
    ("F2", "number", 1e-7, None),
    ("G2", "number", 42, None),
    ("A3", "number", 1234.567, "0"),
    ("B3", "number", 1234.567, "0.00"),
    ("C3", "number", 1234567.891, "#,##0"),
    ("D3", "number", -1234567.891, "#,##0.00"),
    ("E3", "number", 0.256, "0%"),
    ("F3", "number", 0.25678, "0.00%"),
    ("G3", "number", 2.675, "0.00"),
    ("A4", "date", datetime.datetime(2024, 3, 20), "builtin14"),
    ("B4", "date", datetime.datetime(2024, 3, 20, 14, 30), "yyyy-mm-dd hh:mm"),
    ("C4", "date", datetime.datetime(2024, 3, 20, 14, 30, 5), "d/m/yyyy h:mm:ss"),
    ("D4", "date", datetime.datetime(1899, 12, 30, 14, 30), "h:mm"),
    ("E4", "date", datetime.datetime(1900, 2, 28), "yyyy-mm-dd"),
    ("F4", "date", datetime.datetime(2024, 3, 20, 14, 30), "[$-409]mmmm d, yyyy"),
    ("A5", "bool", True, None),
    ("B5", "bool", False, None),
    ("C5", "error", "#DIV/0!", None),
    ("D5", "formula", ("=2+3", 5), None),
    ("E5", "formula", ('="a"&"b"', "ab"), None),
    ("A6", "rich", ("bold", " plain"), None),
    ("B6", "merged", ("C7", "merged"), None),
    ("F9", "text", "far", None),
]

SECOND_SHEET = "دوم"


def col_row(ref):
    letters = "".join(ch for ch in ref if ch.isalpha())
    row = int(ref[len(letters):])
    col = 0
    for ch in letters:
        col = col * 26 + ord(ch) - ord("A") + 1
    return row - 1, col - 1


def write_openpyxl(path, date1904=False):
    import openpyxl
    from openpyxl.styles import Alignment

    wb = openpyxl.Workbook()
    if date1904:
        from openpyxl.utils.datetime import CALENDAR_MAC_1904
        wb.epoch = CALENDAR_MAC_1904
    ws = wb.active
    ws.title = "Cells"
    for ref, kind, value, fmt in CELLS:
        cell = ws[ref]
        if kind in ("text", "number", "bool"):
            cell.value = value
        elif kind == "date":
            cell.value = value if value.year > 1899 else value.time()
            cell.number_format = "mm-dd-yy" if fmt == "builtin14" else fmt
            continue
        elif kind == "error":
            cell.value = value
            cell.data_type = "e"
        elif kind == "formula":
            continue  # openpyxl keeps no computed value
        elif kind == "rich":
            cell.value = "".join(value)  # openpyxl 3.0 writes no rich text
        elif kind == "merged":
            cell.value = value[1]
            ws.merge_cells(ref + ":" + value[0])
        if fmt:
            cell.number_format = fmt
        if kind == "text" and "\n" in str(value):
            cell.alignment = Alignment(wrap_text=True)
    wb.create_sheet(SECOND_SHEET)["B2"] = "second"
    wb.save(path)


def write_xlsxwriter(path, constant_memory=False, date1904=False):
    import xlsxwriter

    wb = xlsxwriter.Workbook(path, {"constant_memory": constant_memory, "date_1904": date1904,
                                    "strings_to_numbers": False})
    ws = wb.add_worksheet("Cells")
    bold = wb.add_format({"bold": True})
    formats = {}

    def fmt_of(fmt):
        if fmt is None:
            return None
        if fmt not in formats:
            formats[fmt] = wb.add_format({"num_format": 14 if fmt == "builtin14" else fmt})
        return formats[fmt]

    # Row by row, as constant_memory asks.
    for ref, kind, value, fmt in sorted(CELLS, key=lambda c: col_row(c[0])):
        r, c = col_row(ref)
        if kind == "text":
            ws.write_string(r, c, value)
        elif kind == "number":
            ws.write_number(r, c, value, fmt_of(fmt))
        elif kind == "date":
            ws.write_datetime(r, c, value if value.year > 1899 else value.time(), fmt_of(fmt))
        elif kind == "bool":
            ws.write_boolean(r, c, value)
        elif kind == "error":
            ws.write_formula(r, c, "=1/0", None, value)
        elif kind == "formula":
            ws.write_formula(r, c, value[0], None, value[1])
        elif kind == "rich":
            ws.write_rich_string(r, c, bold, value[0], value[1])
        elif kind == "merged":
            r2, c2 = col_row(value[0])
            ws.merge_range(r, c, r2, c2, value[1])
    wb.add_worksheet(SECOND_SHEET).write_string(1, 1, "second")
    wb.close()


def write_xlwt(path):
    import xlwt

    wb = xlwt.Workbook(encoding="utf-8")
    ws = wb.add_sheet("Cells")
    styles = {}

    def style_of(fmt):
        if fmt is None:
            return xlwt.Style.default_style
        code = "M/D/YY" if fmt == "builtin14" else fmt
        if code not in styles:
            styles[code] = xlwt.easyxf(num_format_str=code)
        return styles[code]

    for ref, kind, value, fmt in CELLS:
        r, c = col_row(ref)
        if kind in ("text", "number", "bool"):
            ws.write(r, c, value, style_of(fmt))
        elif kind == "date":
            ws.write(r, c, value if value.year > 1899 else value.time(), style_of(fmt))
        elif kind == "formula":
            continue  # xlwt keeps no computed value
        elif kind == "error":
            continue  # nor error values
        elif kind == "rich":
            ws.write_rich_text(r, c, [(value[0], xlwt.easyfont("bold true")), value[1]])
        elif kind == "merged":
            r2, c2 = col_row(value[0])
            ws.write_merge(r, r2, c, c2, value[1])
    wb.add_sheet(SECOND_SHEET).write(1, 1, "second")
    wb.save(path)


ODS_NS = {
    "office": "urn:oasis:names:tc:opendocument:xmlns:office:1.0",
    "style": "urn:oasis:names:tc:opendocument:xmlns:style:1.0",
    "text": "urn:oasis:names:tc:opendocument:xmlns:text:1.0",
    "table": "urn:oasis:names:tc:opendocument:xmlns:table:1.0",
    "number": "urn:oasis:names:tc:opendocument:xmlns:datastyle:1.0",
    "fo": "urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0",
}


def esc(s):
    return s.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;").replace('"', "&quot;")


def paragraphs(text):
    out = []
    for line in text.split("\n"):
        # runs of spaces as text:s, as the format asks
        parts, i = [], 0
        while i < len(line):
            if line[i] == " ":
                j = i
                while j < len(line) and line[j] == " ":
                    j += 1
                parts.append(" " if j - i == 1 and 0 < i and j < len(line) else '<text:s text:c="%d"/>' % (j - i))
                i = j
            else:
                j = i
                while j < len(line) and line[j] != " ":
                    j += 1
                parts.append(esc(line[i:j]))
                i = j
        out.append("<text:p>%s</text:p>" % "".join(parts))
    return "".join(out)


def ods_cell(kind, value, fmt):
    """The table:table-cell of one case; None when this writer leaves it out."""
    styles = {"0": "N0", "0.00": "N2", "#,##0": "G0", "#,##0.00": "G2", "0%": "P0", "0.00%": "P2",
              "builtin14": "D", "yyyy-mm-dd": "D", "yyyy-mm-dd hh:mm": "DT", "d/m/yyyy h:mm:ss": "DTS",
              "h:mm": "T", "[$-409]mmmm d, yyyy": "D"}
    style = ' table:style-name="c%s"' % styles[fmt] if fmt else ""
    if kind == "text":
        return '<table:table-cell office:value-type="string">%s</table:table-cell>' % paragraphs(value)
    if kind == "number":
        vtype = "percentage" if fmt and fmt.endswith("%") else "float"
        return '<table:table-cell%s office:value-type="%s" office:value="%r"><text:p>shown</text:p></table:table-cell>' % (
            style, vtype, value)
    if kind == "date":
        if value.year < 1900:
            return ('<table:table-cell%s office:value-type="time" office:time-value="PT%02dH%02dM%02dS">'
                    '<text:p>x</text:p></table:table-cell>') % (style, value.hour, value.minute, value.second)
        iso = value.strftime("%Y-%m-%dT%H:%M:%S") if value.hour or value.minute else value.strftime("%Y-%m-%d")
        return '<table:table-cell%s office:value-type="date" office:date-value="%s"><text:p>x</text:p></table:table-cell>' % (
            style, iso)
    if kind == "bool":
        return ('<table:table-cell office:value-type="boolean" office:boolean-value="%s"><text:p>x</text:p>'
                '</table:table-cell>') % ("true" if value else "false")
    if kind == "error":
        return ('<table:table-cell table:formula="of:=1/0" office:value-type="float" office:value="0" '
                'calcext:value-type="error"><text:p>#DIV/0!</text:p></table:table-cell>')
    if kind == "formula":
        if isinstance(value[1], str):
            return ('<table:table-cell table:formula="of:=&quot;a&quot;&amp;&quot;b&quot;" office:value-type="string" '
                    'office:string-value="%s"><text:p>%s</text:p></table:table-cell>') % (value[1], value[1])
        return ('<table:table-cell table:formula="of:=2+3" office:value-type="float" office:value="%r">'
                '<text:p>%r</text:p></table:table-cell>') % (value[1], value[1])
    if kind == "rich":
        return ('<table:table-cell office:value-type="string"><text:p><text:span text:style-name="b">%s</text:span>'
                '%s<office:annotation><text:p>a comment</text:p></office:annotation></text:p></table:table-cell>') % (
            esc(value[0]), esc(value[1]).replace(" ", '<text:s/>', 1))
    if kind == "merged":
        return ('<table:table-cell table:number-columns-spanned="2" table:number-rows-spanned="2" '
                'office:value-type="string"><text:p>%s</text:p></table:table-cell>') % esc(value[1])
    raise ValueError(kind)


def write_ods(path):
    grid = {}
    for ref, kind, value, fmt in CELLS:
        grid[col_row(ref)] = (kind, value, fmt)
    covered = {(5, 2), (6, 1), (6, 2)}  # under the merged B6:C7
    rows_xml = []
    max_row = max(r for r, _ in grid)
    for r in range(max_row + 1):
        cells = []
        cols = [c for (rr, c) in grid if rr == r] + [c for (rr, c) in covered if rr == r]
        last = max(cols) if cols else -1
        c = 0
        while c <= last:
            if (r, c) in grid:
                cells.append(ods_cell(*grid[(r, c)]))
                c += 1
            elif (r, c) in covered:
                cells.append("<table:covered-table-cell/>")
                c += 1
            else:
                n = 1
                while c + n <= last and (r, c + n) not in grid and (r, c + n) not in covered:
                    n += 1
                cells.append('<table:table-cell table:number-columns-repeated="%d"/>' % n)
                c += n
        # Trailing empty columns up to the format's width, as LibreOffice writes them.
        cells.append('<table:table-cell table:number-columns-repeated="%d"/>' % (1024 - last - 1))
        rows_xml.append("<table:table-row>%s</table:table-row>" % "".join(cells))
    rows_xml.append('<table:table-row table:number-rows-repeated="1048567"><table:table-cell '
                    'table:number-columns-repeated="1024"/></table:table-row>')
    styles = (
        '<number:number-style style:name="n0"><number:number number:decimal-places="0" number:min-integer-digits="1"/>'
        '</number:number-style>'
        '<number:number-style style:name="n2"><number:number number:decimal-places="2" number:min-integer-digits="1"/>'
        '</number:number-style>'
        '<number:number-style style:name="g0"><number:number number:decimal-places="0" number:grouping="true"/>'
        '</number:number-style>'
        '<number:number-style style:name="g2"><number:number number:decimal-places="2" number:grouping="true"/>'
        '</number:number-style>'
        '<number:percentage-style style:name="p0"><number:number number:decimal-places="0"/><number:text>%</number:text>'
        '</number:percentage-style>'
        '<number:percentage-style style:name="p2"><number:number number:decimal-places="2"/><number:text>%</number:text>'
        '</number:percentage-style>'
        '<number:date-style style:name="d"><number:year/><number:text>-</number:text><number:month/>'
        '<number:text>-</number:text><number:day/></number:date-style>'
        '<number:date-style style:name="dt"><number:year/><number:month/><number:day/><number:hours/><number:minutes/>'
        '</number:date-style>'
        '<number:date-style style:name="dts"><number:year/><number:month/><number:day/><number:hours/>'
        '<number:minutes/><number:seconds/></number:date-style>'
        '<number:time-style style:name="t"><number:hours/><number:text>:</number:text><number:minutes/>'
        '</number:time-style>')
    for name in ("N0", "N2", "G0", "G2", "P0", "P2", "D", "DT", "DTS", "T"):
        styles += '<style:style style:name="c%s" style:family="table-cell" style:data-style-name="%s"/>' % (
            name, name.lower())
    ns = " ".join('xmlns:%s="%s"' % kv for kv in ODS_NS.items())
    ns += ' xmlns:calcext="urn:org:documentfoundation:names:experimental:calc:xmlns:calcext:1.0"'
    content = ('<?xml version="1.0" encoding="UTF-8"?><office:document-content %s office:version="1.2">'
               '<office:automatic-styles>%s</office:automatic-styles><office:body><office:spreadsheet>'
               '<table:table table:name="Cells"><table:table-column table:number-columns-repeated="1024"/>%s'
               '</table:table><table:table table:name="%s"><table:table-row><table:table-cell/>'
               '<table:table-cell office:value-type="string"><text:p>x</text:p></table:table-cell></table:table-row>'
               '</table:table></office:spreadsheet></office:body></office:document-content>') % (
        ns, styles, "".join(rows_xml), SECOND_SHEET)
    content = content.replace(
        '<table:table-row><table:table-cell/><table:table-cell office:value-type="string"><text:p>x</text:p>',
        '<table:table-row><table:table-cell/></table:table-row><table:table-row><table:table-cell/>'
        '<table:table-cell office:value-type="string"><text:p>second</text:p>')
    manifest = ('<?xml version="1.0" encoding="UTF-8"?><manifest:manifest '
                'xmlns:manifest="urn:oasis:names:tc:opendocument:xmlns:manifest:1.0" manifest:version="1.2">'
                '<manifest:file-entry manifest:full-path="/" '
                'manifest:media-type="application/vnd.oasis.opendocument.spreadsheet"/>'
                '<manifest:file-entry manifest:full-path="content.xml" manifest:media-type="text/xml"/>'
                '</manifest:manifest>')
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr(zipfile.ZipInfo("mimetype"), "application/vnd.oasis.opendocument.spreadsheet",
                   compress_type=zipfile.ZIP_STORED)
        z.writestr("content.xml", content)
        z.writestr("META-INF/manifest.xml", manifest)


# ---- bad workbooks

def minimal_xlsx(path, sheet_xml, shared=None, extra=None, workbook_target="xl/workbook.xml", deflate=True):
    """An .xlsx of one sheet with the given sheet XML (and shared strings)."""
    ct = ('<?xml version="1.0"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
          '<Default Extension="xml" ContentType="application/xml"/></Types>')
    rels = ('<?xml version="1.0"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
            '<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/'
            'officeDocument" Target="%s"/></Relationships>') % workbook_target
    wb = ('<?xml version="1.0"?><workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" '
          'xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"><sheets>'
          '<sheet name="S" sheetId="1" r:id="rId1"/></sheets></workbook>')
    wbrels = ('<?xml version="1.0"?><Relationships '
              'xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
              '<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/'
              'worksheet" Target="worksheets/sheet1.xml"/>'
              '<Relationship Id="rId2" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/'
              'sharedStrings" Target="sharedStrings.xml"/></Relationships>')
    method = zipfile.ZIP_DEFLATED if deflate else zipfile.ZIP_STORED
    with zipfile.ZipFile(path, "w", method) as z:
        z.writestr("[Content_Types].xml", ct)
        z.writestr("_rels/.rels", rels)
        z.writestr("xl/workbook.xml", wb)
        z.writestr("xl/_rels/workbook.xml.rels", wbrels)
        if sheet_xml is not None:
            z.writestr("xl/worksheets/sheet1.xml", sheet_xml)
        if shared is not None:
            z.writestr("xl/sharedStrings.xml", shared)
        for name, data in (extra or {}).items():
            z.writestr(name, data)


def sheet(rows):
    return ('<?xml version="1.0"?><worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">'
            '%s<sheetData>%s</sheetData></worksheet>') % rows


def sst(items):
    return ('<?xml version="1.0"?><sst xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">%s</sst>'
            % "".join("<si><t>%s</t></si>" % i for i in items))


def compound_file(streams):
    """An OLE2 compound file holding streams (name -> bytes, each padded to
    at least 4096 bytes so that none lives in the small-stream area)."""
    import struct
    sector = 512
    names = list(streams)
    data = [streams[n] + b"\0" * max(0, 4096 - len(streams[n])) for n in names]
    fat = [0xFFFFFFFD, 0xFFFFFFFE]  # the table itself, the directory
    starts = []
    for d in data:
        count = (len(d) + sector - 1) // sector
        start = len(fat)
        starts.append(start)
        fat += [start + i + 1 for i in range(count - 1)] + [0xFFFFFFFE]
    assert len(fat) <= sector // 4
    fat += [0xFFFFFFFF] * (sector // 4 - len(fat))

    def entry(name, kind, child, right, start, size):
        raw = name.encode("utf-16-le") + b"\0\0"
        return (raw.ljust(64, b"\0") + struct.pack("<HBB", len(raw), kind, 1)
                + struct.pack("<III", 0xFFFFFFFF, right, child) + b"\0" * 16 + b"\0" * 4 + b"\0" * 16
                + struct.pack("<IQ", start, size))

    dirs = [entry("Root Entry", 5, 1, 0xFFFFFFFF, 0xFFFFFFFE, 0)]
    for i, n in enumerate(names):
        right = i + 2 if i + 1 < len(names) else 0xFFFFFFFF
        dirs.append(entry(n, 2, 0xFFFFFFFF, right, starts[i], len(data[i])))
    directory = b"".join(dirs).ljust(sector, b"\0")
    assert len(directory) == sector
    header = (b"\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1" + b"\0" * 16 + struct.pack("<HHHHH", 0x3E, 3, 0xFFFE, 9, 6)
              + b"\0" * 6 + struct.pack("<IIIIIIIII", 0, 1, 1, 0, 4096, 0xFFFFFFFE, 0, 0xFFFFFFFE, 0)
              + struct.pack("<I", 0) + struct.pack("<I", 0xFFFFFFFF) * 108)
    assert len(header) == 512
    body = struct.pack("<%dI" % len(fat), *fat) + directory + b"".join(
        d.ljust((len(d) + sector - 1) // sector * sector, b"\0") for d in data)
    return header + body


def biff(records):
    import struct
    return b"".join(struct.pack("<HH", t, len(b)) + b for t, b in records)


def xls_stream(sheet_records):
    import struct
    bof_globals = (0x0809, struct.pack("<HHHHII", 0x0600, 0x0005, 0, 0, 0, 0))
    bof_sheet = (0x0809, struct.pack("<HHHHII", 0x0600, 0x0010, 0, 0, 0, 0))
    eof = (0x000A, b"")
    return biff([bof_globals, eof, bof_sheet] + sheet_records + [eof])


def write_bad(out):
    import struct
    join = lambda name: os.path.join(out, name)  # noqa: E731
    good = sheet(("", '<row r="1"><c r="A1" t="s"><v>0</v></c></row>'))
    minimal_xlsx(join("good.xlsx"), good, sst(["ok"]))
    with open(join("good.xlsx"), "rb") as f:
        good_bytes = f.read()
    with open(join("truncated.xlsx"), "wb") as f:
        f.write(good_bytes[: len(good_bytes) // 2])
    damaged = bytearray(good_bytes)
    with zipfile.ZipFile(join("good.xlsx")) as z:
        first = z.getinfo("_rels/.rels").header_offset + 50
    damaged[first:first + 120] = b"\xFF" * 120  # inside the package's relationships
    with open(join("garbled.xlsx"), "wb") as f:
        f.write(bytes(damaged))
    with open(join("text.xlsx"), "wb") as f:
        f.write("نام\tمبلغ\r\n".encode("utf-8"))
    with zipfile.ZipFile(join("document.xlsx"), "w") as z:
        z.writestr("word/document.xml", "<w/>")
    # Two hundred megabytes of one row of blanks, packed to a few hundred kilobytes.
    bomb = '<?xml version="1.0"?><worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">' \
           '<sheetData><row r="1"><c r="A1"><v>1</v></c></row>' + " " * (200 << 20) + "</sheetData></worksheet>"
    minimal_xlsx(join("bomb.xlsx"), bomb)
    laughs = ('<?xml version="1.0"?><!DOCTYPE lolz [<!ENTITY lol "lol"><!ENTITY lol2 "&lol;&lol;&lol;&lol;&lol;">'
              '<!ENTITY lol3 "&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;">]>'
              '<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><sheetData>'
              '<row r="1"><c r="A1" t="inlineStr"><is><t>&lol3;</t></is></c></row></sheetData></worksheet>')
    minimal_xlsx(join("entities.xlsx"), laughs)
    external = ('<?xml version="1.0"?><!DOCTYPE w SYSTEM "file:///etc/passwd"><worksheet '
                'xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><sheetData/></worksheet>')
    minimal_xlsx(join("external-dtd.xlsx"), external)
    minimal_xlsx(join("declared-huge.xlsx"), sheet(('<dimension ref="A1:XFD1048576"/>',
                                                   '<row r="1"><c r="A1"><v>1</v></c></row>'
                                                   '<row r="3"><c r="B3" t="s"><v>0</v></c></row>')),
                 '<?xml version="1.0"?><sst xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" '
                 'count="4000000000" uniqueCount="4000000000"><si><t>x</t></si></sst>')
    # One long string in a million cells: terabytes of text from a small file.
    long_text = "x" * 30000
    rows = "".join('<row r="%d"><c r="A%d" t="s"><v>0</v></c><c r="B%d" t="s"><v>0</v></c></row>' % (r, r, r)
                   for r in range(1, 200001))
    minimal_xlsx(join("repeated-string.xlsx"), sheet(("", rows)), sst([long_text]))
    minimal_xlsx(join("column-out-of-range.xlsx"), sheet(("", '<row r="1"><c r="XFE1"><v>1</v></c></row>')))
    minimal_xlsx(join("row-out-of-range.xlsx"), sheet(("", '<row r="1048577"><c r="A1048577"><v>1</v></c></row>')))
    minimal_xlsx(join("bad-reference.xlsx"), sheet(("", '<row r="1"><c r="A0"><v>1</v></c></row>')))
    minimal_xlsx(join("rows-out-of-order.xlsx"), sheet(("", '<row r="5"><c r="A5"><v>1</v></c></row>'
                                                           '<row r="2"><c r="A2"><v>1</v></c></row>')))
    minimal_xlsx(join("missing-string.xlsx"), sheet(("", '<row r="1"><c r="A1" t="s"><v>7</v></c></row>')),
                 sst(["only one"]))
    minimal_xlsx(join("cut-xml.xlsx"), good[: len(good) - 30], sst(["ok"]))
    minimal_xlsx(join("missing-sheet.xlsx"), None)
    minimal_xlsx(join("binary.xlsb"), None, None, {"xl/workbook.bin": b"\0" * 64}, workbook_target="xl/workbook.bin")
    with zipfile.ZipFile(join("encrypted.ods"), "w") as z:
        z.writestr(zipfile.ZipInfo("mimetype"), "application/vnd.oasis.opendocument.spreadsheet")
        z.writestr("content.xml", b"\x93\x1f\x8b" * 100)
        z.writestr("META-INF/manifest.xml",
                   '<?xml version="1.0"?><manifest:manifest '
                   'xmlns:manifest="urn:oasis:names:tc:opendocument:xmlns:manifest:1.0"><manifest:file-entry '
                   'manifest:full-path="content.xml" manifest:media-type="text/xml"><manifest:encryption-data '
                   'manifest:checksum-type="SHA1/1K" manifest:checksum="x"/></manifest:file-entry>'
                   '</manifest:manifest>')
    with open(join("encrypted.xlsx"), "wb") as f:
        f.write(compound_file({"EncryptionInfo": b"\x04\x00\x04\x00" + b"\0" * 200,
                               "EncryptedPackage": b"\x11" * 5000}))
    with open(join("filepass.xls"), "wb") as f:
        f.write(compound_file({"Workbook": biff([(0x0809, struct.pack("<HHHHII", 0x0600, 5, 0, 0, 0, 0)),
                                                 (0x002F, struct.pack("<HHH", 1, 1, 1) + b"\0" * 48),
                                                 (0x000A, b"")])}))
    with open(join("document.xls"), "wb") as f:
        f.write(compound_file({"WordDocument": b"\0" * 5000}))
    number = (0x0203, struct.pack("<HHHd", 0, 0, 15, 1.0))
    with open(join("declared-huge.xls"), "wb") as f:
        f.write(compound_file({"Workbook": xls_stream([(0x0200, struct.pack("<IIHHH", 0, 65536, 0, 256, 0)),
                                                       number])}))
    with open(join("rows-out-of-range.xls"), "wb") as f:
        f.write(compound_file({"Workbook": xls_stream([(0x0200, struct.pack("<IIHHH", 0, 0xFFFFFFFF, 0, 256, 0)),
                                                       number])}))
    with open(join("cut.xls"), "wb") as f:
        f.write(compound_file({"Workbook": b"\x09\x08" + b"\0" * 5000})[:1500])


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    if len(sys.argv) > 2 and sys.argv[2] == "bad":
        write_bad(out)
        return
    write_openpyxl(os.path.join(out, "openpyxl.xlsx"))
    write_openpyxl(os.path.join(out, "openpyxl-1904.xlsx"), date1904=True)
    write_xlsxwriter(os.path.join(out, "xlsxwriter.xlsx"))
    write_xlsxwriter(os.path.join(out, "xlsxwriter-inline.xlsx"), constant_memory=True)
    write_xlsxwriter(os.path.join(out, "xlsxwriter-1904.xlsx"), date1904=True)
    write_xlwt(os.path.join(out, "xlwt.xls"))
    write_ods(os.path.join(out, "handwritten.ods"))


if __name__ == "__main__":
    main()
