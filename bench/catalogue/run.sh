#!/usr/bin/env bash
# Fetching the whole catalogue through the data set, next to isql-fb running the same select
# with its output discarded. Makes a 100,000-product database once (BENCH_PRODUCTS to change).
set -euo pipefail
cd "$(dirname "$0")/../.."
bash tools/build.sh normal zentra-mkdb bench-catalogue-fetch >/dev/null
n=${BENCH_PRODUCTS:-100000}
mkdir -p build/bench
db=build/bench/big$n.fdb
if [ ! -f "$db" ]; then
  echo "making $db (once)..."
  ./build/bin/zentra-mkdb --big "$n" "$db" >/dev/null
fi
sql=build/bench/all-products.sql
./build/bin/bench-catalogue-fetch "$db" --print-sql > "$sql"

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
isql_times=()
for i in 1 2 3; do
  s=$(date +%s.%N)
  isql-fb -q -ch UTF8 "$db" -i "$sql" > /dev/null
  e=$(date +%s.%N)
  isql_times+=("$(echo "$e - $s" | bc -l)")
done
isql=$(printf '%s\n' "${isql_times[@]}" | median)
read -r ours rows < <(./build/bin/bench-catalogue-fetch "$db" --runs 3)
printf 'products fetched: %s\n' "$rows"
printf 'data set: %.3f s   isql-fb: %.3f s   ratio: %.2f (goal <= 1.5)\n' "$ours" "$isql" "$(echo "$ours / $isql" | bc -l)"
