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
expect "--version" 0 "eigenshoot-plot $("$program" --version | cut -d ' ' -f 2)" ""
"$plot" --version -h >../out 2>../err; code=$?
expect "--version -h" 0 "$("$plot" --help)" ""
head -n 1 ../out | grep -qx "Usage: eigenshoot-plot \[--help | --version\]" || { echo "FAIL: usage"; status=1; }
"$plot" -h "$(printf '\033[31m-x\177')" >../out 2>../err; code=$?
expect "-h, an escape sequence" 2 "" "eigenshoot-plot: unrecognized argument '\\033[31m-x\\177'
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

# Damaged, hostile or special inputs, and a signal: each ends with one line (a signal with its
# status), nothing drawn, nothing of the files run, no picture replaced and nothing left behind.
cp apartat4.dat ../eigen.good && cp Q7-2016-res.dat ../log.good || exit 1
mkdir ../bin && printf '%s\n' '#!/bin/sh' 'sed -n "s/^set output \"\(.*\)\"/\1/p" |' \
  'while read -r picture; do echo half >"$picture"; done; kill -TERM $PPID' >../bin/gnuplot &&
  chmod +x ../bin/gnuplot || exit 1
refused() {  # refused WHAT STATUS ERR: the plot command on the files as the test left them
  pictures=$(cksum eigenfunctions.png convergence.png 2>&1)
  timeout 60 "$plot" >../out 2>../err; code=$?
  expect "$1" "$2" "" "$3"
  [ "$pictures" = "$(cksum eigenfunctions.png convergence.png 2>&1)" ] && [ -z "$(ls -A | grep -v -x -e apartat4.dat -e Q7-2016-res.dat -e eigenfunctions.png -e convergence.png)" ] ||
    { echo "FAIL: $1: pictures replaced or files left: $(ls -A)"; status=1; }
  rm -f apartat4.dat Q7-2016-res.dat && cp ../eigen.good apartat4.dat && cp ../log.good Q7-2016-res.dat
}
sed '3s/.*/ #E= (system("touch ran"),9.8)/' ../eigen.good >apartat4.dat
refused "a command in a header" 1 'eigenshoot-plot: apartat4.dat: line 3: expected "#E=" and a number'
sed '3s/.*/ #E= `touch ran` */' ../eigen.good >apartat4.dat
refused "a command and a pattern in a header" 1 'eigenshoot-plot: apartat4.dat: line 3: expected "#E=" and a number'
head -c 73728 ../eigen.good >apartat4.dat
refused "a file cut short" 1 "eigenshoot-plot: apartat4.dat: the last line is cut off"
sed '100d;603d;1106d' ../eigen.good >apartat4.dat
refused "a row deleted in each block" 1 "eigenshoot-plot: apartat4.dat: line 100: not one step after the row before"
sed '700d' ../eigen.good >apartat4.dat
refused "a row deleted" 1 "eigenshoot-plot: apartat4.dat: block 2 has 499 rows, block 1 has 500"
head -n 8 ../log.good >Q7-2016-res.dat
refused "a log cut short" 1 "eigenshoot-plot: Q7-2016-res.dat: expected 3 complete searches"
sed 3d ../log.good >Q7-2016-res.dat
refused "a pass deleted" 1 "eigenshoot-plot: Q7-2016-res.dat: line 3: expected pass 2 and a number"
rm apartat4.dat && mkfifo apartat4.dat
refused "a FIFO" 1 "eigenshoot-plot: apartat4.dat: not a regular file"
path=$PATH && PATH="$(cd ../bin && pwd):$PATH"
refused "a signal while gnuplot draws" 143 ""
PATH=$path
rm convergence.png && mkdir convergence.png
refused "a picture that cannot be written" 1 "eigenshoot-plot: convergence.png: is a directory"
exit $status
