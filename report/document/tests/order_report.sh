#!/usr/bin/env bash
# The order print-out end to end: an order made from the basket of a demo catalogue, built into
# a print grid by kelvo-report through Runtime.lib and the driver library, then read back.
# Usage: order_report.sh KELVO_REPORT KELVO_SF LIBDIR ORDER_RPT TEMPLATE_DB
set -euo pipefail
report=$1 sf=$2 libdir=$3 rpt=$4 template=$5
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$template" "$work/Zentra.fdb"
isql-fb -q -ch UTF8 "$work/Zentra.fdb" > /dev/null <<'SQL'
UPDATE TPRODUCTS SET FQTY = 2, FAMOUNT = 2 * FPRICE WHERE FID IN (1, 2, 3);
EXECUTE PROCEDURE NEW_ORDER('2026-12-11', 'Заказ на поставку продукции', 'K-1', 0, 0);
COMMIT;
SQL
"$report" build "$rpt" --libdir "$libdir" \
  --var 'defDBDriver:PCHAR=Morvane.dll' \
  --var "defConnection:PCHAR=DBName=$work/Zentra.fdb,user_name=SYSDBA,password=masterkey" \
  --var IDDOC:INTEGER=1 --var 'TO_ORG:PCHAR=ООО «Ромашка»' -o "$work/order.sf"
"$sf" dump "$work/order.sf" > "$work/order.json"
/usr/bin/python3 - "$work/order.json" "$work/Zentra.fdb" <<'PY'
import json, subprocess, sys
doc = json.load(open(sys.argv[1], encoding="utf-8"))
cells = doc.get("cells") or doc["grid"]["cells"]
texts = [c["text"] for c in cells]
names = subprocess.run(["isql-fb", "-q", "-ch", "UTF8", sys.argv[2]], input=
    "SET HEADING OFF; SELECT FNAME FROM TORDERPRODUCTS WHERE FIDORDER = 1 ORDER BY FID;",
    capture_output=True, text=True, encoding="utf-8").stdout.split("\n")
names = [n.strip() for n in names if n.strip()]
assert len(names) == 3, names
for n in names:
    assert n in texts, (n, texts)
assert "Заказ № 1 от 11.12.2026" in texts, texts
assert any("ООО «Ромашка»" in t for t in texts), texts
total = sum(float(t.replace(",", ".")) for c, t in ((c, c["text"]) for c in cells)
            if c["col"] == 5 and t and t[0].isdigit() and c["row"] < max(x["row"] for x in cells))
assert f"{total:.2f}".replace(".", ",") in texts, (total, texts)
print("order report: 3 lines, total", f"{total:.2f}")
PY
