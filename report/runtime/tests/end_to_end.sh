#!/usr/bin/env bash
# A report script reads the demo catalogue through Runtime.lib and the driver library, with both
# SQL statement forms, Cyrillic parameters and NULLs, and its events are compared line by line.
# Usage: end_to_end.sh KELVO_SCRIPT LIBDIR TEMPLATE_DB
set -euo pipefail
tool=$1 libdir=$2 template=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$template" "$work/demo.fdb"
cat > "$work/report.pas" <<PAS
var n, total : integer; name, pic, prefix, words : pchar; price : double;
procedure Main;
begin
  prefix := 'Ёмкость';
  n := 0;
  FOR CONNECT('Morvane.dll', 'DBName=$work/demo.fdb,user_name=SYSDBA,password=masterkey')
    SELECT FIRST 2 FNAME, FPRICE, FPICTURE FROM TPRODUCTS WHERE FNAME STARTING WITH :prefix ORDER BY FID
    INTO :name, :price, :pic DO
  begin
    SendEvent('LINE', name, price, pic);
    n := n + 1;
  end;
  EXECSQL CONNECT('Morvane.dll', 'DBName=$work/demo.fdb,user_name=SYSDBA,password=masterkey')
    SELECT COUNT(*) FROM TPRODUCTS WHERE FNAME STARTING WITH :prefix
    SQLRETURNS :total ENDSQL;
  words := IntToText(total);
  SendEvent('TOTAL', n, total, words);
end;
PAS
out=$("$tool" run "$work/report.pas" --libdir "$libdir")
expected_total=$(isql-fb -q -ch UTF8 "$work/demo.fdb" <<'SQL' | awk 'NF==1 && $1 ~ /^[0-9]+$/ {print $1}'
SELECT COUNT(*) FROM TPRODUCTS WHERE FNAME STARTING WITH 'Ёмкость';
SQL
)
first_two=$(isql-fb -q -ch UTF8 "$work/demo.fdb" <<'SQL' | grep 'Ёмкость' | sed 's/  *$//'
SELECT FIRST 2 FNAME FROM TPRODUCTS WHERE FNAME STARTING WITH 'Ёмкость' ORDER BY FID;
SQL
)
lines=$(printf '%s\n' "$out" | grep -c '^LINE NAME=Ёмкость ' || true)
if [ "$lines" != 2 ]; then echo "expected 2 LINE events with Cyrillic names, got:"; echo "$out"; exit 1; fi
while read -r want; do
  printf '%s\n' "$out" | grep -q "^LINE NAME=$want PRICE=[0-9]*,[0-9]* PIC=$" || { echo "missing $want (NULL picture must read as empty):"; echo "$out"; exit 1; }
done <<< "$first_two"
printf '%s\n' "$out" | grep -q "^TOTAL N=2 TOTAL=$expected_total WORDS=" || { echo "bad TOTAL (want $expected_total):"; echo "$out"; exit 1; }
echo "$out"
