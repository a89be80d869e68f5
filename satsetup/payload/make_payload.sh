#!/bin/sh
# Builds satsetup's payload from a staging install of the product:
#   data.7z       the installed tree (7z, BCJ + LZMA, solid)
#   settings.7z   the default satclock.ini, with CR LF line ends
#   uninstall.txt the tree's files in archive order, then its folders deepest
#                 first (the reverse of the archive's folder order), LF ends
# Usage: make_payload.sh 7ZA STAGE_DIR SETTINGS_INI OUT_DIR
set -eu
tool=$1 stage=$2 ini=$3 out=$4
mkdir -p "$out"
rm -f "$out/data.7z" "$out/settings.7z" "$out/uninstall.txt" "$out/satclock.ini"

(cd "$stage" && "$tool" a -t7z -m0=BCJ -m1=LZMA:d=24 -ms=on -mx=9 "$out/data.7z" .) >/dev/null

sed 's/$/\r/' "$ini" >"$out/satclock.ini"
(cd "$out" && "$tool" a -t7z -mx=9 settings.7z satclock.ini) >/dev/null
rm -f "$out/satclock.ini"

# -slt lists one block per entry: "Path = ..." then "Attributes = D..." for a
# folder; the blocks start after the line of dashes.
"$tool" l -slt "$out/data.7z" | awk '
  /^----------/ { listing = 1; next }
  !listing { next }
  /^Path = / { path = substr($0, 8); next }
  /^Attributes = / {
    if (substr($0, 14, 1) == "D") folders[++nfolders] = path
    else print path
  }
  END { for (i = nfolders; i >= 1; i--) print folders[i] }
' >"$out/uninstall.txt"
test -s "$out/uninstall.txt"
