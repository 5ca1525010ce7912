#!/usr/bin/env bash
# A real DAW's view of the built bundle: Ardour's VST3 scanner loads it,
# initialises the processor (so the engine host must start behind it) and
# writes what it found into its cache. The cache must list the plug-in as an
# instrument with two outputs and one MIDI input.
#
# Usage: ardour_scan_check.sh <bundle.vst3> <morvane-register> <product folder>
# (the product folder holds "Brevado" and "Morvane Engine.bundle"). Exits 77
# (skipped) when the scanner is not installed.
set -u
bundle=$1
register=$2
product=$3
scanner=/usr/lib/ardour7/ardour-vst3-scanner
if [ ! -x "$scanner" ]; then
  echo "skipped: $scanner is not installed (Debian package ardour)"
  exit 77
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/sxscan.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/config" "$work/cache" "$work/home"
export HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache"
export XDG_DATA_HOME="$work/home/.local/share" XDG_CONFIG_DIRS="$work/etc-xdg"
# The engine preferences, written by the install step's own command.
if ! "$register" "$product" > /dev/null; then
  echo "FAIL: $register could not write the preferences"
  exit 1
fi
export LD_LIBRARY_PATH=/usr/lib/ardour7${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}
if ! timeout 120 "$scanner" -f "$bundle"; then
  echo "FAIL: the scanner did not accept $bundle"
  exit 1
fi
shopt -s nullglob
caches=("$work/cache/ardour7/vst/"*.v3i)
if [ ${#caches[@]} -ne 1 ]; then
  echo "FAIL: expected one cache file under \$XDG_CACHE_HOME/ardour7/vst/, found ${#caches[@]}"
  exit 1
fi
cache=$(cat "${caches[0]}")
echo "$cache"
status=0
check() { # description pattern
  if ! grep -Eq "$2" <<<"$cache"; then
    echo "FAIL: $1"
    status=1
  fi
}
check "the plug-in is listed" '<VST3Info [^>]*name="sondrix MD"'
check "its category names an instrument" '<VST3Info [^>]*category="[^"]*Instrument'
check "two outputs" '<VST3Info [^>]*n_outputs="2"'
check "one MIDI input" '<VST3Info [^>]*n_midi_inputs="1"'
exit $status
