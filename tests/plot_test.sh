#!/bin/sh
# The plot command, run as a user runs it in a fresh directory: its options, its manual pages
# (and the program's) in step with the options, the pictures of a run, and every way its input,
# its surroundings or gnuplot can fail. Usage: plot_test.sh PROGRAM PLOT DOCS. Exits 77
# (skipped) without gnuplot.
set -u
program=$1 plot=$2 docs=$3
work=$(mktemp -d)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
mkdir "$work/run" "$work/bin" "$work/home" "$work/good" && cd "$work/run" || exit 1
ulimit -S -c 0
status=0
fail() { echo "FAIL: $*"; status=1; }
expect() {  # expect WHAT STATUS OUT ERR: the last command's status, standard output and error
  [ "$2" = "$code" ] && [ "$3" = "$(cat "$work/out")" ] && [ "$4" = "$(cat "$work/err")" ] ||
    fail "$1: status $code, out '$(head -c 200 "$work/out")', err '$(cat "$work/err")'"
}

"$plot" --version >../out 2>../err; code=$?
expect "--version" 0 "eigenshoot-plot $("$program" --version | cut -d ' ' -f 2)" ""
"$plot" --version -h >../out 2>../err; code=$?
expect "--version -h" 0 "$("$plot" --help)" ""
head -n 1 ../out | grep -qx "Usage: eigenshoot-plot \[--help | --version\]" || fail "usage"
: >../out && "$plot" --help >/dev/full 2>../err; code=$?
expect "--help on a full device" 1 "" "eigenshoot-plot: standard output: No space left on device"
# Control characters of an argument are escaped, C1 ones too (raw or in UTF-8), by both
# commands, and so are bytes of no UTF-8 character (an overlong form, a surrogate); other
# characters stay as they are, the last one of Unicode included. A lead byte above F4 begins
# no character.
for command in eigenshoot-plot eigenshoot; do
  [ $command = eigenshoot ] && run=$program || run=$plot
  "$run" -h "$(printf '\033[31m\177\302\233\233-\340\200\200\355\240\200\365\200\200caf\303\251\364\217\277\277')" >../out 2>../err; code=$?
  expect "$command, control characters" 2 "" "$command: unrecognized argument '\\033[31m\\177\\302\\233\\233-\\340\\200\\200\\355\\240\\200\\365\\200\\200caf$(printf '\303\251\364\217\277\277')'
Try '$command --help'."
done
for page in eigenshoot eigenshoot-plot; do
  for option in '\-h' '\-\-help' '\-\-version'; do
    grep -qF -- "$option" "$docs/$page.1" || fail "$page.1 lacks $option"
  done
done
[ -z "$(ls -A)" ] || fail "the options touched files: $(ls -A)"

command -v gnuplot >/dev/null 2>&1 || { echo "gnuplot is not installed"; exit 77; }
"$plot" >../out 2>../err; code=$?
expect "before a run" 1 "" "eigenshoot-plot: apartat4.dat: not found here (run eigenshoot in this directory first)"
"$program" >/dev/null || fail "the program"
# Good data in any surroundings, the same pictures in each: a closed standard error, the C
# locale, an empty environment, a user's gnuplot settings that would change the data format, a
# terminal that gnuplot-nox lacks in the user's profile.
printf 'set datafile separator ","\n' >../home/.gnuplot
for surroundings in "" "2>&-" "LC_ALL=C" "env -i PATH=/usr/bin:/bin" "HOME=$work/home" \
  "GNUTERM=qt GNUPLOT_LIB=/nonexistent"; do
  rm -f eigenfunctions.png convergence.png
  case $surroundings in
    2*) eval "\"\$plot\" >../out 2>../err $surroundings"; code=$? && : >../err ;;
    *) eval "$surroundings \"\$plot\" >../out 2>../err"; code=$? ;;
  esac
  expect "good data, $surroundings" 0 "" ""
  for picture in eigenfunctions.png convergence.png; do
    [ "$(head -c 4 "$picture" | tail -c 3)" = PNG ] || fail "$surroundings: $picture"
    [ -f "../good/$picture" ] || cp "$picture" ../good
    cmp -s "$picture" "../good/$picture" || fail "$surroundings: $picture differs"
  done
done
cp apartat4.dat ../eigen.good && cp Q7-2016-res.dat ../log.good || exit 1

# The script is the program's own: the program copied alone into an empty directory draws both
# pictures, and a script planted where 1.2 looked for one, beside it or in ../share/eigenshoot,
# is never run.
mkdir -p ../prog/bin ../prog/share/eigenshoot && cp "$plot" ../prog/bin || exit 1
for planted in no yes; do
  if [ $planted = yes ]; then
    for place in ../prog/bin ../prog/share/eigenshoot; do
      printf 'system("touch %s/planted")\n' "$work" >$place/eigenshoot-plot.gp
    done
  fi
  rm -f eigenfunctions.png convergence.png
  ../prog/bin/eigenshoot-plot >../out 2>../err; code=$?
  expect "copied elsewhere, a script planted: $planted" 0 "" ""
  cmp -s eigenfunctions.png ../good/eigenfunctions.png && cmp -s convergence.png ../good/convergence.png ||
    fail "copied elsewhere, a script planted: $planted: the pictures"
done
[ ! -e ../planted ] || fail "a planted script ran"

# Damaged, hostile or special inputs, failures and signals: each ends with one line (a signal
# with its status alone), nothing of the files run, no picture replaced and nothing left behind.
run() {  # the plot command, wrapped in $wrap; its status in $code, the shell's report of a signal not in ../err
  code=$({ (exec timeout 10 $wrap "$plot" >../out 2>../err); echo $?; } 2>/dev/null)
}
refused() {  # refused WHAT STATUS ERR [PATTERN]: the plot command on the files as the test left them
  pictures=$(cksum eigenfunctions.png convergence.png 2>&1)
  run
  if [ -n "${4:-}" ]; then
    grep -qx -- "$4" ../err && [ "$(wc -l <../err)" = 1 ] && [ "$code" = "$2" ] ||
      fail "$1: status $code, err '$(cat ../err)'"
  else
    expect "$1" "$2" "" "$3"
  fi
  [ "$pictures" = "$(cksum eigenfunctions.png convergence.png 2>&1)" ] || fail "$1: a picture replaced"
  [ -z "$(ls -A | grep -v -x -e apartat4.dat -e Q7-2016-res.dat -e eigenfunctions.png -e convergence.png)" ] ||
    fail "$1: files left: $(ls -A)"
  rm -rf apartat4.dat Q7-2016-res.dat convergence.png && cp ../eigen.good apartat4.dat &&
    cp ../log.good Q7-2016-res.dat && cp eigenfunctions.png convergence.png
}
rows() {  # rows 'AWK': each row of "apartat4.dat" with its position x and value v as AWK sets them
  awk "NF == 2 && \$1 != \"#E=\" { x = \$1; v = \$2; $1; printf \"%24.12f  %24.12f\\n\", x, v; next } { print }" ../eigen.good >apartat4.dat
}
cp eigenfunctions.png convergence.png
wrap=
sed '3s/.*/ #E= (system("touch ran"),9.8)/' ../eigen.good >apartat4.dat
refused "a command in a header" 1 'eigenshoot-plot: apartat4.dat: line 3: expected "#E=" and a number'
sed '3s/.*/ #E= `touch ran` */' ../eigen.good >apartat4.dat
refused "a command and a pattern in a header" 1 'eigenshoot-plot: apartat4.dat: line 3: expected "#E=" and a number'
sed '10s/[^ ]*$/1e400/' ../eigen.good >apartat4.dat
refused "a value out of range" 1 "eigenshoot-plot: apartat4.dat: line 10: expected a position and a value, laid out as (F24.12, 2X, F24.12)"
sed '2s/[^ ]*$/1e309/' ../log.good >Q7-2016-res.dat
refused "an estimate out of range" 1 "eigenshoot-plot: Q7-2016-res.dat: line 2: expected pass 1 and a number"
rows 'x = x * 1e-200'
refused "positions 1e-200 times their size" 1 "eigenshoot-plot: apartat4.dat: line 5: not one step after the row before"
rows 'x = x == 1 ? 1e-10 : 0'
refused "positions 0 but the last" 1 "eigenshoot-plot: apartat4.dat: line 5: not one step after the row before"
# Another first eigenvalue, still as the program writes one (its last digit dropped, and zeros before it), against
# the last pass of the first search (the line before the log's first empty line).
sed '3s/0*.$//' ../eigen.good >apartat4.dat
refused "files of two runs" 1 "eigenshoot-plot: Q7-2016-res.dat: line $(awk 'NF == 0 { print NR - 1; exit }' ../log.good): not the eigenvalue of block 1 in apartat4.dat: the two files are of different runs"
head -c 73728 ../eigen.good >apartat4.dat
refused "a file cut short" 1 "eigenshoot-plot: apartat4.dat: the last line is cut off"
head -c 73728 ../eigen.good >apartat4.dat && rm -f ../gone && mkfifo ../gone && exec 4<>../gone 5>../gone 4<&-
"$plot" 2>&5; code=$?
exec 5>&-
[ $code = 1 ] || fail "a refusal told to a reader that has gone: status $code"
sed '100d;603d;1106d' ../eigen.good >apartat4.dat
refused "a row deleted in each block" 1 "eigenshoot-plot: apartat4.dat: line 100: not one step after the row before"
head -n 8 ../log.good >Q7-2016-res.dat
refused "a log cut short" 1 "eigenshoot-plot: Q7-2016-res.dat: ends early: expected $(grep -c '#E=' ../eigen.good) complete searches"
sed 3d ../log.good >Q7-2016-res.dat
refused "a pass deleted" 1 "eigenshoot-plot: Q7-2016-res.dat: line 3: expected pass 2 and a number"
rm apartat4.dat && mkfifo apartat4.dat
refused "a FIFO" 1 "eigenshoot-plot: apartat4.dat: not a regular file"
# In a sticky world-writable directory, a link of another user (a user other than the caller)
# is not followed: what it leads to is not even opened. Handing it over needs root.
[ "$(id -u)" = 65534 ] && other=1 || other=65534
rm apartat4.dat && ln -s ../eigen.good apartat4.dat && chmod 1777 . &&
  chown -h $other apartat4.dat 2>/dev/null &&
  refused "another user's link in a sticky directory" 1 "eigenshoot-plot: apartat4.dat: not following a symbolic link of another user in a sticky directory"
chmod 1777 . && chown $other convergence.png 2>/dev/null &&
  refused "another user's picture in a sticky directory" 1 "eigenshoot-plot: convergence.png: not replacing a file of another user in a sticky directory"
chmod 755 .
rm apartat4.dat && truncate -s 1G apartat4.dat
refused "a sparse file of 1 GB" 1 "" 'eigenshoot-plot: apartat4.dat: larger than a run writes ([0-9]* bytes at most)'
rm convergence.png && mkdir convergence.png
refused "a picture that is a directory" 1 "eigenshoot-plot: convergence.png: is a directory"
printf '#!/bin/sh\nulimit -f 1 && exec "$@"\n' >../bin/limited && chmod +x ../bin/limited
wrap=../bin/limited
refused "a file-size limit" 1 "" 'eigenshoot-plot: \.eigenshoot-plot\.[A-Za-z0-9]\{6\}/eigen\.dat: File too large'
# A limit that the data stay within but the first picture does not, its signal ignored: gnuplot
# writes on regardless and ends with status 0. The size of the data is asked of a stand-in.
mkdir ../measure && printf '#!/bin/sh\nwc -c <eigen.dat >"%s/datasize"\nexit 1\n' "$work" >../measure/gnuplot &&
  chmod +x ../measure/gnuplot && PATH="$work/measure:$PATH" "$plot" >/dev/null 2>&1
data=$(cat ../datasize) picture=$(wc -c <../good/eigenfunctions.png)
printf '#!/bin/sh\ntrap "" XFSZ\nexec prlimit --fsize=%s "$@"\n' $(((data + picture) / 2)) >../bin/limited
if [ "$picture" -le "$((data + 1))" ]; then
  echo "note: the first picture of this run is not larger than its data: no row of a cut picture"
elif command -v prlimit >/dev/null 2>&1; then
  refused "a picture cut by a file-size limit" 1 "eigenshoot-plot: gnuplot could not draw the pictures: eigenfunctions.png: not a whole PNG file"
fi
printf '#!/bin/sh\nexec 3>&- 4>&- 5>&- 6>&- 7>&- 8>&- 9>&-\nulimit -n 5 && exec "$@"\n' >../bin/limited
refused "five descriptors" 1 "eigenshoot-plot: /dev/null: Too many open files"
wrap="env PATH=/nonexistent"
refused "no gnuplot" 1 "eigenshoot-plot: gnuplot is not installed (Debian: apt-get install gnuplot-nox)"
wrap= path=$PATH

# Stand-ins for gnuplot, each drawing both pictures whole (`draw`) unless it says otherwise:
# one that says something, one that echoes a command before its error, one that writes a word
# to its standard error, one that cuts the first picture at its middle, ones that end the plot
# command with a signal after half a picture, one that makes the second picture impossible to
# replace. None leaves a process behind.
PATH="$work/bin:$path"
standin() {  # standin COMMANDS: gnuplot as a shell script of COMMANDS
  printf '#!/bin/sh\ndraw() { cp "%s"/good/*.png .; }\n%s\n' "$work" "$1" >../bin/gnuplot && chmod +x ../bin/gnuplot
}
standin 'draw; echo "  line 0: warning: \033[31m"'
refused "gnuplot says something" 1 "eigenshoot-plot: gnuplot could not draw the pictures: line 0: warning: \\033[31m"
standin 'printf "\\nset term qt\\n         ^\\nline 0: unknown terminal\\n\\nWARNING: Error\\n"; exit 1'
refused "gnuplot's error after its echo" 1 "eigenshoot-plot: gnuplot could not draw the pictures: line 0: unknown terminal"
standin 'draw; echo word >&2'
refused "a word on gnuplot's standard error" 1 "eigenshoot-plot: gnuplot could not draw the pictures: word"
# A caller that ignores SIGCHLD hides no status of gnuplot's: gnuplot is still waited for.
standin 'draw; exit 3'
printf '#!/usr/bin/env perl\n$SIG{CHLD} = "IGNORE"; exec @ARGV;\n' >../bin/limited && chmod +x ../bin/limited
wrap=../bin/limited
refused "gnuplot's status, SIGCHLD ignored by the caller" 1 "eigenshoot-plot: gnuplot could not draw the pictures: exit status 3"
wrap=
standin 'draw; truncate -s 70000 eigenfunctions.png'
refused "a picture cut at its middle" 1 "eigenshoot-plot: gnuplot could not draw the pictures: eigenfunctions.png: not a whole PNG file"
standin 'draw; echo >>convergence.png'
refused "a byte after a picture's end" 1 "eigenshoot-plot: gnuplot could not draw the pictures: convergence.png: not a whole PNG file"
for signal in HUP:129 INT:130 TERM:143 QUIT:131; do
  standin "echo half >eigenfunctions.png; kill -${signal%:*} \$PPID; exec sleep 5"
  refused "$signal while gnuplot draws" "${signal#*:}" ""
done

# gnuplot starts with the caller's signal dispositions (here HUP, INT and QUIT ignored, as under
# nohup or in a script's background job, which the plot command survives), without core dumps
# and without the variables that change what it draws.
standin 'kill -HUP $PPID; kill -INT $PPID; kill -QUIT $PPID; draw
echo "$(grep SigIgn /proc/$$/status 2>/dev/null) $(ulimit -c) $(env | grep -c "^GNU")" >"$0".seen'
printf '#!/bin/sh\ntrap "" HUP INT QUIT\nulimit -S -c "$(ulimit -H -c)"\nexport GNUTERM=qt GNUPLOT_LIB=/nonexistent\nexec "$@"\n' >../bin/limited
wrap=../bin/limited
seen=$($wrap /bin/sh -c 'grep SigIgn /proc/$$/status 2>/dev/null')  # Linux: the ignored signals
rm -f eigenfunctions.png convergence.png && run
expect "HUP, INT and QUIT ignored by the caller" 0 "" ""
[ "$(cat ../bin/gnuplot.seen)" = "$seen 0 0" ] || fail "gnuplot's surroundings: $(cat ../bin/gnuplot.seen), not $seen, no core dumps, no GNU* variables"
cmp -s eigenfunctions.png ../good/eigenfunctions.png && cmp -s convergence.png ../good/convergence.png ||
  fail "HUP, INT and QUIT ignored by the caller: the pictures"
wrap=

standin 'draw; rm ../convergence.png && mkdir ../convergence.png && : >../convergence.png/x'
pictures=$(cksum eigenfunctions.png)
"$plot" >../out 2>../err; code=$?
expect "the second picture not replaced" 1 "" "eigenshoot-plot: convergence.png: Is a directory"
[ "$pictures" = "$(cksum eigenfunctions.png)" ] || fail "the first picture replaced alone"
[ -z "$(ls -A | grep -v -x -e apartat4.dat -e Q7-2016-res.dat -e eigenfunctions.png -e convergence.png)" ] ||
  fail "both or neither: files left: $(ls -A)"
rm -rf convergence.png

# A FIFO renamed over "apartat4.dat" again and again never makes the plot command wait.
printf '#!/bin/sh\nexit 1\n' >../bin/gnuplot
(while :; do cp ../eigen.good ../a && mv ../a apartat4.dat && mkfifo ../f && mv ../f apartat4.dat; done) &
swapper=$!
for round in 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20 21 22 23 24 25 26 27 28 29 30; do
  timeout 5 "$plot" >/dev/null 2>&1
  [ $? = 124 ] && fail "a FIFO swapped in: the plot command hung (round $round)"
done
{ kill $swapper && wait $swapper; } 2>/dev/null
PATH=$path

# A directory whose name holds control characters, and one on a path longer than a buffer for
# it, where the pictures cannot be written: the reason is the one of the writing.
unwritable() {  # unwritable WHAT ERR: the plot command where it cannot write, run as another user by root
  cp "$work/eigen.good" apartat4.dat && cp "$work/log.good" Q7-2016-res.dat || exit 1
  if [ -n "$other" ]; then
    setpriv --reuid=65534 --regid=65534 --clear-groups "$other/eigenshoot-plot" >"$work/out" 2>"$work/err"; code=$?
  else
    chmod a-w . && "$plot" >"$work/out" 2>"$work/err"; code=$?
  fi
  expect "$1" 1 "" "$2"
}
other=
if [ "$(id -u)" = 0 ]; then  # the other user runs it from where that user may run it
  other=$(mktemp -d) && chmod 755 "$other" && cp "$plot" "$other" || exit 1
fi
name=$(printf 'x\033[31m\ny') && mkdir "../$name" && cd "../$name" || exit 1
unwritable "a directory that cannot be written" "eigenshoot-plot: $(cd .. && pwd)/x\\033[31m\\012y: cannot write the pictures here: Permission denied"
long=$(printf '%0200d' 0) && depth=0 && cd "$work" || exit 1
while [ $depth -lt 25 ]; do mkdir $long && cd -P $long || exit 1; depth=$((depth + 1)); done
unwritable "a directory on a long path that cannot be written" "eigenshoot-plot: .: cannot write the pictures here: Permission denied"
cd "$work/run" || exit 1

# Another user's old pictures in a shared directory, which protected_hardlinks forbids linking:
# the old first picture is moved aside instead, and both are replaced.
if [ -n "$other" ]; then
  shared=$(mktemp -d) && chmod 777 "$shared" && cp ../eigen.good "$shared/apartat4.dat" &&
    cp ../log.good "$shared/Q7-2016-res.dat" && chmod 644 "$shared"/*.dat && cd "$shared" &&
    "$plot" && setpriv --reuid=65534 --regid=65534 --clear-groups "$other/eigenshoot-plot" >"$work/out" 2>"$work/err"
  code=$? && cd "$work/run" || exit 1
  expect "another user's old pictures" 0 "" ""
  [ "$(stat -c %u "$shared/eigenfunctions.png" "$shared/convergence.png" | sort -u)" = 65534 ] &&
    [ "$(ls -A "$shared" | wc -l)" = 4 ] || fail "another user's old pictures: $(ls -lA "$shared")"
  rm -rf "$other" "$shared"
fi
exit $status
