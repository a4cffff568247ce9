#!/usr/bin/env bash
# Sound-quality comparison with FluidSynth:
#   bench/quality/compare.sh [BUILD_DIR] [OUT_DIR]
# renders five openttd-openmsx songs with the build's default instrument set
# and with FluidSynth (same SoundFont, same rate, reverb and chorus off), then
# reports per song the RMS level difference, the clipped samples of each, and
# a PNG of both renderings' envelopes and spectrograms (OUT_DIR, default
# BUILD_DIR/quality). Exit status 1 when a pocketmidi rendering clips or a
# song's level is more than 3 dB from the common offset.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../../build}" && pwd)
out=${2:-$build/quality}
sf2=${POCKETMIDI_SF2:-/usr/share/sounds/sf2/TimGM6mb.sf2}
songs=/usr/share/games/openttd/baseset/openmsx
rate=22050
# FluidSynth's master gain for every song (its default, 0.2, is quiet).
gain=${FLUIDSYNTH_GAIN:-0.5}
# The five songs by default; QUALITY_SONGS=all compares the whole set.
names=${QUALITY_SONGS:-tttheme2 be_sharp_bw_redfarn harp_harmony chemistry_lab wood_whistles}
if [ "$names" = all ]; then
  names=$(cd "$songs" && ls ./*.mid | sed 's|^\./||; s|\.mid$||' | tr '\n' ' ')
fi

for tool in fluidsynth /usr/bin/python3; do
  command -v "$tool" >/dev/null || { echo "compare: needs $tool (scripts/deps.sh lists the packages)" >&2; exit 2; }
done
[ -f "$build/soundset/zoltep" ] || { echo "compare: no default instrument set in $build/soundset" >&2; exit 2; }
mkdir -p "$out"
for name in $names; do
  "$build/pocketmidi" render "$songs/$name.mid" --rate $rate --bits 16 --channels 2 \
    -o "$out/$name.pocketmidi.wav" >/dev/null 2>&1
  fluidsynth -ni -q -F "$out/$name.fluidsynth.wav" -r $rate -R 0 -C 0 -g "$gain" \
    "$sf2" "$songs/$name.mid" >/dev/null 2>&1
done
/usr/bin/python3 "$here/compare.py" "$out" $names
