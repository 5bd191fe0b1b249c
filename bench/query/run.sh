#!/usr/bin/env bash
# Reading a whole table through FOR CONNECT (Runtime.lib's Query family over Morvane.dll), next
# to isql-fb running the same select on the same file with its output discarded. Both use the
# embedded engine. A report script selects FID, FNAME and FPRICE of every product and sums the
# prices; it is timed inside kelvo_vm_bench (CPU and wall clock, median of RUNS runs; each run
# attaches, reads and detaches, the driver library stays loaded). isql-fb is timed as a whole
# process, median of RUNS runs; its start-up (attach and a one-row select) is measured the same
# way and shown, and the second ratio compares against isql-fb without it.
# Makes a 100,000-product database once (BENCH_PRODUCTS to change).
set -euo pipefail
cd "$(dirname "$0")/../.."
RUNS=${RUNS:-5}
bash tools/build.sh normal zentra-mkdb kelvo_vm_bench kelvo-script kelvo_runtime kelvo_morvane >/dev/null
n=${BENCH_PRODUCTS:-100000}
mkdir -p build/bench
db=$PWD/build/bench/big$n.fdb
if [ ! -f "$db" ]; then
  echo "making $db (once)..."
  ./build/bin/zentra-mkdb --big "$n" "$db" >/dev/null
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cat > "$work/all.pas" <<PAS
var n, id : integer; name : pchar; price, total : double;
procedure Main;
begin
  n := 0;
  total := 0;
  FOR CONNECT('Morvane.dll', 'DBName=$db,user_name=SYSDBA,password=masterkey')
    SELECT FID, FNAME, FPRICE FROM TPRODUCTS INTO :id, :name, :price DO
  begin
    total := total + price;
    n := n + 1;
  end;
  SendEvent('DONE', n, total);
end;
PAS
echo 'SELECT FID, FNAME, FPRICE FROM TPRODUCTS;' > "$work/all.sql"
echo 'SELECT 1 FROM RDB$DATABASE;' > "$work/one.sql"

# The script must have seen every row and the same sum as the engine, or the timing means nothing.
done_line=$(./build/bin/kelvo-script run "$work/all.pas" --libdir build/bin)
want=$(isql-fb -q "$db" <<'SQL' | awk 'NF==2 && $1 ~ /^[0-9]+$/ {print $1, $2}'
SELECT COUNT(*), SUM(FPRICE) FROM TPRODUCTS;
SQL
)
read -r want_n want_sum <<< "$want"
got_n=$(sed -n 's/^DONE N=\([0-9]*\) .*/\1/p' <<< "$done_line")
got_sum=$(sed -n 's/.* TOTAL=\([0-9,.-]*\).*/\1/p' <<< "$done_line" | tr , .)
if [ "$got_n" != "$want_n" ] || ! awk -v a="$got_sum" -v b="$want_sum" 'BEGIN {d = a - b; exit !(d < 0.005 && d > -0.005)}'; then
  echo "the script read something else than isql-fb: '$done_line', isql-fb: $want_n rows, sum $want_sum" >&2
  exit 1
fi

median() { sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
# Prints "wall cpu" (user + system) of one process run of isql-fb with SQL file $1.
isql_once() {
  local TIMEFORMAT='%R %U %S'
  { time isql-fb -q -ch WIN1251 "$db" -i "$1" > /dev/null; } 2>&1 | awk '{print $1, $2 + $3}'
}
isql_times() {
  local out; out=$(for _ in $(seq "$RUNS"); do isql_once "$1"; done)
  echo "$(awk '{print $1}' <<< "$out" | median) $(awk '{print $2}' <<< "$out" | median)"
}

read -r ours_cpu ours_wall < <(./build/bin/kelvo_vm_bench "$work/all.pas" --runs "$RUNS" --wall)
read -r isql_wall isql_cpu < <(isql_times "$work/all.sql")
read -r start_wall start_cpu < <(isql_times "$work/one.sql")

awk -v n="$want_n" -v ow="$ours_wall" -v oc="$ours_cpu" -v iw="$isql_wall" -v ic="$isql_cpu" \
    -v sw="$start_wall" -v sc="$start_cpu" 'BEGIN {
  printf "%d rows, 3 fields, median of '"$RUNS"' runs\n", n
  printf "%-34s %9s %9s\n", "", "wall (s)", "cpu (s)"
  printf "%-34s %9.3f %9.3f\n", "FOR CONNECT (in process)", ow, oc
  printf "%-34s %9.3f %9.3f\n", "isql-fb (whole process)", iw, ic
  printf "%-34s %9.3f %9.3f\n", "isql-fb start-up, one-row select", sw, sc
  printf "%-34s %9.2f %9.2f\n", "ratio ours / isql-fb", ow / iw, oc / ic
  if (iw - sw > 0 && ic - sc > 0)
    printf "%-34s %9.2f %9.2f\n", "ratio ours / isql-fb net of start", ow / (iw - sw), oc / (ic - sc)
  printf "goal: ours no more than 2x isql-fb\n"
}'
