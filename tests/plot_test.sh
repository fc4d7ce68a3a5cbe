#!/bin/sh
# The plot command, run as a user runs it in a fresh directory: its options, its manual pages
# (and the program's) in step with the options, the pictures of a run, and the failures it
# reports. Usage: plot_test.sh PROGRAM PLOT DOCS. Exits 77 (skipped) without gnuplot.
set -u
program=$1 plot=$2 docs=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/run" && cd "$work/run" || exit 1
status=0
expect() {  # expect WHAT STATUS OUT ERR: the last command's status, standard output and error
  [ "$2" = "$code" ] && [ "$3" = "$(cat ../out)" ] && [ "$4" = "$(cat ../err)" ] ||
    { echo "FAIL: $1: status $code, out '$(head -c 200 ../out)', err '$(cat ../err)'"; status=1; }
}

"$plot" --version >../out 2>../err; code=$?
expect "--version" 0 "eigenshoot-plot 1.0" ""
"$plot" --version -h >../out 2>../err; code=$?
expect "--version -h" 0 "$("$plot" --help)" ""
head -n 1 ../out | grep -qx "Usage: eigenshoot-plot \[--help | --version\]" || { echo "FAIL: usage"; status=1; }
"$plot" -h -x >../out 2>../err; code=$?
expect "-h -x" 2 "" "eigenshoot-plot: unrecognized argument '-x'
Try 'eigenshoot-plot --help'."
for page in eigenshoot eigenshoot-plot; do
  for option in '\-h' '\-\-help' '\-\-version'; do
    grep -qF -- "$option" "$docs/$page.1" || { echo "FAIL: $page.1 lacks $option"; status=1; }
  done
done
[ -z "$(ls)" ] || { echo "FAIL: the options touched files: $(ls)"; status=1; }

command -v gnuplot >/dev/null 2>&1 || { echo "gnuplot is not installed"; exit 77; }
"$plot" >../out 2>../err; code=$?
expect "before a run" 1 "" "eigenshoot-plot: apartat4.dat: not found here (run eigenshoot in this directory first)"
"$program" >/dev/null && "$plot" >../out 2>../err; code=$?
expect "after a run" 0 "" ""
for picture in eigenfunctions.png convergence.png; do
  [ "$(head -c 4 "$picture" | tail -c 3)" = PNG ] || { echo "FAIL: $picture"; status=1; }
done
# A picture that cannot be written: one line on standard error, nothing on the terminal.
rm eigenfunctions.png && mkdir eigenfunctions.png
"$plot" >../out 2>../err; code=$?
[ $code = 1 ] && [ ! -s ../out ] && [ "$(wc -l <../err)" = 1 ] && grep -q "^eigenshoot-plot: " ../err ||
  { echo "FAIL: unwritable picture: status $code, err '$(cat ../err)'"; status=1; }
exit $status
