#!/usr/bin/env bash
# Formula look-ups end to end: the attributes report, whose print form reads the catalogue with
# =^GET_ATTRPRODUCT(...) formulas (one calculated after the build), built by kelvo-report on a
# copy of the demo database through Runtime.lib and the driver library, then read back and
# compared with what isql-fb reads from the same database.
# Usage: attributes_report.sh KELVO_REPORT KELVO_SF LIBDIR ATTRIBUTES_RPT TEMPLATE_DB
set -euo pipefail
report=$1 sf=$2 libdir=$3 rpt=$4 template=$5
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$template" "$work/Zentra.fdb"
"$report" build "$rpt" --libdir "$libdir" \
  --var 'defDBDriver:PCHAR=Morvane.dll' \
  --var "defConnection:PCHAR=DBName=$work/Zentra.fdb,user_name=SYSDBA,password=masterkey" \
  --var FIRSTID:INTEGER=2 --var LINES:INTEGER=3 -o "$work/attributes.sf"
"$sf" dump "$work/attributes.sf" > "$work/attributes.json"
/usr/bin/python3 - "$work/attributes.json" "$work/Zentra.fdb" <<'PY'
import json, subprocess, sys
doc = json.load(open(sys.argv[1], encoding="utf-8"))
cells = doc.get("cells") or doc["grid"]["cells"]
at = {(c["col"], c["row"]): c for c in cells}

def first_row(pid):
    out = subprocess.run(["isql-fb", "-q", "-ch", "UTF8", sys.argv[2]], input=
        "SET LIST ON; SELECT FIRST 1 FNAME, COALESCE(FVALUE, '<null>') AS V "
        f"FROM GET_ATTRPRODUCT({pid}, '', '');", capture_output=True, text=True,
        encoding="utf-8", check=True).stdout
    row = {}
    for line in out.splitlines():
        if line.strip():
            key, _, value = line.partition(" ")
            row[key] = value.strip()
    return row

assert at[(1, 0)]["text"] == "Свойство", at[(1, 0)]
for i, pid in enumerate((2, 3, 4)):
    r = 1 + i
    expected = first_row(pid)
    assert at[(0, r)]["text"] == str(pid), at[(0, r)]
    assert at[(1, r)]["text"] == expected["FNAME"], (at[(1, r)], expected)
    value = "" if expected["V"] == "<null>" else expected["V"]
    assert at[(2, r)]["text"] == value, (at[(2, r)], expected)
    assert at[(3, r)]["text"] == str(pid), at[(3, r)]
    for col in (1, 2, 3):
        assert not at[(col, r)]["text"].startswith("="), at[(col, r)]
print("attributes report: 3 products looked up by formulas")
PY
