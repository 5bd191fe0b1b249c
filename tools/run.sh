#!/usr/bin/env bash
# README command 1: installs what is missing, builds, makes a demo program folder (demo/) with
# a demo catalogue "Zentra.fdb", shows what the catalogue holds and starts Zentra on it.
# Without a display Zentra runs offscreen (no window to see); Ctrl+C ends it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
bash tools/build.sh normal zentra-mkdb Zentra
mkdir -p demo
if [ ! -f demo/Zentra.fdb ]; then
  ./build/bin/zentra-mkdb --demo demo/Zentra.fdb
fi
echo "== demo/Zentra.fdb"
./build/bin/zentra-mkdb --info demo/Zentra.fdb
echo "== top-level groups and the first products of the \"Новинки\" folder"
isql-fb -q -ch UTF8 demo/Zentra.fdb <<'SQL'
SELECT FID, CAST(FNAME AS VARCHAR(30)) AS FNAME, FDIRTYPE, FBEGDATE, FENDDATE FROM TDIRECTORIES WHERE FPARENT = 0 AND FID <> 0 ORDER BY FORDER;
SELECT FIRST 10 CAST(FNUMBER AS VARCHAR(10)) AS FNUMBER, CAST(FNAME AS VARCHAR(32)) AS FNAME,
  FPRICE, CAST(DIRNAME AS VARCHAR(60)) AS DIRNAME, CAST(ATTR_1 AS VARCHAR(12)) AS ATTR_1 FROM GET_DIR_PRODUCTS('', -3, 1, 5, '');
SQL

echo "== starting Zentra on demo/"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display found: Zentra runs offscreen, without a visible window (Ctrl+C ends it)."
  echo "Run this command in a desktop session to use the program."
  export QT_QPA_PLATFORM=offscreen
fi
exec ./build/bin/Zentra --home demo
