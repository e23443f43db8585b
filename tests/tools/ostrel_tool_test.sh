#!/usr/bin/env bash
# Tests of the ostrel command-line tool, one group per CTest case:
#   ostrel_tool_test.sh TOOL DATA_DIR CASE
# CASE: info errors input convert fixpoint json progress operations help join
# contains centroid simplify forms.
# Counts are checked against the figures of data/README.md and against an
# awk count of the numbers and parentheses of each input line, which does not
# go through the library; JSON goes through python3's json module. Exit
# status 77 means skipped.
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
# expect_line FILE LINE: FILE has exactly that line
expect_line() { grep -qxF -- "$2" "$1" || fail "no line '$2' in $1: $(head -c 2000 "$1")"; }
# summary_field NAME < text summary: the number after the label
summary_field() { awk -v k="$1" '$1 == k { print $2 }'; }
# status OUT ERR CMD...: runs CMD with its output in the files OUT and ERR,
# and prints its exit status
status() {
  local out=$1 err=$2
  shift 2
  set +e
  "$@" >"$out" 2>"$err"
  local s=$?
  set -e
  echo "$s"
}

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
# Kind and hash columns of the tool's tsv output.
hashes() { "$tool" info --format tsv "$@" | awk -F'\t' 'NR > 1 { print $3, $10 }'; }
# Every innermost parenthesised list of coordinates reversed, by text: the
# rings of a polygon run the other way.
reverse_rings() {
  awk '{ out = ""; rest = $0
         while (match(rest, /\([^()]*\)/)) {
           n = split(substr(rest, RSTART + 1, RLENGTH - 2), c, ",")
           r = c[n]; for (i = n - 1; i >= 1; i--) r = r "," c[i]
           out = out substr(rest, 1, RSTART - 1) "<" r ">"; rest = substr(rest, RSTART + RLENGTH) }
         out = out rest; gsub(/</, "(", out); gsub(/>/, ")", out); print out }' "$1"
}

case $case in
info)
  # Figures from data/README.md:
  # file values by-shape polys rings coordinates
  while read -r file values shapes polys rings coords; do
    out=$("$tool" info --geography --summary "$data/$file") || fail "$file: exit status $?"
    summary=$(tail -n 9 <<<"$out")
    expect_eq "$file values" "$(summary_field values <<<"$summary")" "$values"
    expect_eq "$file shapes" "$(awk '$1 == "values" { $1 = $2 = ""; print }' <<<"$summary" | xargs)" \
      "${shapes//_/ }"
    expect_eq "$file polys" "$(summary_field polys <<<"$summary")" "$polys"
    expect_eq "$file rings" "$(summary_field rings <<<"$summary")" "$rings"
    expect_eq "$file coordinates" "$(summary_field coordinates <<<"$summary")" "$coords"
    expect_eq "$file failures" "$(summary_field failures <<<"$summary")" 0
    expect_eq "$file lost-zm" "$(summary_field lost-zm <<<"$summary")" 0
    # header + one row per value + summary
    expect_eq "$file rows" "$(wc -l <<<"$out")" $((1 + values + 9))
    expect_eq "$file geography rows" "$(grep -c '^Geography ' <<<"$out")" "$values"
  done <<'EOF2'
countries.wkt 177 Polygon_148,_MultiPolygon_29 287 288 10643
countries50.wkt 241 Polygon_122,_MultiPolygon_119 1618 1629 99566
cities.wkt 243 Point_243 0 0 243
EOF2
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
  done <<'EOF2'
POINT EMPTY|Point 0 0 0 0 0
LINESTRING(0 0, 1 1, 2 2)|LineString 0 1 0 0 3
MULTILINESTRING((0 0, 1 1), (2 2, 3 3, 4 4))|MultiLineString 0 2 0 0 5
MULTIPOINT((1 2), (3 4), 5 6)|MultiPoint 3 0 0 0 3
POLYGON((0 0, 10 0, 10 10, 0 10, 0 0), (1 1, 1 2, 2 2, 1 1))|Polygon 0 0 1 2 9
GEOMETRYCOLLECTION(POINT(1 2), MULTILINESTRING((0 0, 1 1), (2 2, 3 3)), MULTIPOLYGON(((0 0, 1 0, 1 1, 0 0)), ((5 5, 6 5, 6 6, 5 5))), LINESTRING(7 7, 8 8))|Mixed 1 3 2 2 15
EOF2
  # --head limits the rows printed, not what is counted; the note about the
  # rest goes to standard error.
  "$tool" info --head 3 --summary "$data/countries.wkt" >out.txt 2>err.txt
  expect_eq "head rows" "$(grep -c 'countries.wkt:' out.txt)" 3
  expect_eq "head summary" "$(summary_field values <out.txt)" 177
  expect_line err.txt "... 174 more values not shown (--head 3)"
  "$tool" info --head 0 "$data/cities.wkt" >out.txt 2>/dev/null
  expect_eq "head 0" "$(wc -l <out.txt)" 1
  # Standard input, as "-" and as no file, reads like the file.
  expect_eq "stdin -" "$(hashes - <"$data/cities.wkt")" "$(hashes "$data/cities.wkt")"
  expect_eq "stdin" "$(hashes <"$data/cities.wkt")" "$(hashes "$data/cities.wkt")"
  # The forced kinds: plain text reads planar; --radians reads geographic.
  expect_eq "default kind" "$("$tool" info --format tsv <<<'POINT(1 2)' | cut -f3 | tail -n 1)" Geometry
  expect_eq "--radians kind" \
    "$("$tool" info --radians --format tsv <<<'POINT(1 1.5)' | cut -f3 | tail -n 1)" Geography
  # Z and M numbers are read and dropped: counted per value.
  printf '%s\n' 'POINT Z (1 2 3)' 'POINT(1 2)' 'LINESTRING ZM (0 0 1 2, 1 1 3 4)' \
    'GEOMETRYCOLLECTION M (POINT(1 2 3))' >zm.wkt
  "$tool" info --summary zm.wkt >out.txt
  expect_eq "lost-zm" "$(summary_field lost-zm <out.txt)" 3
  expect_eq "lost-zm values" "$(summary_field values <out.txt)" 4
  ;;

errors)
  # Lines 1, 7 and 9 are good; 2, 4, 5, 6 and 8 are not; 3 is blank but for
  # a carriage return (skipped, still numbered); 9 ends in CRLF.
  printf '%s\n' 'POINT(1 2)' 'POLYGON((0 0, 1 0, 1 1, 0 1))' $'\r' 'POINT(1 2) trailing' \
    'POINT(0 95)' 'LINESTRING(0 0)' 'MULTIPOINT((1 2), (3 4))' 'POINT(1 x)' \
    $'LINESTRING(0 0, 1 1)\r' >mixed.wkt
  printf '%s\n' 'POINT(5 6)' >good.wkt
  mkdir dir.wkt
  expect_eq "info status" "$(status out.txt err.txt "$tool" info --geography --summary mixed.wkt missing.wkt dir.wkt \
    good.wkt)" 1
  expect_line err.txt "mixed.wkt:2:1: ring 0 of poly 0 is not closed"
  expect_line err.txt "mixed.wkt:4:12: expected the end of the text, found 'trailing'"
  expect_line err.txt "mixed.wkt:5:9: latitude 95 is beyond +/-90 degrees"
  expect_line err.txt "mixed.wkt:6:1: line 0 has less than 2 coordinates"
  expect_line err.txt "mixed.wkt:8:9: expected a number, found 'x'"
  expect_line err.txt "ostrel: missing.wkt: cannot read: No such file or directory"
  expect_line err.txt "ostrel: dir.wkt: cannot read: is a directory"
  expect_eq "messages" "$(wc -l <err.txt)" 7
  expect_eq "good rows" "$(grep -o '[a-z]*\.wkt:[0-9]*$' out.txt | xargs)" \
    "mixed.wkt:1 mixed.wkt:7 mixed.wkt:9 good.wkt:1"
  expect_line out.txt "failures             7  (5 lines, 2 files)"
  expect_eq "convert status" "$(status convert.txt /dev/null "$tool" convert --geography mixed.wkt)" 1
  expect_eq "converted lines" "$(wc -l <convert.txt)" 3
  # A latitude in radians is named in radians.
  "$tool" info --radians <<<'POINT(0 1.6)' >/dev/null 2>err.txt || true
  expect_line err.txt "<stdin>:1:9: latitude 1.6 is beyond +/-pi/2 radians"
  # Numbers that overflow, or a NUL byte, make a bad line, not a value.
  printf 'POINT(1e400 0)\nPOINT(0 1e400)\nPOINT(1 2)\0junk\nPOINT(1 2)\t#note\n' >lossy.wkt
  for kind in --geometry --geography; do
    expect_eq "lossy $kind" "$(status out.txt err.txt "$tool" convert $kind lossy.wkt)" 1
    expect_eq "lossy $kind written" "$(wc -l <out.txt)" 0
    expect_line err.txt "lossy.wkt:1:7: the number 1e400 is too large: it reads as infinity"
    grep -q "^lossy.wkt:2:9: \(the number 1e400 is too large\|latitude 1e400 is beyond\)" err.txt ||
      fail "no message for line 2: $(cat err.txt)"
    expect_line err.txt "lossy.wkt:3:11: a NUL byte: not a line of text"
    expect_line err.txt "lossy.wkt:4:11: a tab ends the text early: the rest is ignored"
  done
  "$tool" info <<<'POINT(1e39 0)' >/dev/null 2>err.txt || true
  expect_line err.txt "<stdin>:1:7: the coordinate 1e39 does not fit a float offset from the bias: it is not finite"
  # --max-errors: the first N bad lines, then a count of the rest.
  for i in $(seq 1 50); do echo "POINT($i)"; done >bad.wkt
  expect_eq "bad status" "$(status /dev/null err.txt "$tool" info bad.wkt)" 1
  expect_eq "default max-errors" "$(grep -c '^bad.wkt:' err.txt)" 20
  expect_line err.txt "ostrel: 30 more bad lines not reported (--max-errors 20)"
  "$tool" info --max-errors 0 --summary bad.wkt >out.txt 2>err.txt || true
  expect_eq "max-errors 0" "$(cat err.txt)" "ostrel: 50 more bad lines not reported (--max-errors 0)"
  expect_line out.txt "failures            50  (50 lines, 0 files)"
  "$tool" info --max-errors 100 bad.wkt >/dev/null 2>err.txt || true
  expect_eq "max-errors 100" "$(wc -l <err.txt)" 50
  # Binary junk: reported, counted, never a crash.
  python3 -c 'import random, sys; r = random.Random(5); sys.stdout.buffer.write(bytes(r.randrange(256) for _ in range(200000)))' >junk.bin 2>/dev/null ||
    head -c 200000 /dev/urandom >junk.bin
  expect_eq "junk status" "$(status out.txt err.txt "$tool" info --summary junk.bin)" 1
  expect_eq "junk values" "$(summary_field values <out.txt)" 0
  [ "$(summary_field failures <out.txt)" -gt 100 ] || fail "junk: too few failures"
  expect_eq "junk messages" "$(grep -c '^junk.bin:[0-9]*:[0-9]*: ' err.txt)" 20
  ;;

input)
  # CRLF line ends, a byte-order mark, blanks and tabs at either end, blank
  # lines, a last line without a line feed: the same values as the file.
  head -n 20 "$data/countries.wkt" >plain.wkt
  { printf '\xEF\xBB\xBF'; awk 'NR % 3 == 0 { printf "\t  " } { printf "%s \t\r\n", $0 } NR == 5 { print "   \t" }' plain.wkt; } >crlf.wkt
  head -c -2 crlf.wkt >nofeed.wkt
  expect_eq "crlf/bom" "$(hashes crlf.wkt)" "$(hashes plain.wkt)"
  expect_eq "no final line feed" "$(hashes nofeed.wkt)" "$(hashes plain.wkt)"
  expect_eq "blank line numbered" "$("$tool" info --format tsv crlf.wkt | awk -F'\t' 'NR == 7 { print $2 }')" 7
  # A column counts the bytes skipped before the text.
  printf '\xEF\xBB\xBF \tPOINT(1 )\n' >bom.wkt
  "$tool" info bom.wkt >/dev/null 2>err.txt || true
  expect_line err.txt "bom.wkt:1:14: expected a number, found ')'"
  # gzip: read through zlib, same values; a damaged file is a failed file.
  for file in countries50.wkt cities.wkt; do
    gzip -c "$data/$file" >"$file.gz"
    expect_eq "$file.gz" "$(hashes "$file.gz")" "$(hashes "$data/$file")"
  done
  head -c 20000 countries50.wkt.gz >cut.wkt.gz
  expect_eq "damaged gzip" "$(status out.txt err.txt "$tool" info --summary cut.wkt.gz)" 1
  grep -q '^ostrel: cut.wkt.gz: cannot read after line [0-9]*: gzip: ' err.txt ||
    fail "no message for a damaged gzip file: $(cat err.txt)"
  grep -q '^failures .*1 files)' out.txt || fail "damaged gzip not counted"
  # A huge line: one line string of 1,000,000 coordinates (about 20 MB).
  awk 'BEGIN { printf "LINESTRING("; for (i = 0; i < 1000000; i++) printf "%s%d.25 %d.5", (i ? ", " : ""), i, -i; print ")" }' >huge.wkt
  "$tool" info --format tsv --summary huge.wkt >out.txt 2>err.txt
  expect_eq "huge line" "$(awk -F'\t' 'NR == 2 { print $4, $6, $9 }' out.txt)" "LineString 1 1000000"
  ;;

convert)
  # Lossless text reads back, without a forced kind, as the same kind with
  # the same hashes; the second conversion writes the same text.
  cat >values.wkt <<'EOF2'
POINT(1 2)
POINT(500000.37 4649776.22)
LINESTRING(0 0, 1.5 -2.25, 3 4)
POLYGON((0 0, 10 0, 10 10, 0 10, 0 0), (1 1, 1 2, 2 2, 1 1))
MULTIPOINT((1 2), (3 4))
MULTILINESTRING((0 0, 1 1), (2 2, 3 3, 4 4))
MULTIPOLYGON(((0 0, 1 0, 1 1, 0 0)), ((5 5, 6 5, 6 6, 5 5)))
GEOMETRYCOLLECTION(POINT(1 2), LINESTRING(0 0, 1 1), POLYGON((0 0, 1 0, 1 1, 0 0)))
BIAS=1000:-2000;LINESTRING(1000.5 -2000.25, 1001.123456789 -1999.987654321)
BIAS=0.5:-2,ORIGINALSRID=EPSG:3857;POINT(1 2)
ORIGINALSRID=EPSG:3857;POLYGON((0 0, 10 0, 10 10, 0 0))
TOPOLOGICALTYPE=FLAT;MULTIPOINT((-120.123456789 45.987654321), (3 4))
CONVERTEDSRID=ESRI:102100,SRID=4326;LINESTRING(1 2, 3 4)
WINDINGORDER=RIGHT;POLYGON((0 0, 0 1, 1 1, 0 0))
WINDINGORDER=AMBIGUOUS,ORIGINALSRID=SRORG:6;POINT(1 2)
CONVERTEDSRID=SRORG:7;POINT(1 2)
SRID=4326;POINT(12.3456789012 -45.987654321)
EOF2
  for kind in "" --geometry --geography; do
    grep -v 'BIAS\|3857\|500000' values.wkt >in.wkt
    [ "$kind" = --geography ] || cp values.wkt in.wkt
    "$tool" convert $kind in.wkt >once.wkt
    "$tool" convert once.wkt >twice.wkt
    expect_eq "lossless $kind" "$(hashes once.wkt)" "$(hashes $kind in.wkt)"
    cmp -s once.wkt twice.wkt || fail "lossless $kind: second conversion differs: $(diff once.wkt twice.wkt | head -n 4)"
  done
  # What the text looks like: more digits where they matter, the reader's
  # spellings, the kind said.
  "$tool" convert values.wkt >once.wkt
  expect_line once.wkt "POINT(500000.38 4649776)"
  expect_line once.wkt "WINDINGORDER=RIGHT;POLYGON((0 0, 0 1, 1 1, 0 0))"
  expect_line once.wkt "ORIGINALSRID=EPSG:4326;POINT(12.3456789 -45.98765434)"
  "$tool" convert --geometry <<<'ORIGINALSRID=EPSG:3857;POLYGON((0 0, 10 0, 10 10, 0 0))' >out.txt
  expect_line out.txt "BIAS=0:0,ORIGINALSRID=EPSG:3857;POLYGON((0 0, 10 0, 10 10, 0 0))"
  "$tool" convert --geography <<<'POINT(1 2)' >out.txt
  expect_line out.txt "ORIGINALSRID=EPSG:4326;POINT(1 2)"
  # --digits N: the classic text with N significant digits; 6 is the
  # library's classic text, and what does not read back is noted.
  "$tool" convert --digits 6 values.wkt >classic.wkt 2>err.txt
  expect_line classic.wkt "POINT(500000 4.64978E+06)"
  expect_line classic.wkt "WINDINGORDER=INTERIOR-RIGHT;POLYGON((0 0, 0 1, 1 1, 0 0))"
  expect_line classic.wkt "ORIGINALSRID=EPSG:3857;POLYGON((0 0, 10 0, 10 10, 0 0))"
  expect_line classic.wkt "POINT(12.3457 -45.9877)"
  grep -q '^ostrel: note: 4 values were written in the classic spellings' err.txt ||
    fail "no note about the classic spellings: $(cat err.txt)"
  "$tool" convert --digits 9 <<<'POINT(500000.37 4649776.22)' >out.txt
  expect_line out.txt "POINT(500000.375 4649776)"
  # Dropped Z and M are noted.
  "$tool" convert <<<'POINT Z (1 2 3)' >out.txt 2>err.txt
  expect_line out.txt "POINT(1 2)"
  expect_line err.txt "ostrel: note: 1 value had its Z or M numbers dropped (the library keeps x and y)"
  ;;

fixpoint)
  # Every bundled data set, read planar, read geographic and as written:
  # one lossless pass keeps every hash, and a second pass, read without a
  # forced kind, writes the same text.
  for file in countries.wkt countries50.wkt cities.wkt; do
    for kind in "" --geometry --geography; do
      "$tool" convert $kind "$data/$file" >once.wkt
      "$tool" convert once.wkt >twice.wkt
      expect_eq "$file $kind lines" "$(wc -l <once.wkt)" "$(wc -l <"$data/$file")"
      expect_eq "$file $kind hashes" "$(hashes once.wkt)" "$(hashes $kind "$data/$file")"
      expect_eq "$file $kind twice" "$(hashes twice.wkt)" "$(hashes once.wkt)"
      cmp -s once.wkt twice.wkt || fail "$file $kind: second conversion differs"
    done
  done
  ;;

json)
  command -v python3 >/dev/null || exit 77
  names=('a "quoted"\name.wkt' $'tab\tand\nnewline.wkt' $'bad\xff\xfeutf8 caf\xc3\xa9.wkt')
  for name in "${names[@]}"; do cp "$data/countries.wkt" "$name"; done
  "$tool" info --geography --format json --summary "${names[@]}" >out.json
  "$tool" info --geography --format jsonl --summary "${names[@]}" >out.jsonl
  "$tool" info --geography --format json missing.wkt >empty.json 2>/dev/null || true
  "$tool" info --geography --format tsv "${names[@]}" >out.tsv
  python3 - out.json out.jsonl empty.json out.tsv <<'EOF2'
import json, sys
with open(sys.argv[1], encoding="utf-8") as f:
    rows = json.load(f)  # one document
with open(sys.argv[2], encoding="utf-8") as f:
    lines = [json.loads(line) for line in f]
summary = rows.pop()["summary"]
assert rows == lines[:-1], "json and jsonl differ"
assert summary.keys() == lines[-1]["summary"].keys()
assert len(rows) == 3 * 177 == summary["values"], len(rows)
names = ['a "quoted"\\name.wkt', 'tab\tand\nnewline.wkt', 'bad\ufffd\ufffdutf8 caf\u00e9.wkt']
assert [r["file"] for r in rows] == [n for n in names for _ in range(177)], {r["file"] for r in rows}
assert [r["line"] for r in rows] == list(range(1, 178)) * 3
for key in ("points", "lines", "polys", "rings", "coordinates"):
    assert sum(r[key] for r in rows) == summary[key], key
assert summary["shapes"] == {"Polygon": 3 * 148, "MultiPolygon": 3 * 29}, summary["shapes"]
assert summary["failures"] == 0 and summary["lost_z_or_m"] == 0
assert all(r["type"] == "Geography" and int(r["hash"]) < 2**64 for r in rows)
with open(sys.argv[3]) as f:
    assert json.load(f) == []
# TSV: one line per value, ten fields, file names escaped.
with open(sys.argv[4], "rb") as f:
    tsv = f.read().split(b"\n")[1:-1]
assert len(tsv) == 3 * 177 and all(len(r.split(b"\t")) == 14 for r in tsv)
assert tsv[177].split(b"\t")[0] == b"tab\\tand\\nnewline.wkt"
assert tsv[0].split(b"\t")[0] == b'a "quoted"\\\\name.wkt'
EOF2
  ;;

progress)
  command -v script >/dev/null || exit 77
  # Lines arrive slowly: the run lasts more than a second, so on a terminal
  # progress is drawn on standard error, and erased again.
  cat >slow.sh <<EOF2
for i in \$(seq 1 3000); do echo 'POINT(1 2)'; done
sleep 1.3
for i in \$(seq 1 6000); do echo 'POINT(3 4)'; done
EOF2
  script -qec "bash slow.sh | '$tool' info --summary --head 0" /dev/null >tty.txt
  grep -q 'ostrel: [0-9]* values, [0-9.]* MB, [0-9]* values/s' tty.txt || fail "no progress on a terminal"
  grep -q $'\033\\[K' tty.txt || fail "progress not erased"
  grep -q '^values  *9000' tty.txt || fail "summary missing on a terminal"
  # Not a terminal: never.
  bash slow.sh | "$tool" info --summary --head 0 >out.txt 2>err.txt
  if grep -q 'values/s' err.txt; then fail "progress written to a file"; fi
  ;;

operations)
  # envelope: one record per part; a point's box is the point itself.
  "$tool" envelope "$data/cities.wkt" >env.tsv
  expect_eq "city boxes" "$(awk -F'\t' 'NR > 1 && $4 == "point" && $6 == $8 && $7 == $9' env.tsv | wc -l)" 243
  "$tool" envelope "$data/countries50.wkt" >env.tsv
  expect_eq "polygon boxes" "$(awk -F'\t' 'NR > 1 && $4 == "polygon"' env.tsv | wc -l)" 1618
  # Every planar box holds its value's coordinates: checked per value with --whole against an awk
  # min/max over all the numbers of the line (the exterior rings hold every extreme).
  "$tool" envelope --whole "$data/countries.wkt" | awk -F'\t' 'NR > 1 { print $6, $7, $8, $9 }' >whole.txt
  awk '{ gsub(/[A-Z()]/, " "); gsub(/,/, " "); n = split($0, v, " ");
         xl = 1e9; yl = 1e9; xh = -1e9; yh = -1e9;
         for (i = 1; i < n; i += 2) { if (v[i] < xl) xl = v[i]; if (v[i] > xh) xh = v[i];
                                      if (v[i+1] < yl) yl = v[i+1]; if (v[i+1] > yh) yh = v[i+1] }
         print xl, yl, xh, yh }' "$data/countries.wkt" >awk.txt
  paste whole.txt awk.txt | awk '{ for (i = 1; i <= 4; ++i) { d = $i - $(i + 4); if (d < 0) d = -d;
                                   if (d > 1e-5) { print "line " NR ": " $0; exit 1 } } }' ||
    fail "whole boxes differ from the awk min/max"
  expect_eq "whole boxes" "$(wc -l <whole.txt)" 177
  "$tool" envelope --format json --whole "$data/countries.wkt" |
    python3 -c 'import json, sys; d = json.load(sys.stdin); assert len(d) == 177 and len(d[0]["box"]) == 4' ||
    fail "envelope json"
  # collect: the countries become one multi-polygon of all their polygons.
  "$tool" collect "$data/countries.wkt" >all.owkt
  expect_eq "collected values" "$(wc -l <all.owkt)" 1
  "$tool" info --format tsv all.owkt | awk -F'\t' 'NR == 2 { print $4, $7 }' >shape.txt
  expect_eq "collected shape" "$(cat shape.txt)" "MultiPolygon 287"
  # --distinct keeps one of each repeated part of a mixed collection.
  { cat "$data/cities.wkt" "$data/cities.wkt"; echo 'LINESTRING(0 0, 1 1)'; } >mixed.wkt
  "$tool" collect --distinct mixed.wkt >distinct.owkt
  unique=$(sort -u "$data/cities.wkt" | wc -l)
  "$tool" info --format tsv distinct.owkt | awk -F'\t' 'NR == 2 { print $4, $5, $6 }' >shape.txt
  expect_eq "distinct parts" "$(cat shape.txt)" "Mixed $unique 1"
  # A value of the other family is reported with its line and left out.
  printf 'POINT(1 2)\nTOPOLOGICALTYPE=FLAT;POINT(1 1)\nPOINT(3 4)\n' >bad.wkt
  expect_eq "collect status" "$(status out.txt err.txt "$tool" collect bad.wkt)" 1
  expect_line err.txt "bad.wkt:2:1: collect can not mix Geometry and Geography"
  expect_line out.txt "MULTIPOINT((1 2), (3 4))"
  ;;

help)
  for args in "--help" "info --help" "convert --help" "envelope --help" "collect --help" \
    "join --help" "contains --help" "centroid --help" "simplify --help"; do
    # shellcheck disable=SC2086
    "$tool" $args | grep -q '^Usage:' || fail "ostrel $args"
  done
  "$tool" --version | grep -Eq '^ostrel [0-9]+\.[0-9]+\.[0-9]+$' || fail "--version"
  for args in "" "info --format xml" "convert --to xml" "convert --digits 0" "convert --digits 18" \
    "info --geometry --radians" "frobnicate" "info --head -1" "info --head x" \
    "info --max-errors -1" "join" "join a.wkt" "join --threads 0 a b" "contains" \
    "simplify" "simplify --tolerance 1 --algorithm x"; do
    # shellcheck disable=SC2086
    expect_eq "usage error status of '$args'" "$(status /dev/null err.txt "$tool" $args </dev/null)" 2
  done
  "$tool" info --head -1 </dev/null 2>err.txt || true
  expect_line err.txt "--head: must be a whole number of 0 or more, not -1"
  ;;

join)
  # Natural Earth exterior rings run clockwise in lon/lat and the OWKT reader
  # keeps rings as written, so read as geographic each polygon would be the
  # rest of the sphere; reversed (awk, not the library), every ring has its
  # interior on its left, holes included.
  reverse_rings "$data/countries.wkt" >ccw.wkt
  # Planar (even-odd) and geographic joins against the counts of
  # data/README.md, which come from other libraries: 213 and 212 pairs.
  "$tool" join "$data/countries.wkt" "$data/cities.wkt" >planar.tsv 2>err.txt
  expect_eq "planar header" "$(head -n 1 planar.tsv)" "$(printf 'polygons_line\tpoints_line')"
  expect_eq "planar pairs" "$(tail -n +2 planar.tsv | wc -l)" 213
  # Candidates: pairs of a country with a city inside the box of one of its
  # polygons, counted by awk over the text.
  boxes=$(awk 'NR == FNR { np = split($0, polys, /\)\), *\(\(/)
      for (p = 1; p <= np; p++) { s = polys[p]; gsub(/[A-Z()]/, " ", s); gsub(/,/, " ", s)
        n = split(s, v, " "); b++; own[b] = NR; xl[b] = yl[b] = 1e9; xh[b] = yh[b] = -1e9
        for (i = 1; i < n; i += 2) { if (v[i] < xl[b]) xl[b] = v[i]; if (v[i] > xh[b]) xh[b] = v[i]
          if (v[i + 1] < yl[b]) yl[b] = v[i + 1]; if (v[i + 1] > yh[b]) yh[b] = v[i + 1] } }
      next }
    { gsub(/[A-Z()]/, ""); x = $1; y = $2; delete seen
      for (k = 1; k <= b; k++) if (x >= xl[k] && x <= xh[k] && y >= yl[k] && y <= yh[k] && !(own[k] in seen)) { seen[own[k]] = 1; c++ } }
    END { print c }' "$data/countries.wkt" "$data/cities.wkt")
  grep -q "^ostrel: join: $boxes candidates, 213 matches, " err.txt || fail "no summary with $boxes candidates: $(cat err.txt)"
  expect_line err.txt "ostrel: join: $data/countries.wkt: 177 polygonal values, 0 point-like values; $data/cities.wkt: 0 polygonal values, 243 point-like values"
  "$tool" join --geography --threads 1 ccw.wkt "$data/cities.wkt" >one.tsv 2>/dev/null
  expect_eq "geographic pairs" "$(tail -n +2 one.tsv | wc -l)" 212
  # The pool: the same sorted output on 1, 2 and 5 threads, and the files
  # the other way round give the same pairs with the columns swapped.
  for n in 2 5; do
    "$tool" join --geography --threads $n ccw.wkt "$data/cities.wkt" >n.tsv 2>/dev/null
    cmp -s one.tsv n.tsv || fail "--threads $n differs from --threads 1"
  done
  "$tool" join --geography "$data/cities.wkt" ccw.wkt 2>/dev/null | tail -n +2 |
    awk -F'\t' '{ print $2 "\t" $1 }' | sort -n -k1,1 -k2,2 >swapped.tsv
  tail -n +2 one.tsv | cmp -s - swapped.tsv || fail "swapped files give other pairs"
  # Against contains, one command per country, for a few countries (France,
  # Germany, Italy, a multi-polygon, and South Africa with its hole).
  for country in 44 122 142 26; do
    "$tool" contains --geography --matching --value "$(sed -n "${country}p" ccw.wkt)" \
      "$data/cities.wkt" 2>/dev/null | awk -F'\t' -v c="$country" 'NR > 1 { print c "\t" $2 }' >c.tsv
    awk -F'\t' -v c="$country" '$1 == c' one.tsv | cmp -s - c.tsv ||
      fail "country $country: join and contains differ: $(awk -F'\t' -v c="$country" '$1 == c' one.tsv | diff - c.tsv)"
  done
  expect_eq "Rome in Italy" "$(grep -c "^142$(printf '\t')227\$" one.tsv)" 1
  # Lines that are not polygons or points are skipped; a bad line is
  # reported and the status says so; a file that is missing too.
  printf 'POINT(2 48)\nLINESTRING(0 0, 1 1)\nPOINT(2 x)\nPOINT(12.5 41.9)\n' >points.wkt
  expect_eq "bad line status" "$(status out.tsv err.txt "$tool" join --geography ccw.wkt points.wkt)" 1
  expect_line err.txt "points.wkt:3:9: expected a number, found 'x'"
  expect_eq "bad line pairs" "$(tail -n +2 out.tsv | xargs)" "44 1 142 4"
  expect_eq "missing file" "$(status /dev/null err.txt "$tool" join ccw.wkt missing.wkt)" 1
  expect_line err.txt "ostrel: missing.wkt: cannot read: No such file or directory"
  # Planar against geographic values never intersect: said so.
  "$tool" join ccw.wkt "$data/cities.wkt" >/dev/null 2>err.txt
  printf 'SRID=4326;POINT(2 48)\n' >geo.wkt
  "$tool" join "$data/countries.wkt" geo.wkt >out.tsv 2>err.txt
  expect_eq "mixed families" "$(wc -l <out.tsv)" 1
  grep -q '^ostrel: note: one file holds planar values and the other geographic ones' err.txt ||
    fail "no note on mixed families: $(cat err.txt)"
  ;;

contains)
  # A point-like --value: the countries containing it; a polygonal one: the
  # cities inside it. Vatican City (line 1 of cities.wkt) is in Italy (line
  # 142) alone, as a planar and as a geographic value (rings reversed).
  reverse_rings "$data/countries.wkt" >ccw.wkt
  vatican=$(sed -n 1p "$data/cities.wkt")
  "$tool" contains --value "$vatican" "$data/countries.wkt" >out.tsv 2>err.txt
  expect_eq "rows" "$(wc -l <out.tsv)" 178
  expect_eq "planar" "$(awk -F'\t' '$3 == "true" { print $2 }' out.tsv)" 142
  expect_line err.txt "ostrel: 1 of 177 values intersect"
  expect_eq "geographic" "$("$tool" contains --geography --matching --value "$vatican" ccw.wkt | cut -f2 | tail -n +2)" 142
  # As written (clockwise) a geographic country is the rest of the sphere.
  expect_eq "clockwise" "$("$tool" contains --geography --value "$vatican" "$data/countries.wkt" | grep -c 'true$')" 175
  # A square with a hole, by hand: inside, in the hole, outside, on another
  # family, and a multi-point with one point inside.
  square='POLYGON((0 0, 10 0, 10 10, 0 10, 0 0), (4 4, 4 6, 6 6, 6 4, 4 4))'
  printf '%s\n' 'POINT(2 2)' 'POINT(5 5)' 'POINT(20 5)' 'MULTIPOINT((20 5), (8 8))' \
    'LINESTRING(1 1, 2 2)' 'POLYGON((1 1, 2 1, 2 2, 1 1))' >pts.wkt
  expect_eq "planar square" "$("$tool" contains --value "$square" pts.wkt 2>/dev/null | cut -f3 | tail -n +2 | xargs)" \
    "true false false true false false"
  # On the sphere the square's rings must run with the interior on their left:
  # the exterior counter-clockwise, the hole clockwise (as above).
  expect_eq "geographic square" "$("$tool" contains --geography --value "$square" pts.wkt 2>/dev/null | cut -f3 | tail -n +2 | xargs)" \
    "true false false true false false"
  # The cities inside the square and outside its hole, counted by awk.
  inside=$(awk '{ gsub(/[A-Z()]/, ""); x = $1; y = $2 }
                x > 0 && x < 10 && y > 0 && y < 10 && !(x > 4 && x < 6 && y > 4 && y < 6)' \
    "$data/cities.wkt" | wc -l)
  [ "$inside" -gt 0 ] || fail "no city in the square"
  for kind in "" --geography; do
    "$tool" contains $kind --value "$square" "$data/cities.wkt" >/dev/null 2>err.txt
    expect_line err.txt "ostrel: $inside of 243 values intersect"
  done
  "$tool" contains --value "$square" "$data/cities.wkt" ccw.wkt >/dev/null 2>err.txt
  expect_line err.txt "ostrel: $inside of 420 values intersect"
  printf 'SRID=4326;POINT(2 2)\n' >geo.wkt
  "$tool" contains --value "$square" geo.wkt >/dev/null 2>err.txt
  grep -q '^ostrel: note: 1 value was not planar like --value' err.txt || fail "no note: $(cat err.txt)"
  # A --value that cannot intersect anything, or does not read, is a usage error.
  expect_eq "line value" "$(status /dev/null err.txt "$tool" contains --value 'LINESTRING(0 0, 1 1)' pts.wkt)" 2
  grep -q '^ostrel: --value must be a polygon' err.txt || fail "line value: $(cat err.txt)"
  expect_eq "bad value" "$(status /dev/null err.txt "$tool" contains --value 'POINT(1 x)' pts.wkt)" 2
  expect_line err.txt "ostrel: --value:9: expected a number, found 'x'"
  ;;

centroid)
  # Symmetric values, whose centroid follows from the symmetry alone.
  printf '%s\n' 'POLYGON((90 20, 110 20, 110 -20, 90 -20, 90 20))' \
    'MULTIPOINT((-30 10), (30 10), (30 -10), (-30 -10))' 'LINESTRING(10 80, 10 -80)' \
    'POLYGON((-10 50, 10 50, 10 70, -10 70, -10 50), (-1 55, -1 56, 1 56, 1 55, -1 55))' \
    'POINT EMPTY' 'MULTIPOINT((0 0), (180 0))' >sym.wkt
  "$tool" centroid --geography sym.wkt >out.tsv
  expect_eq "header" "$(head -n 1 out.tsv)" "$(printf 'file\tline\tlongitude\tlatitude')"
  awk -F'\t' 'BEGIN { split("1 100 0 2 0 0 3 10 0 6 0 0", e, " ");
                      for (i = 1; i < 12; i += 3) { lon[e[i]] = e[i + 1]; lat[e[i]] = e[i + 2] } }
    NR > 1 { n++; if ($2 == 4) next; if (!($2 in lon)) { print "line " $2 " unexpected"; exit 1 }
             d = $3 - lon[$2]; d = d < 0 ? -d : d; f = $4 - lat[$2]; f = f < 0 ? -f : f;
             if (d > 1e-7 || f > 1e-7) { print "line " $2 ": " $3 " " $4; exit 1 } }
    END { if (n != 5) { print n " records"; exit 1 } }' out.tsv || fail "symmetric centroids"
  # The hole is not used: the polygon with a hole has the centroid of its
  # exterior ring, on its meridian of symmetry, north of its mid-latitude.
  awk -F'\t' '$2 == 4 && ($3 > 1e-7 || $3 < -1e-7 || $4 <= 60) { exit 1 }' out.tsv || fail "hole used"
  # Every city, collected into one multi-point: the mean of their unit
  # vectors computed by awk.
  "$tool" collect --geography "$data/cities.wkt" >cities.owkt
  got=$("$tool" centroid cities.owkt | awk -F'\t' 'NR == 2 { print $3, $4 }')
  want=$(awk '{ gsub(/[A-Z()]/, ""); r = atan2(0, -1) / 180; lo = $1 * r; la = $2 * r;
                x += cos(la) * sin(lo); y += cos(la) * cos(lo); z += sin(la) }
              END { printf "%.10f %.10f\n", atan2(x, y) / r, atan2(z, sqrt(x * x + y * y)) / r }' "$data/cities.wkt")
  awk -v g="$got" -v w="$want" 'BEGIN { split(g, a, " "); split(w, b, " ");
    for (i = 1; i <= 2; i++) { d = a[i] - b[i]; if (d < 0) d = -d; if (d > 1e-6) exit 1 } }' ||
    fail "cities centroid $got, awk $want"
  # JSON, and planar values refused.
  "$tool" centroid --geography --format json sym.wkt |
    python3 -c 'import json, sys; d = json.load(sys.stdin); assert [r["line"] for r in d] == [1, 2, 3, 4, 6]' ||
    fail "centroid json"
  expect_eq "planar status" "$(status out.tsv err.txt "$tool" centroid sym.wkt)" 1
  expect_eq "planar messages" "$(grep -c 'centroid: not supported for planar values' err.txt)" 6
  expect_eq "--geometry" "$(status /dev/null err.txt "$tool" centroid --geometry sym.wkt)" 2
  ;;

simplify)
  h() { "$tool" info --format tsv "$@" | awk -F'\t' 'NR > 1 { print $3, $4, $10 }'; }
  coords() { "$tool" info --format tsv "$@" | awk -F'\t' 'NR > 1 { print $9 }'; }
  # Visvalingam-Whyatt at tolerance 0 removes nothing: every hash is kept,
  # planar and geographic, with every attribute the convert test uses.
  printf '%s\n' 'LINESTRING(0 0, 1.5 -2.25, 3 4)' \
    'POLYGON((0 0, 10 0, 10 10, 0 10, 0 0), (1 1, 1 2, 2 2, 1 1))' \
    'GEOMETRYCOLLECTION(POINT(1 2), LINESTRING(0 0, 1 1, 2 2), POLYGON((0 0, 1 0, 1 1, 0 0)))' \
    'BIAS=1000:-2000;LINESTRING(1000.5 -2000.25, 1001.123456789 -1999.987654321)' \
    'TOPOLOGICALTYPE=FLAT;MULTILINESTRING((-120.12 45.98, 3 4), (5 5, 6 7))' \
    'WINDINGORDER=RIGHT;POLYGON((0 0, 0 1, 1 1, 0 0))' 'POINT EMPTY' >values.wkt
  grep -v BIAS values.wkt >geo.wkt  # a bias has no geographic reading
  for file in values.wkt geo.wkt "$data/countries.wkt" "$data/countries50.wkt"; do
    for kind in "" --geography; do
      [ "$file$kind" = values.wkt--geography ] && continue
      "$tool" simplify $kind --algorithm vw --tolerance 0 "$file" >once.wkt 2>/dev/null
      expect_eq "vw 0 $kind $file" "$(h once.wkt)" "$(h $kind "$file")"
    done
  done
  # Douglas-Peucker at tolerance 0 drops only points on a straight run: on
  # polygons of points on circles (no three in a line) it keeps every hash.
  awk 'BEGIN { pi = atan2(0, -1); for (v = 1; v <= 20; v++) { s = "POLYGON((";
         for (i = 0; i <= 7 + v; i++) { a = 2 * pi * (i % (7 + v)) / (7 + v);
           s = s (i ? ", " : "") sprintf("%.6f %.6f", 3 * v + 2 * cos(a), 2 * sin(a)) }
         print s "))" } }' >circles.wkt
  for kind in "" --geography; do
    "$tool" simplify $kind --tolerance 0 circles.wkt >once.wkt
    expect_eq "dp 0 $kind" "$(h once.wkt)" "$(h $kind circles.wkt)"
  done
  # Never more coordinates than the value had, and fewer as the tolerance
  # grows; Douglas-Peucker keeps every polygon (at least 4 points a ring).
  for algorithm in dp vw; do
    last=10643
    for t in 0.01 0.1 1; do
      "$tool" simplify --geography --algorithm $algorithm --tolerance $t "$data/countries.wkt" >out.wkt 2>err.txt || true
      n=$(coords out.wkt | awk '{ s += $1 } END { print s }')
      [ "$n" -le "$last" ] || fail "$algorithm $t: $n coordinates, more than $last"
      last=$n
      grep -q "^ostrel: simplify: [0-9]* values written, $n of 10643 line and ring coordinates kept" err.txt ||
        fail "$algorithm $t summary: $(tail -n 2 err.txt)"
      if [ $algorithm = dp ]; then
        expect_eq "dp $t values" "$(wc -l <out.wkt)" 177
        paste <(coords out.wkt) <(coords --geography "$data/countries.wkt") |
          awk '$1 > $2 { exit 1 }' || fail "dp $t: a value gained coordinates"
      fi
    done
  done
  # Collapse: Visvalingam-Whyatt drops a whole run below the tolerance. The
  # hole and the small polygon go (noted), a value with nothing left is not
  # written (a bad line), a point stays.
  printf '%s\n' 'POLYGON((0 0, 100 0, 100 100, 0 100, 0 0), (10 10, 10.1 10, 10.1 10.1, 10 10))' \
    'MULTIPOLYGON(((0 0, 100 0, 100 100, 0 100, 0 0)), ((200 0, 200.1 0, 200.1 0.1, 200 0)))' \
    'LINESTRING(0 0, 0.1 0.1, 0.2 0)' 'GEOMETRYCOLLECTION(POINT(5 5), LINESTRING(0 0, 0.1 0.1, 0.2 0))' \
    >collapse.wkt
  expect_eq "collapse status" "$(status out.wkt err.txt "$tool" simplify --algorithm vw --tolerance 1 collapse.wkt)" 1
  expect_line err.txt "collapse.wkt:1: note: polygon 0 hole 1 collapsed (0 of 4 points kept): dropped"
  expect_line err.txt "collapse.wkt:2: note: polygon 1 collapsed (its exterior ring: 0 of 4 points kept): dropped"
  expect_line err.txt "collapse.wkt:3:1: every line and polygon collapsed at tolerance 1: nothing left to write"
  expect_line err.txt "collapse.wkt:4: note: line 0 collapsed (0 of 3 points kept): dropped"
  expect_line out.wkt "POLYGON((0 0, 100 0, 100 100, 0 100, 0 0))"
  expect_line out.wkt "MULTIPOLYGON(((0 0, 100 0, 100 100, 0 100, 0 0)))"
  expect_line out.wkt "GEOMETRYCOLLECTION(POINT(5 5))"
  expect_eq "collapse written" "$(wc -l <out.wkt)" 3
  # Douglas-Peucker keeps the ends of a line, and 4 points of a ring.
  "$tool" simplify --tolerance 1 collapse.wkt >out.wkt 2>/dev/null
  expect_line out.wkt "LINESTRING(0 0, 0.2 0)"
  expect_line out.wkt "POLYGON((0 0, 100 0, 100 100, 0 100, 0 0), (10 10, 10.1 10, 10.1 10.1, 10 10))"
  # A ring whose first point goes is closed again on its first kept point.
  "$tool" simplify --algorithm vw --tolerance 1 <<<'POLYGON((0 0.1, 0 -50, 50 -50, 50 50, 0 50, 0 0.1))' >out.wkt
  expect_line out.wkt "POLYGON((0 -50, 50 -50, 50 50, 0 50, 0 -50))"
  # Across the antimeridian a geographic line is continued, not taken the
  # long way round: the middle point is on the straight run and goes.
  "$tool" simplify --geography --tolerance 0.001 <<<'LINESTRING(179 0, 180 0, -179 0)' >out.wkt
  expect_line out.wkt "ORIGINALSRID=EPSG:4326;LINESTRING(179 0, -179 0)"
  expect_eq "tolerance -1" "$(status /dev/null /dev/null "$tool" simplify --tolerance -1 values.wkt)" 2
  expect_eq "tolerance nan" "$(status /dev/null /dev/null "$tool" simplify --tolerance nan values.wkt)" 2
  ;;

forms)
  # Every form through convert. Columns 3-8 of the tsv: kind, shape and the
  # counts of points, lines, polys and rings.
  parts() { "$tool" info --format tsv "$@" | awk -F'\t' 'NR > 1 { print $3, $4, $5, $6, $7, $8 }'; }
  # changed A B: how many values of A and B (same order) differ in kind or hash
  changed() { paste -d' ' <(hashes "$1") <(hashes "$2") | awk '$1 != $3 || $2 != $4' | wc -l; }
  # noted FILE: the count of the writer's note on values that read back with
  # another hash (its own read-back check), 0 without the note
  noted() { { grep -o 'note: [0-9]* values\? reads\? back' "$1" || echo 'note: 0'; } | awk '{ print $2 }'; }
  # Round trips OWKT -> FORM -> OWKT of the bundled data, read geographic and
  # planar. The table gives, per form, how many values come back with another
  # hash (geography countries, cities; geometry countries, cities):
  # - legacy keeps everything: its coordinates are those of the plain stream
  #   and its fixed attributes (WGS84, interior-left; no SRID, no bias) are
  #   what these values have;
  # - wkt and ewkt write 6 significant digits;
  # - legacy-compressed rounds to the grid 10^-7 (radians when geographic);
  #   planar floats that already sit on it keep their hash;
  # - wkb, ewkb, sqlserver and oracle give planar values the bias of their
  #   first coordinate, where OWKT text gives none: the floats differ;
  # - geographic points survive wkb, ewkb, sqlserver and oracle exactly;
  #   polygons do not all: the wkb reader densifies edges longer than about
  #   0.09 degrees, wkb and ewkb orient rings interior-left (the data's rings
  #   wind the other way), and sqlserver and oracle clean rings, which merges
  #   consecutive vertices that fall on one grid point (5 countries have
  #   them).
  # The shape, kind and part counts always come back, and the writer's own
  # read-back check must count exactly the values found changed here.
  while read -r form geog_countries geog_cities geom_countries geom_cities; do
    from=${form%-compressed}
    for kind in --geography --geometry; do
      for file in countries.wkt cities.wkt; do
        case $kind/$file in
        --geography/countries.wkt) expected=$geog_countries ;;
        --geography/cities.wkt) expected=$geog_cities ;;
        --geometry/countries.wkt) expected=$geom_countries ;;
        *) expected=$geom_cities ;;
        esac
        # wkt and wkb do not say the family: it is read as it was written.
        again=""
        case $form in wkt | wkb) again=$kind ;; esac
        what="$form $kind $file"
        "$tool" convert $kind "$data/$file" >orig.owkt
        expect_eq "$what status" "$(status one.txt note.txt "$tool" convert --to "$form" orig.owkt)" 0
        expect_eq "$what lines" "$(wc -l <one.txt)" "$(wc -l <orig.owkt)"
        "$tool" convert --from "$from" $again one.txt >back.owkt
        expect_eq "$what parts" "$(parts back.owkt)" "$(parts orig.owkt)"
        expect_eq "$what changed hashes" "$(changed orig.owkt back.owkt)" "$expected"
        expect_eq "$what noted" "$(noted note.txt)" "$expected"
        if [ "$kind" = --geography ] && [ -n "$again" ]; then
          expect_line note.txt "ostrel: note: $(wc -l <orig.owkt) geographic values were written as $form, which does not say so: read them back with --geography"
        fi
        # A second trip changes nothing more, but where reading a geography
        # repeats work whose result depends on the input it is given: the
        # wkb reader densifies again the edges of a densified ring that now
        # measure just over its step, wkt rounds the new midpoints to 6
        # digits, and the ewkb reader's cleaning of a reversed ring merges a
        # vertex it kept the first time (countries only; cities are points).
        case $form/$kind/$file in
        wkt/--geography/countries.wkt | wkb/--geography/countries.wkt | ewkb/--geography/countries.wkt) ;;
        *)
          "$tool" convert --to "$form" back.owkt 2>/dev/null | "$tool" convert --from "$from" $again >back2.owkt
          expect_eq "$what second trip" "$(changed back.owkt back2.owkt)" 0
          ;;
        esac
      done
    done
  done <<'EOF2'
wkt 177 243 177 243
ewkt 177 243 177 243
wkb 177 0 177 243
ewkb 177 0 177 243
sqlserver 5 0 177 243
oracle 5 0 177 243
legacy 0 0 0 0
legacy-compressed 177 243 21 1
EOF2

  # Guessing: each binary form is recognised from its first line (planar
  # sqlserver values have SRID 0 and so start like big-endian WKB), said on
  # standard error, and reads as with --from; text is OWKT, without a word.
  for form in wkb ewkb sqlserver oracle legacy legacy-compressed; do
    from=${form%-compressed}
    for kind in --geography --geometry; do
      "$tool" convert $kind --to "$form" "$data/cities.wkt" >one.txt 2>/dev/null
      again=""
      [ "$form" = wkb ] && again=$kind
      # Planar EWKB has no SRID: its bytes are WKB, and read as such.
      guess=$from
      [ "$form/$kind" = ewkb/--geometry ] && guess=wkb
      "$tool" info $again one.txt >/dev/null 2>err.txt
      expect_eq "guess $form $kind" "$(cat err.txt)" \
        "ostrel: reading $guess (guessed from line 1; use --from to choose)"
      expect_eq "guessed $form $kind values" "$(hashes $again one.txt 2>/dev/null)" \
        "$(hashes --from "$from" $again one.txt)"
    done
  done
  # Big-endian WKB, and EWKT (which OWKT reads: no word about it).
  "$tool" convert <<<'00000000013FF00000000000004000000000000000' >out.txt 2>err.txt
  expect_line out.txt "BIAS=1:2;POINT(1 2)"
  expect_line err.txt "ostrel: reading wkb (guessed from line 1; use --from to choose)"
  "$tool" info --format tsv <<<'SRID=4326;POINT(1 2)' >out.txt 2>err.txt
  expect_eq "ewkt guessed as owkt" "$(cut -f3,11 out.txt | tail -n 1)" "$(printf 'Geography\towkt')"
  expect_eq "no word for owkt" "$(wc -c <err.txt)" 0
  # Per file, named when there are several; hexadecimal no form has is said
  # too (and then fails as OWKT).
  "$tool" convert --geometry --to ewkb "$data/cities.wkt" >cities.ewkb 2>/dev/null
  "$tool" info "$data/cities.wkt" cities.ewkb >/dev/null 2>err.txt
  expect_eq "guess per file" "$(cat err.txt)" \
    "ostrel: reading wkb (guessed from line 1 of cities.ewkb; use --from to choose)"
  expect_eq "unknown hex status" "$(status /dev/null err.txt "$tool" info <<<'DEADBEEF')" 1
  expect_line err.txt "ostrel: cannot tell the form; reading owkt (guessed from line 1; use --from to choose)"

  # Hexadecimal lines: 0x (SQL Server) and \x (psql's bytea) prefixes, lower
  # case, as PostgreSQL prints them; what psql -At prints for ST_AsEWKB.
  "$tool" convert --geography --to ewkb "$data/cities.wkt" >plain.hex
  sed 's/^/0x/' plain.hex >ox.hex
  sed 's/^/\\x/' plain.hex | tr 'A-F' 'a-f' >bytea.hex
  for file in ox.hex bytea.hex; do
    expect_eq "$file" "$(hashes --from ewkb "$file")" "$(hashes --from ewkb plain.hex)"
  done
  expect_eq "psql pipeline" "$("$tool" convert --from ewkb --to owkt <bytea.hex | hashes)" \
    "$(hashes --geography "$data/cities.wkt")"

  # Bad lines: not hexadecimal (columns count blanks and prefix), a reader
  # that throws, a reader that gives Unknown; the good lines still come.
  printf '%s\n' '0101000000000000000000F03F0000000000000040' '  0x01010000zz' '01010' '0x' \
    '0101000000000000000000F03F' '0109000000' '\x0101000000000000000000084000000000000010400' \
    >bad.hex
  expect_eq "bad hex status" "$(status out.txt err.txt "$tool" convert --from wkb bad.hex)" 1
  expect_line err.txt "bad.hex:2:13: expected a hexadecimal digit, found 'z'"
  expect_line err.txt "bad.hex:3:5: an odd number of hexadecimal digits (5): the last byte is cut"
  expect_line err.txt "bad.hex:4:3: expected hexadecimal digits after the prefix"
  expect_line err.txt "bad.hex:5:1: cannot read as wkb: unexpected end of stream"
  expect_line err.txt "bad.hex:6:1: the wkb reader gives Unknown: an unknown type code, a member its collection does not allow, or collections nested too deep"
  expect_line err.txt "bad.hex:7:45: an odd number of hexadecimal digits (43): the last byte is cut"
  expect_eq "bad hex messages" "$(wc -l <err.txt)" 6
  expect_eq "bad hex written" "$(cat out.txt)" "BIAS=1:2;POINT(1 2)"
  expect_eq "null sqlserver" "$(status /dev/null err.txt "$tool" info --from sqlserver <<<'FFFFFFFF0104')" 1
  expect_line err.txt "<stdin>:1:1: the sqlserver reader gives Unknown: a null value (SRID -1), a clear valid bit, a shape type it does not know, or parts that overlap"
  "$tool" info --from legacy <<<'07AA0000000000000009' >/dev/null 2>err.txt || true
  expect_line err.txt "<stdin>:1:1: cannot read as legacy: unknown spatial type"
  # A forced kind that the reader's own rule contradicts.
  "$tool" convert --geometry --to sqlserver <<<'POINT(1 2)' >planar.hex 2>/dev/null
  expect_eq "forced kind" "$(status /dev/null err.txt "$tool" info --geography --from sqlserver planar.hex)" 1
  expect_line err.txt "planar.hex:1:1: the sqlserver reader chose planar (SRID 0 outside the geography range [4120, 5000): planar), not geographic as --geography asks"

  # Values a form cannot hold: refused with the reason, not written.
  while IFS='|' read -r form text message; do
    expect_eq "$form '$text' status" "$(status out.txt err.txt "$tool" convert --to "$form" <<<"$text")" 1
    expect_eq "$form '$text' written" "$(wc -c <out.txt)" 0
    expect_line err.txt "<stdin>:1:1: $message"
  done <<'EOF2'
sqlserver|ORIGINALSRID=EPSG:3857;POINT(1 2)|sqlserver reads SRID 3857 as planar: a geography needs an SRID in [4120, 5000)
oracle|BIAS=0:0,ORIGINALSRID=EPSG:4326;POINT(1 2)|oracle reads SRID 4326 as geographic: a planar value needs an SRID outside [4120, 5000)
ewkb|BIAS=0:0,ORIGINALSRID=EPSG:3857;POINT(1 2)|ewkb cannot hold the SRID EPSG:3857 of a planar value: an SRID there marks a geography
ewkt|ORIGINALSRID=ESRI:102100;POINT(1 2)|ewkt cannot hold a geography with SRID ESRI:102100: only an EPSG SRID marks a geography, it would read back planar
legacy|POINT EMPTY|legacy cannot hold this value: it reads back as planar MultiPoint of 0 points, 0 lines, 0 polygons, 0 rings, not planar Point of 0 points, 0 lines, 0 polygons, 0 rings
oracle|LINESTRING EMPTY|oracle cannot hold this value: what is written does not read back (overflow; len:10, pos:10, newPos:14)
EOF2

  # --srid, and the family and SRID each reader chose, with its reason
  # (info's last columns: form, storage format, SRID, why).
  "$tool" convert --geography --to legacy <<<'POINT(1 2)' >geog.legacy 2>/dev/null
  "$tool" convert --geography --to sqlserver <<<'POINT(1 2)' >geog.sqlserver 2>/dev/null
  while IFS='|' read -r args text expected; do
    # shellcheck disable=SC2086
    got=$("$tool" info --format tsv $args <<<"$text" | awk -F'\t' 'NR == 2 { print $3 "|" $11 "|" $12 "|" $13 "|" $14 }')
    expect_eq "info $args '$text'" "$got" "$expected"
  done <<EOF2
|POINT(1 2)|Geometry|owkt|default|Unknown:0|plain text reads planar; no SRID
--srid 3857|POINT(1 2)|Geometry|owkt|default|EPSG:3857|plain text reads planar; SRID from --srid
--geography|POINT(1 2)|Geography|owkt|default|EPSG:4326|--geography; SRID EPSG:4326 by default
--srid 3857|ORIGINALSRID=EPSG:4269;POINT(1 2)|Geography|owkt|default|EPSG:4269|an SRID in the attributes reads geographic; SRID from the attributes
|BIAS=1:1;POINT(1 2)|Geometry|owkt|default|Unknown:0|a bias in the attributes reads planar; no SRID
--from wkt|POINT(1 2)|Geometry|wkt|default|Unknown:0|no --srid, --geography or --geometry: planar; no SRID in the line
--from wkt --geography|POINT(1 2)|Geography|wkt|default|EPSG:4326|--geography; no SRID in the line: EPSG:4326 by default
--from wkt --srid 4326|POINT(1 2)|Geography|wkt|default|EPSG:4326|--srid 4326 in the geography range [4120, 5000); SRID from --srid
--from wkt --srid 3857|POINT(1 2)|Geometry|wkt|default|EPSG:3857|--srid 3857 outside the geography range [4120, 5000); SRID from --srid
--from ewkt|POINT(1 2)|Geometry|ewkt|default|Unknown:0|no SRID in the line reads planar
--from ewkt --srid 4269|POINT(1 2)|Geography|ewkt|default|EPSG:4269|SRID 4269 from --srid reads geographic
--from ewkt --srid 4269|SRID=4326;POINT(1 2)|Geography|ewkt|default|EPSG:4326|SRID 4326 in the line reads geographic
--from ewkb --srid 4326|0101000000000000000000F03F0000000000000040|Geography|ewkb|default|EPSG:4326|SRID 4326 from --srid reads geographic
|$(cat geog.sqlserver)|Geography|sqlserver|default|EPSG:4326|SRID 4326 in the geography range [4120, 5000)
--srid 4269|$(cat geog.sqlserver)|Geography|sqlserver|default|EPSG:4326|SRID 4326 in the geography range [4120, 5000); --srid not used: the line carries an SRID
|$(cat planar.hex)|Geometry|sqlserver|default|Unknown:0|SRID 0 outside the geography range [4120, 5000): planar
|$(cat geog.legacy)|Geography|legacy|legacy|EPSG:4326|category 1 in the stream: geographic; legacy values have SRID EPSG:4326
--srid 4269|$(cat geog.legacy)|Geography|legacy|default|EPSG:4269|category 1 in the stream: geographic; SRID from --srid (in the default format)
EOF2
  # The same columns in json, and --srid reaching a form that carries it.
  "$tool" info --format jsonl --from wkt --srid 4326 <<<'POINT(1 2)' >out.jsonl
  python3 -c 'import json, sys; r = json.load(open(sys.argv[1])); assert (r["form"], r["format"], r["srid"]) == ("wkt", "default", "EPSG:4326"), r; assert r["why"].startswith("--srid 4326"), r' out.jsonl ||
    fail "json reading columns: $(cat out.jsonl)"
  expect_eq "--srid to ewkt" "$("$tool" convert --from wkt --srid 4326 --to ewkt <<<'POINT(1 2)')" "SRID=4326;POINT(1 2)"
  expect_eq "--srid to sqlserver" "$("$tool" convert --srid 3857 --to sqlserver <<<'POINT(1 2)' 2>/dev/null | cut -c1-8)" "110F0000"

  # legacy-compressed: the precision byte (offset 9) and the grid.
  for p in 2 9; do
    "$tool" convert --to legacy-compressed --precision $p <<<'POINT(1.23456 2.5)' >lc.hex 2>/dev/null
    expect_eq "precision byte $p" "$(cut -c19-20 lc.hex)" "0$p"
  done
  "$tool" convert --to legacy-compressed --precision 2 <<<'POINT(1.23456 2.5)' 2>/dev/null | "$tool" convert >out.txt
  expect_line out.txt "POINT(1.23 2.5)"
  expect_eq "default precision" "$("$tool" convert --geography --to legacy-compressed <<<'POINT(1 2)' 2>/dev/null | cut -c19-20)" 07

  # Z and M dropped by the interchange readers are counted.
  printf '%s\n' 'POINT Z (1 2 3)' 'POINT(1 2)' >zm.wkt
  expect_eq "wkt lost-zm" "$("$tool" info --from wkt --summary zm.wkt | summary_field lost-zm)" 1
  expect_eq "wkb lost-zm" "$("$tool" info --from wkb --summary <<<'01E9030000000000000000F03F00000000000000400000000000000840' | summary_field lost-zm)" 1
  # An Oracle line of three ordinates per point: LINESTRING(0 0 5, 1 1 5).
  oracle_z=0100BA0B00000000000001000000020000000100000000000000000000000000000000000000000000000000000000001440000000000000F03F000000000000F03F0000000000001440
  expect_eq "oracle lost-zm" "$("$tool" info --from oracle --summary <<<"$oracle_z" | summary_field lost-zm)" 1
  expect_eq "oracle z dropped" "$("$tool" convert --from oracle <<<"$oracle_z" 2>/dev/null)" "LINESTRING(0 0, 1 1)"

  # Usage errors.
  for args in "info --from legacy-compressed" "convert --from wkb --radians" "convert --to wkb --digits 6" \
    "convert --precision 3" "convert --to legacy --precision 3" "info --srid -1" "info --srid 16777216" \
    "convert --to frob"; do
    # shellcheck disable=SC2086
    expect_eq "usage error status of '$args'" "$(status /dev/null err.txt "$tool" $args </dev/null)" 2
  done
  # --radians with a form guessed from the file: the file is refused.
  expect_eq "radians guessed" "$(status /dev/null err.txt "$tool" info --radians plain.hex)" 1
  expect_line err.txt "ostrel: plain.hex: --radians reads owkt only, not ewkb"
  ;;

*) fail "unknown case $case" ;;
esac
echo "ok: $case"
