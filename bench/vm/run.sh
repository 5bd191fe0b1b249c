#!/usr/bin/env bash
# Report script machine against Lua 5.4: the same algorithm in both languages, each timed inside
# its own process (median of RUNS runs), printed as the ratio ours / Lua.
set -euo pipefail
cd "$(dirname "$0")/../.."
RUNS=${RUNS:-5}
if ! command -v lua5.4 >/dev/null; then
  if [ "$(id -u)" = 0 ]; then apt-get install -y lua5.4 >/dev/null; else sudo apt-get install -y lua5.4 >/dev/null; fi
fi
bash tools/build.sh normal kelvo_vm_bench >/dev/null
bench=build/bin/kelvo_vm_bench
here=bench/vm
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

median() { sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
lua_time() { for _ in $(seq "$RUNS"); do lua5.4 "$1"; done | median; }

# 10,000-line generated programs for the compile case
/usr/bin/env awk 'BEGIN {
  print "var x : integer;"
  for (p = 0; p < 1000; p++) {
    print "procedure P" p ";"
    print "begin"
    for (k = 0; k < 7; k++) print "  x := x + " k " * 2;"
    print "end;"
  }
  print "procedure Main; begin x := 0 end;"
}' > "$work/compile.pas"
/usr/bin/env awk 'BEGIN {
  print "local t = os.clock()"
  print "local src = {\"x = 0\"}"
  print "for p = 0, 999 do"
  print "  src[#src + 1] = \"function P\" .. p .. \"()\""
  print "  src[#src + 1] = \"\""
  print "  for k = 0, 6 do src[#src + 1] = \"  x = x + \" .. k .. \" * 2\" end"
  print "  src[#src + 1] = \"end\""
  print "end"
  print "local text = table.concat(src, \"\\n\")"
  print "t = os.clock()"
  print "assert(load(text))"
  print "print(os.clock() - t)"
}' > "$work/compile.lua"

printf '%-12s %12s %12s %8s\n' case "ours (s)" "lua (s)" ratio
for name in for_sum calls strings sort float_while events compile; do
  if [ "$name" = compile ]; then
    ours=$("$bench" "$work/compile.pas" --compile --runs "$RUNS")
    lua=$(lua_time "$work/compile.lua")
  else
    ours=$("$bench" "$here/$name.pas" --runs "$RUNS")
    lua=$(lua_time "$here/$name.lua")
  fi
  ratio=$(awk -v a="$ours" -v b="$lua" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "n/a" }')
  printf '%-12s %12s %12s %8s\n' "$name" "$ours" "$lua" "$ratio"
  if [ "$name" = events ]; then
    awk -v a="$ours" 'BEGIN { printf "%-12s %.0f ns per SendEvent\n", "", a * 1e9 / 1000000 }'
  fi
  if [ "$name" = compile ]; then
    awk -v a="$ours" 'BEGIN { printf "%-12s %.1f ms for 10,000 lines (with the library)\n", "", a * 1000 }'
  fi
done
