#!/usr/bin/env bash
# Tests of the ostrel command-line tool, one group per CTest case:
#   ostrel_tool_test.sh TOOL DATA_DIR CASE   (CASE: info errors convert json help)
# Counts are checked against the figures of data/README.md and against an
# awk count of the numbers and parentheses of each input line, which does not
# go through the library. Exit status 77 means skipped.
set -euo pipefail
tool=$1
data=$2
case=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

fail() {
  echo "FAIL: $*" >&2
  exit 1
}
# expect_eq WHAT ACTUAL EXPECTED
expect_eq() { [ "$2" = "$3" ] || fail "$1: got '$2', expected '$3'"; }
# summary_field NAME < text summary: the number after the label
summary_field() { awk -v k="$1" '$1 == k { print $2 }'; }

# Per input line: line number, coordinates (numbers / 2), and for polygons
# rings (an opening parenthesis directly before a number) and polys ("(("
# opens each polygon).
awk_counts() {
  awk '{ n = gsub(/-?[0-9.]+([eE][-+]?[0-9]+)?/, "&"); r = p = 0;
         if (/POLYGON/) { r = gsub(/\([-0-9.]/, "&"); p = gsub(/\(\(/, "&") }
         print NR "\t" n / 2 "\t" r "\t" p }' "$1"
}
# The same columns from the tool's tsv output.
tsv_counts() { awk -F'\t' 'NR > 1 { print $2 "\t" $9 "\t" $8 "\t" $7 }'; }
# Only the hash column of the tool's tsv output.
hashes() { "$tool" info --format tsv "$@" | awk -F'\t' 'NR > 1 { print $10 }'; }

case $case in
info)
  # Figures from data/README.md:
  # file values by-shape polys rings coordinates
  while read -r file values shapes polys rings coords; do
    out=$("$tool" info --geography --summary "$data/$file") || fail "$file: exit status $?"
    summary=$(tail -n 8 <<<"$out")
    expect_eq "$file values" "$(summary_field values <<<"$summary")" "$values"
    expect_eq "$file shapes" "$(awk '$1 == "values" { $1 = $2 = ""; print }' <<<"$summary" | xargs)" \
      "${shapes//_/ }"
    expect_eq "$file polys" "$(summary_field polys <<<"$summary")" "$polys"
    expect_eq "$file rings" "$(summary_field rings <<<"$summary")" "$rings"
    expect_eq "$file coordinates" "$(summary_field coordinates <<<"$summary")" "$coords"
    expect_eq "$file failures" "$(summary_field failures <<<"$summary")" 0
    # header + one row per value + summary
    expect_eq "$file rows" "$(wc -l <<<"$out")" $((1 + values + 8))
    expect_eq "$file geography rows" "$(grep -c '^Geography ' <<<"$out")" "$values"
  done <<'EOF'
countries.wkt 177 Polygon_148,_MultiPolygon_29 287 288 10643
countries50.wkt 241 Polygon_122,_MultiPolygon_119 1618 1629 99566
cities.wkt 243 Point_243 0 0 243
EOF
  # Per value, planar reading, against the awk count of the same line.
  for file in countries.wkt countries50.wkt cities.wkt; do
    "$tool" info --format tsv "$data/$file" | tsv_counts >tool.tsv
    awk_counts "$data/$file" >awk.tsv
    cmp -s tool.tsv awk.tsv || fail "$file per-line counts differ: $(diff tool.tsv awk.tsv | head -n 4)"
  done
  # Every kind of part (the data sets above have no lines): shape, points,
  # lines, polys, rings, coordinates, counted by hand from the text.
  while IFS='|' read -r text expected; do
    got=$("$tool" info --format tsv <<<"$text" | awk -F'\t' 'NR == 2 { print $4, $5, $6, $7, $8, $9 }')
    expect_eq "$text" "$got" "$(xargs <<<"$expected")"
  done <<'EOF'
POINT EMPTY|Point 0 0 0 0 0
LINESTRING(0 0, 1 1, 2 2)|LineString 0 1 0 0 3
MULTILINESTRING((0 0, 1 1), (2 2, 3 3, 4 4))|MultiLineString 0 2 0 0 5
MULTIPOINT((1 2), (3 4), 5 6)|MultiPoint 3 0 0 0 3
POLYGON((0 0, 10 0, 10 10, 0 10, 0 0), (1 1, 1 2, 2 2, 1 1))|Polygon 0 0 1 2 9
GEOMETRYCOLLECTION(POINT(1 2), MULTILINESTRING((0 0, 1 1), (2 2, 3 3)), MULTIPOLYGON(((0 0, 1 0, 1 1, 0 0)), ((5 5, 6 5, 6 6, 5 5))), LINESTRING(7 7, 8 8))|Mixed 1 3 2 2 15
EOF
  # --head limits the rows printed, not what is counted.
  out=$("$tool" info --head 3 --summary "$data/countries.wkt")
  expect_eq "head rows" "$(grep -c 'countries.wkt:' <<<"$out")" 3
  expect_eq "head summary" "$(summary_field values <<<"$out")" 177
  # Standard input, as "-" and as no file, reads like the file.
  expect_eq "stdin -" "$(hashes - <"$data/cities.wkt")" "$(hashes "$data/cities.wkt")"
  expect_eq "stdin" "$(hashes <"$data/cities.wkt")" "$(hashes "$data/cities.wkt")"
  # The forced kinds: plain text reads planar; --radians reads geographic.
  expect_eq "default kind" "$("$tool" info --format tsv <<<'POINT(1 2)' | cut -f3 | tail -n 1)" Geometry
  expect_eq "--radians kind" \
    "$("$tool" info --radians --format tsv <<<'POINT(1 1.5)' | cut -f3 | tail -n 1)" Geography
  ;;

errors)
  # Lines 1, 7 and 9 are good; 2, 4, 5, 6 and 8 are not; 3 is blank but for
  # a carriage return (skipped, still numbered); 9 ends in CRLF.
  printf '%s\n' 'POINT(1 2)' 'POLYGON((0 0, 1 0, 1 1, 0 1))' $'\r' 'POINT(1 2) trailing' \
    'POINT(0 95)' 'LINESTRING(0 0)' 'MULTIPOINT((1 2), (3 4))' 'POINT(1 x)' \
    $'LINESTRING(0 0, 1 1)\r' >mixed.wkt
  printf '%s\n' 'POINT(5 6)' >good.wkt
  set +e
  "$tool" info --geography mixed.wkt missing.wkt good.wkt >out.txt 2>err.txt
  status=$?
  "$tool" convert --to owkt --geography mixed.wkt >convert.txt 2>/dev/null
  convert_status=$?
  set -e
  [ "$status" -ne 0 ] || fail "info exit status 0 despite bad lines"
  [ "$convert_status" -ne 0 ] || fail "convert exit status 0 despite bad lines"
  grep -qx 'mixed.wkt:2: ring 0 of poly 0 is not closed' err.txt || fail "no message for line 2"
  grep -qx 'mixed.wkt:4: not valid OWKT' err.txt || fail "no message for line 4"
  grep -q '^mixed.wkt:5: .*[Ll]atitude' err.txt || fail "no message for line 5"
  grep -q '^mixed.wkt:6: .*line 0' err.txt || fail "no message for line 6"
  grep -qx 'mixed.wkt:8: not valid OWKT' err.txt || fail "no message for line 8"
  grep -q 'missing.wkt' err.txt || fail "no message for the missing file"
  expect_eq "messages" "$(wc -l <err.txt)" 6
  expect_eq "good rows" "$(grep -o '[a-z]*\.wkt:[0-9]*$' out.txt | xargs)" \
    "mixed.wkt:1 mixed.wkt:7 mixed.wkt:9 good.wkt:1"
  expect_eq "converted lines" "$(wc -l <convert.txt)" 3
  # A directory is an unreadable file too.
  if "$tool" info . >/dev/null 2>err.txt; then fail "directory read without error"; fi
  grep -q 'cannot read' err.txt || fail "no message for a directory"
  ;;

convert)
  # Numbers of at most six significant digits survive the writer, so these
  # read back to the same values (same hashes), planar and geographic. A
  # geography whose attributes are all defaults is written as plain text and
  # reads back planar unless --geography says otherwise: it is only in the
  # geographic table.
  cat >planar.wkt <<'EOF'
POINT(1 2)
LINESTRING(0 0, 1.5 -2.25, 3 4)
POLYGON((0 0, 10 0, 10 10, 0 10, 0 0), (1 1, 1 2, 2 2, 1 1))
MULTIPOINT((1 2), (3 4))
MULTILINESTRING((0 0, 1 1), (2 2, 3 3, 4 4))
MULTIPOLYGON(((0 0, 1 0, 1 1, 0 0)), ((5 5, 6 5, 6 6, 5 5)))
GEOMETRYCOLLECTION(POINT(1 2), LINESTRING(0 0, 1 1), POLYGON((0 0, 1 0, 1 1, 0 0)))
POINT EMPTY
BIAS=1000:-2000;LINESTRING(1000.5 -2000.25, 1001 -1999)
BIAS=0.5:-2,ORIGINALSRID=EPSG:3857;POINT(1 2)
TOPOLOGICALTYPE=FLAT;MULTIPOINT((-120 45), (3 4))
CONVERTEDSRID=ESRI:102100,SRID=4326;LINESTRING(1 2, 3 4)
EOF
  "$tool" convert --to owkt planar.wkt >planar.out
  expect_eq "round trip" "$(hashes planar.out)" "$(hashes planar.wkt)"
  # (the planar bias lies beyond the latitude range)
  { grep -v BIAS planar.wkt && echo 'SRID=4326;POLYGON((-120 45, -119 45, -119 46, -120 45))'; } >geo.wkt
  "$tool" convert --to owkt --geography geo.wkt >geo.out
  expect_eq "geographic round trip" "$(hashes --geography geo.out)" "$(hashes --geography geo.wkt)"
  # Real data has longer numbers, which the writer rounds once: a second
  # conversion reproduces the first exactly.
  for file in countries.wkt cities.wkt; do
    for kind in --geometry --geography; do
      "$tool" convert --to owkt $kind "$data/$file" >once.wkt
      "$tool" convert --to owkt $kind once.wkt >twice.wkt
      expect_eq "$file $kind lines" "$(wc -l <once.wkt)" "$(wc -l <"$data/$file")"
      cmp -s once.wkt twice.wkt || fail "$file $kind: second conversion differs"
    done
  done
  ;;

json)
  command -v python3 >/dev/null || exit 77
  cp "$data/countries.wkt" 'a "quoted"\name.wkt'
  "$tool" info --geography --format json --summary 'a "quoted"\name.wkt' >out.jsonl
  python3 - out.jsonl <<'EOF'
import json, sys
rows = [json.loads(line) for line in open(sys.argv[1])]
summary = rows.pop()["summary"]
assert len(rows) == 177 == summary["values"], len(rows)
assert all(r["file"] == 'a "quoted"\\name.wkt' for r in rows)
assert [r["line"] for r in rows] == list(range(1, 178))
for key in ("points", "lines", "polys", "rings", "coordinates"):
    assert sum(r[key] for r in rows) == summary[key], key
assert summary["shapes"] == {"Polygon": 148, "MultiPolygon": 29}, summary["shapes"]
assert all(r["type"] == "Geography" and int(r["hash"]) < 2**64 for r in rows)
EOF
  ;;

help)
  for args in "--help" "info --help" "convert --help"; do
    # shellcheck disable=SC2086
    "$tool" $args | grep -q '^Usage:' || fail "ostrel $args"
  done
  "$tool" --version | grep -Eq '^ostrel [0-9]+\.[0-9]+\.[0-9]+$' || fail "--version"
  for args in "" "info --format xml" "convert" "info --geometry --radians" "frobnicate"; do
    set +e
    # shellcheck disable=SC2086
    "$tool" $args </dev/null >/dev/null 2>&1
    status=$?
    set -e
    expect_eq "usage error status of '$args'" "$status" 2
  done
  ;;

*) fail "unknown case $case" ;;
esac
echo "ok: $case"
