#!/usr/bin/env bash
# The Windows DLL's export table, read with objdump -p: exactly the names of
# the module-definition file with its ordinals, and the thirteen fp_MIDI_*
# slots one pointer apart in export order (one table a host may read as an
# array). The ELF build checks the same with nm -D (tests/api/exports_test.cpp).
#   check_pe_exports.sh DLL DEF_FILE [OBJDUMP]
# Exit 77 (a skip) when there is no objdump that reads PE.
set -euo pipefail
dll=$1 def=$2 objdump=${3:-x86_64-w64-mingw32-objdump}
if ! command -v "$objdump" >/dev/null; then
  echo "SKIP: $objdump not found (apt-get install binutils-mingw-w64-x86-64)"
  exit 77
fi
table=$("$objdump" -p "$dll")

# ordinal -> name from the DLL, and from the .def file.
actual=$(awk '/^\[Ordinal\/Name Pointer\] Table/ {on = 1; next}
              on && /^\t\[/ {gsub(/[\[\]]/, " "); print $1 + base, $2; next}
              on {on = 0}
              /Ordinal Base/ {base = $NF}' <<<"$table" | sort -n)
expected=$(awk '/^ *(MIDI_|fp_MIDI_)/ {sub(/@/, "", $2); print $2, $1}' "$def" | sort -n)
if [ "$actual" != "$expected" ]; then
  echo "FAIL: the exports differ from $def"
  diff <(echo "$expected") <(echo "$actual") || true
  exit 1
fi
count=$(wc -l <<<"$actual")
[ "$count" -eq 26 ] || { echo "FAIL: $count exports, not 26"; exit 1; }

# ordinal -> RVA, then the slots in export order.
rvas=$(awk '/^Export Address Table -- Ordinal Base/ {on = 1; next}
            on && /^\t\[/ {gsub(/[\[\]]/, " "); print $3, $4; next}
            on {on = 0}' <<<"$table")
pointer=8
case "$("$objdump" -f "$dll")" in *pei-i386*) pointer=4 ;; esac
previous=""
for f in Load Unload Play Stop Pause Resume SetVolume GetVolume GetDuration GetPosition \
         GetStatus GetInfo GetWaveOut; do
  ordinal=$(awk -v n="fp_MIDI_$f" '$2 == n {print $1}' <<<"$actual")
  rva=$(awk -v o="$ordinal" '$1 == o {print $2}' <<<"$rvas")
  if [ -n "$previous" ] && [ $((0x$rva - 0x$previous)) -ne $pointer ]; then
    echo "FAIL: fp_MIDI_$f at RVA $rva is not $pointer bytes after the slot before it ($previous)"
    exit 1
  fi
  previous=$rva
done
echo "OK: $count exports with the ordinals of $(basename "$def"); slots consecutive"
