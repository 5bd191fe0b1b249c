#!/usr/bin/env bash
# External calls against Lua 5.4's C-function calls: a script calls ExtStrLen of our test library
# (KelvoTestExt.lib, a strlen) 10^6 times; Lua calls string.len 10^6 times. Both are timed inside
# their own process (CPU time, median of RUNS runs). The same loops without the call give each
# side's loop cost, so the second ratio compares the calls alone.
set -euo pipefail
cd "$(dirname "$0")/../.."
RUNS=${RUNS:-7}
if ! command -v lua5.4 >/dev/null; then
  if [ "$(id -u)" = 0 ]; then apt-get install -y lua5.4 >/dev/null; else sudo apt-get install -y lua5.4 >/dev/null; fi
fi
bash tools/build.sh normal kelvo_vm_bench kelvo_test_extlib >/dev/null
bench=build/bin/kelvo_vm_bench  # loads libraries from its own folder, where KelvoTestExt.lib is
here=bench/vmcall

median() { sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
lua_time() { for _ in $(seq "$RUNS"); do lua5.4 "$1"; done | median; }

ours_call=$("$bench" "$here/strlen.pas" --runs "$RUNS")
ours_loop=$("$bench" "$here/loop.pas" --runs "$RUNS")
lua_call=$(lua_time "$here/strlen.lua")
lua_loop=$(lua_time "$here/loop.lua")

awk -v oc="$ours_call" -v ol="$ours_loop" -v lc="$lua_call" -v ll="$lua_loop" 'BEGIN {
  printf "%-28s %10s %10s %8s\n", "10^6 iterations", "ours (s)", "lua (s)", "ratio"
  printf "%-28s %10.4f %10.4f %8.2f\n", "loop with the call", oc, lc, oc / lc
  printf "%-28s %10.4f %10.4f\n", "the same loop without it", ol, ll
  nc = oc - ol; nl = lc - ll
  if (nl > 0) r = sprintf("%.2f", nc / nl); else r = "n/a"
  printf "%-28s %10.0f %10.0f %8s\n", "ns per call (net of loop)", nc * 1e3, nl * 1e3, r
  printf "goal: the external call no more than 3x Lua'"'"'s C-function call\n"
}'
