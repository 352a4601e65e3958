#!/usr/bin/env bash
# Times `cartscope db import` on generated lists of invented games (default
# 20,000 each, a Logiqx and an OfflineList dat) and shows the time and peak
# memory against the size of the list. Not a test: run it by hand on a quiet
# machine, against a Release build:
#   cli/bench/import_bench.sh build/linux/cli/cartscope [GAMES]
set -euo pipefail

cartscope=${1:?usage: import_bench.sh CARTSCOPE [GAMES]}
games=${2:-20000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Four letters for each number: a game code of its own.
awk -v games="$games" '
function code(i,   s, k) { s = ""; for (k = 0; k < 4; k++) { s = sprintf("%c", 65 + i % 26) s; i = int(i / 26) } return s }
BEGIN {
    print "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
    print "<datafile>"
    print "\t<header><name>Generated</name><description>Invented games</description></header>"
    for (i = 0; i < games; i++) {
        c = code(i)
        name = sprintf("Invented Game %05d &amp; Friends (Europe) (En,Fr,De)", i)
        printf "\t<game name=\"%s\">\n\t\t<description>%s</description>\n", name, name
        printf "\t\t<rom name=\"%s.nds\" size=\"67108864\" crc=\"%08x\" md5=\"%032x\" sha1=\"%040x\" serial=\"NTR-%s-EUR\"/>\n\t</game>\n", name, i * 2654435761 % 4294967296, i, i, c
    }
    print "</datafile>"
}' >"$work/logiqx.dat"

awk -v games="$games" '
function code(i,   s, k) { s = ""; for (k = 0; k < 4; k++) { s = sprintf("%c", 65 + i % 26) s; i = int(i / 26) } return s }
BEGIN {
    print "<?xml version=\"1.0\"?>"
    print "<dat>\n\t<configuration><datName>Generated</datName></configuration>\n\t<games>"
    for (i = 0; i < games; i++) {
        c = code(i)
        printf "\t\t<game>\n\t\t\t<imageNumber>%d</imageNumber>\n\t\t\t<releaseNumber>%d</releaseNumber>\n", i + 1, i + 1
        printf "\t\t\t<title>Invented Game %05d</title>\n\t\t\t<saveType>Eeprom - 4 kbit</saveType>\n\t\t\t<romSize>67108864</romSize>\n", i
        printf "\t\t\t<publisher>Velmora</publisher>\n\t\t\t<location>%d</location>\n\t\t\t<sourceRom>Tidepool</sourceRom>\n", i % 8
        printf "\t\t\t<language>67</language>\n\t\t\t<files><romCRC extension=\".nds\">%08X</romCRC></files>\n", i * 2654435761 % 4294967296
        printf "\t\t\t<im1CRC>00000000</im1CRC>\n\t\t\t<im2CRC>00000000</im2CRC>\n\t\t\t<comment>generated</comment>\n"
        printf "\t\t\t<duplicateID>0</duplicateID>\n\t\t\t<serial>NTR-%s-EUR</serial>\n\t\t</game>\n", c
    }
    print "\t</games>\n</dat>"
}' >"$work/offline.xml"

run() {
    local label=$1
    shift
    local size
    size=$(cat "$@" | wc -c)
    /usr/bin/time -v -o "$work/time" "$cartscope" db import "$@" -o "$work/nds-rom.dat" --version 1 >"$work/out"
    local seconds rss
    seconds=$(awk -F': ' '/Elapsed \(wall clock\)/ { n = split($2, t, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + t[i]; print s }' "$work/time")
    rss=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$work/time")
    printf '%-22s %9.1f KiB of lists  %6.3f s  peak %7d KiB (%.1f x the lists)\n' "$label" "$(echo "$size / 1024" | bc -l)" \
        "$seconds" "$rss" "$(echo "$rss * 1024 / $size" | bc -l)"
    sed 's/^/    /' "$work/out"
}

echo "cartscope db import, $games games a list:"
run "Logiqx" "$work/logiqx.dat"
run "OfflineList" "$work/offline.xml"
run "both, merged" "$work/logiqx.dat" "$work/offline.xml"
# What the program takes without a list to read: the floor of its peak memory.
/usr/bin/time -v -o "$work/time" "$cartscope" --version >/dev/null
echo "cartscope --version:   peak $(awk -F': ' '/Maximum resident set size/ { print $2 }' "$work/time") KiB"
