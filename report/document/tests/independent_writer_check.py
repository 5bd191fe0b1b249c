#!/usr/bin/python3
"""Writes ".sf" (3.0 and 1.7) and ".rpt" (current and older) files straight from the byte
tables, with no code shared with the C++ writers, and checks that `kelvo-sf dump` reads them
as written. Then checks the documented JSON examples: `build` then `dump` gives the source
back, and dump -> build of every file gives the same bytes (load/save is byte-stable).

usage: independent_writer_check.py KELVO_SF EXAMPLES_DIR
"""
import json
import os
import struct
import subprocess
import sys
import tempfile

KSF = sys.argv[1]
EXAMPLES = sys.argv[2]
failures = []


def check(cond, what):
    if not cond:
        failures.append(what)
        print("FAIL:", what)


def cp(s):
    return s.encode("cp1251")


def short(b):
    return struct.pack("<H", len(b)) + b


def long_(b):
    return struct.pack("<i", len(b)) + b


def fmt(fill=0xFFFFFF, font=0, size=9, style=0, fcolor=0, h=0, v=0, frames=0, frcolor=0,
        opts=0, angle=0, data=b""):
    head = struct.pack("<BIhhBIBBIIBh", 1 if data else 0, fill, font, size, style, fcolor, h, v,
                       frames, frcolor, opts, angle)
    assert len(head) == 27
    return head + (short(data) if data else b"")


def page(paper=7, orient=0, scale=100.0, l=2.0, t=2.5, r=2.0, b=2.5):
    return struct.pack("<iidddd" + "d", paper, orient, scale, l, t, r, b)


def grid30():
    out = short(b"KelvoGRID") + struct.pack("<d", 3.0)
    out += short(cp("Стр. &p")) + short(cp("Итого"))
    out += struct.pack("<i", 2) + short(b"ARIAL") + short(b"TIMES NEW ROMAN")
    out += struct.pack("<i", 2) + fmt() + fmt(fill=0x00FFFF, font=1, size=12, style=1,
                                              frames=0x01010101, data=cp("Дата=dd.mm.yyyy"))
    out += struct.pack("<i", 1) + fmt()
    out += struct.pack("<i", 1) + fmt()
    out += struct.pack("<i", 1)
    out += struct.pack("<i", 3) + struct.pack("<4H", 0, 100, 0, 1)  # last column 3
    out += struct.pack("<i", 2) + struct.pack("<3H", 0, 30, 0)      # last row 2
    cells = b""
    cells += struct.pack("<BiHH", 1 | 2 | 4, 1, 0, 0) + short(cp("Заголовок")) + struct.pack("<HH", 2, 1)
    cells += struct.pack("<BHH", 2 | 8, 3, 0) + short(b"=A1") + struct.pack("<B", 5)
    cells += struct.pack("<BHH", 2, 0, 2) + short(cp("Подвал"))
    out += struct.pack("<i", 3) + cells
    out += page(paper=9, orient=1, scale=80.0)
    out += struct.pack("<i", 1) + struct.pack("<ii", 0, 2) + bytes([0, 1]) + struct.pack("<i", 1) + struct.pack("<ii", 0, 0)
    out += struct.pack("<i", 1) + struct.pack("<4H", 0, 0, 0, 2)
    out += struct.pack("<i", 1) + struct.pack("<H", 2)
    bmp = b"BM" + struct.pack("<IHHI", 14 + 40 + 4, 0, 0, 54) + struct.pack(
        "<iiiHHIIiiII", 40, 1, 1, 1, 24, 0, 4, 0, 0, 0, 0) + b"\x00\x00\xff\x00"
    out += struct.pack("<i", 1) + struct.pack("<BiihiiB", 1, 5, 6, 0, 20, 30, 1) + bmp
    return out, bmp


def grid17():
    out = long_(b"FG1.7#RMX#Kelvo")
    out += struct.pack("<i", 0) + struct.pack("<H", 90)
    out += struct.pack("<i", 1) + struct.pack("<2H", 0, 25)
    out += struct.pack("<i", 1) + long_(b"Courier New")

    def cell(col, row, join, text=b"", data=b"", group=0):
        return struct.pack("<HHBBIBBBBIIIBBbHHB", col, row, 10, 2, 0, 1, 2, join, 0, 0xCCCCCC,
                           0xFF0000, 0, group, 0, 0, len(text), len(data), 0) + text + data
    cells = [cell(0, 0, 2, cp("Объединено"), b"0.00", 1), cell(1, 0, 1), cell(0, 1, 0, b"x")]
    out += struct.pack("<i", len(cells)) + b"".join(cells)
    out += page()
    out += struct.pack("<i", 0) + struct.pack("<i", 0) + struct.pack("<i", 0)
    out += long_(cp("Верх")) + long_(b"")
    return out


def section(name, size, index):
    n = cp(name)
    return struct.pack("<B", len(n)) + n + b"\0" * (255 - len(n)) + struct.pack("<ii", size, index)


def report(form, older=False):
    magic = b"PD#RMX#Kelvo" if older else b"Kelvo_REPORT(4.2)"
    params = cp("Название=Счёт\r\n")
    script = b""
    dialog = cp("Форма\r\n")
    out = struct.pack("<i", len(magic)) + magic
    out += section("Параметы документа", len(params), 0) + params
    out += section("Скрипт", 0, 1)
    out += section("Диалоговое окно", len(dialog), 2) + dialog
    out += section("Группы", 1, 3)
    out += long_(b"EVENT_NAME=ROW\r\n") + long_(cp("Строка"))
    if older:
        out += struct.pack("<i", 1) + struct.pack("<iiii", 0, 0, 2, 1)
    else:
        out += struct.pack("<iiii", 1, 1, 3, 2)
    out += section("Печатная форма", len(form), 4) + form
    return out


def run(*args):
    r = subprocess.run([KSF, *args], capture_output=True)
    if r.returncode != 0:
        raise RuntimeError("kelvo-sf %s failed: %s" % (" ".join(args), r.stderr.decode()))
    return r.stdout


def dump(path):
    return json.loads(run("dump", path))


def main():
    tmp = tempfile.mkdtemp(prefix="kelvo-indep-")

    def write(name, data):
        p = os.path.join(tmp, name)
        with open(p, "wb") as f:
            f.write(data)
        return p

    def same_bytes_after_dump_and_build(path, ext):
        src = write("dumped.json", run("dump", path))
        out = os.path.join(tmp, "rebuilt" + ext)
        run("build", src, out)
        with open(path, "rb") as a, open(out, "rb") as b:
            check(a.read() == b.read(), "byte-stable load/save of " + os.path.basename(path))

    form, bmp = grid30()
    p = write("indep30.sf", form)
    j = dump(p)
    check(j["topTitle"] == "Стр. &p" and j["bottomTitle"] == "Итого", "3.0 titles")
    check(j["fonts"] == ["ARIAL", "TIMES NEW ROMAN"], "3.0 fonts")
    check(len(j["formats"]) == 2 and j["formats"][1]["dataFormat"] == "Дата=dd.mm.yyyy"
          and j["formats"][1]["fontIndex"] == 1 and j["formats"][1]["fillColor"] == 0x00FFFF,
          "3.0 formats")
    check(j["colWidths"] == [0, 100, 0, 1] and j["rowHeights"] == [0, 30, 0], "3.0 sizes")
    cells = {(c["col"], c["row"]): c for c in j["cells"]}
    check(cells[(0, 0)]["text"] == "Заголовок" and cells[(0, 0)]["format"] == 1
          and cells[(0, 0)]["join"] == [2, 1], "3.0 joined cell")
    check(cells[(3, 0)]["text"] == "=A1" and cells[(3, 0)]["group"] == 5, "3.0 group cell")
    check(cells[(0, 2)]["text"] == "Подвал", "3.0 plain cell")
    check(len(j["cells"]) == 3, "3.0 placeholders are not cells")
    check(j["joins"] == [{"col": 0, "row": 0, "lastCol": 2, "lastRow": 1}], "3.0 joins")
    check(j["pageSettings"]["paperIndex"] == 9 and j["pageSettings"]["orientation"] == 1
          and j["pageSettings"]["scale"] == 80.0, "3.0 page settings")
    check(j["headerGroups"] == [{"firstGroup": 0, "groups": [0, 1], "cells": [[0, 0]]}], "3.0 headers")
    check(j["fixedCols"] == [{"firstCol": 0, "lastCol": 0, "firstRow": 0, "lastRow": 2}], "3.0 fixed")
    check(j["pageBreaks"] == [2], "3.0 page breaks")
    check(len(j["objects"]) == 1 and j["objects"][0]["width"] == 30
          and j["objects"][0]["pictureKind"] == 1, "3.0 object")
    same_bytes_after_dump_and_build(p, ".sf")

    p = write("indep17.sf", grid17())
    j = dump(p)
    check(j["fonts"] == ["ARIAL", "COURIER NEW"], "1.7 fonts appended to the grid's list")
    cells = {(c["col"], c["row"]): c for c in j["cells"]}
    m = cells.get((0, 0), {})
    check(m.get("text") == "Объединено" and m.get("join") == [1, 0] and m.get("group") == 1,
          "1.7 joined cell")
    f = j["formats"][m.get("format", 0)]
    check(f["fontIndex"] == 1 and f["fontSize"] == 10 and f["fontStyle"] == 2
          and f["vertAlign"] == 1 and f["horzAlign"] == 2 and f["fillColor"] == 0xCCCCCC
          and f["fontColor"] == 0xFF0000 and f["dataFormat"] == "0.00", "1.7 attributes")
    check(cells.get((0, 1), {}).get("text") == "x" and len(j["cells"]) == 2, "1.7 cells")
    check(j["colWidths"] == [90] and j["rowHeights"] == [0, 25], "1.7 sizes")
    check(j["topTitle"] == "Верх", "1.7 titles")

    for older in (False, True):
        p = write("indep%s.rpt" % ("-older" if older else ""), report(form, older))
        j = dump(p)
        what = "older report" if older else "report"
        check(j["parameters"] == "Название=Счёт\r\n" and j["script"] == ""
              and j["dialog"] == "Форма\r\n", what + " texts")
        check(j["groups"] == [{"name": "Строка", "parameters": "EVENT_NAME=ROW\r\n",
                               "area": [1, 1, 3, 2]}], what + " groups")
        check(j["printForm"]["cells"][0]["text"] == "Заголовок", what + " print form")
        if not older:
            same_bytes_after_dump_and_build(p, ".rpt")

    for name in sorted(os.listdir(EXAMPLES)):
        if not name.endswith(".json"):
            continue
        src = os.path.join(EXAMPLES, name)
        with open(src, encoding="utf-8") as f:
            source = json.load(f)
        ext = ".rpt" if source.get("type") == "report" else ".sf"
        out = os.path.join(tmp, name[:-5] + ext)
        run("build", src, out)
        check(dump(out) == source, "example %s: dump of build gives the source" % name)
        same_bytes_after_dump_and_build(out, ext)

    # Sources that cannot become a file are refused with a message, and nothing is written.
    bad_sources = [
        ("negative join", {"type": "grid", "cells": [{"col": 0, "row": 0, "join": [-1, 0]}]}, "join"),
        ("character outside cp1251", {"type": "grid", "cells": [{"col": 0, "row": 0, "text": "日本"}]}, "text"),
        ("unknown font index", {"type": "grid", "formats": [{"fontIndex": 3}]}, "шрифт"),
        ("format index past the list", {"type": "grid", "cells": [{"col": 0, "row": 0, "format": 2}]}, "формат"),
        ("overlapping joins", {"type": "grid", "cells": [{"col": 0, "row": 0, "join": [1, 1]},
                                                       {"col": 1, "row": 1, "text": "x"}]}, "объединения"),
    ]
    for what, source, fragment in bad_sources:
        src = write("bad.json", json.dumps(source, ensure_ascii=False).encode("utf-8"))
        out = os.path.join(tmp, "bad.sf")
        r = subprocess.run([KSF, "build", src, out], capture_output=True)
        err = r.stderr.decode("utf-8", "replace")
        check(r.returncode == 1 and fragment in err and not os.path.exists(out),
              "bad source refused: %s (%s)" % (what, err.strip()))

    if failures:
        print("%d check(s) failed" % len(failures))
        sys.exit(1)
    print("all independent-writer checks passed")


if __name__ == "__main__":
    main()
