#!/bin/sh
# The plot command, run as a user runs it in a fresh directory: its options, its manual pages
# (and the program's) in step with the options, the pictures of a run, and every way its input,
# its surroundings or gnuplot can fail. Usage: plot_test.sh PROGRAM PLOT DOCS QUICKPLOT, the
# last a build of the plot command that gives gnuplot 2 seconds instead of 30. Exits 77
# (skipped) without gnuplot. A command run through env goes by a shell, so that env cannot take
# a path holding "=" for one more assignment.
set -u
program=$1 plot=$2 docs=$3 quick=$4
work=$(mktemp -d)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
mkdir -p "$work/run" "$work/bin" "$work/home" "$work/good" "$work/fonts/.config/fontconfig" &&
  cd "$work/run" || exit 1
ulimit -S -c 0
status=0
fail() { echo "FAIL: $*"; status=1; }
expect() {  # expect WHAT STATUS ERR [OUT]: the last command's status, standard error (after "~",
  # a pattern of one line) and output
  case $3 in "~"*) grep -qx -- "${3#"~"}" "$work/err" && [ "$(wc -l <"$work/err")" = 1 ] ;;
    *) [ "$3" = "$(cat "$work/err")" ] ;; esac && [ "$2" = "$code" ] &&
    [ "${4:-}" = "$(cat "$work/out")" ] ||
    fail "$1: status $code, out '$(head -c 200 "$work/out")', err '$(cat "$work/err")'"
}
drawn() { cmp -s eigenfunctions.png ../good/eigenfunctions.png && cmp -s convergence.png ../good/convergence.png; }

"$plot" --version >../out 2>../err; code=$?
expect "--version" 0 "" "eigenshoot-plot $("$program" --version | cut -d ' ' -f 2)"
"$plot" --version -h >../out 2>../err; code=$?
expect "--version -h" 0 "" "$("$plot" --help)"
head -n 1 ../out | grep -qx "Usage: eigenshoot-plot \[--help | --version\]" || fail "usage"
: >../out && "$plot" --help >/dev/full 2>../err; code=$?
expect "--help on a full device" 1 "eigenshoot-plot: standard output: No space left on device"
for option in '\-h' '\-\-help' '\-\-version'; do
  grep -qF -- "$option" "$docs/eigenshoot.1" && grep -qF -- "$option" "$docs/eigenshoot-plot.1" ||
    fail "a manual page lacks $option"
done
[ -z "$(ls -A)" ] || fail "the options touched files: $(ls -A)"

command -v gnuplot >/dev/null 2>&1 || { echo "gnuplot is not installed"; exit 77; }
"$plot" >../out 2>../err; code=$?
expect "before a run" 1 "eigenshoot-plot: apartat4.dat: not found here (run eigenshoot in this directory first)"
"$program" >/dev/null && cp apartat4.dat ../eigen.good && cp Q7-2016-res.dat ../log.good || exit 1
# Good data in any surroundings, the same pictures in each: a closed standard error, the C
# locale, an empty environment, a user's gnuplot settings that would change the data format (a
# terminal that gnuplot-nox lacks, in GNUTERM, below with the caller's signals).
printf 'set datafile separator ","\n' >../home/.gnuplot
for surroundings in "" "sh -c 'exec \"\$0\" 2>&-'" "LC_ALL=C" 'HOME=$work/home' \
  "env -i PATH=/usr/bin:/bin sh -c 'exec \"\$0\"'"; do
  rm -f eigenfunctions.png convergence.png
  eval "$surroundings \"\$plot\" >../out 2>../err"; code=$?
  [ -n "$surroundings" ] || cp eigenfunctions.png convergence.png ../good
  expect "good data, $surroundings" 0 ""
  drawn || fail "$surroundings: the pictures differ"
done
# A font configuration that never ends (a FIFO) ends gnuplot within its time limit, with one
# line. (A warning with good pictures is tried by a stand-in below.)
mkfifo ../fonts/.config/fontconfig/fonts.conf &&
  HOME=$work/fonts timeout 20 "$quick" >../out 2>../err; code=$?
expect "a font configuration that is a FIFO" 1 "~eigenshoot-plot: gnuplot had not drawn the pictures after [0-9]* seconds and has been ended: its font configuration (fonts.conf) may be one that never ends"

# Damaged, hostile or special inputs, failures and signals: each ends with one line (a signal
# with its status alone), no picture replaced and nothing left behind; a success replaces both
# pictures. (Both pictures or neither, and another user's picture in a sticky directory kept,
# are tried where the files are replaced.)
tried() {  # tried WHAT STATUS ERR: the plot command, wrapped in $wrap, on the files as they are
  pictures=$(cksum eigenfunctions.png convergence.png 2>&1)
  code=$({ (exec timeout 10 $wrap "$plot" >../out 2>../err); echo $?; } 2>/dev/null)
  expect "$@"
  if [ "$2" = 0 ]; then drawn; else [ "$pictures" = "$(cksum eigenfunctions.png convergence.png 2>&1)" ]; fi || fail "$1: the pictures"
  [ -z "$(ls -A | grep -v -x -e apartat4.dat -e Q7-2016-res.dat -e eigenfunctions.png -e convergence.png)" ] ||
    fail "$1: files left: $(ls -A)"
  rm -rf apartat4.dat Q7-2016-res.dat convergence.png && cp ../eigen.good apartat4.dat &&
    cp ../log.good Q7-2016-res.dat && echo old >eigenfunctions.png && echo old >convergence.png
}
wrap= && echo old >eigenfunctions.png && echo old >convergence.png
head -c 73728 ../eigen.good >apartat4.dat && rm -f ../gone && mkfifo ../gone && exec 4<>../gone 5>../gone 4<&-
"$plot" 2>&5; code=$?
exec 5>&-
[ $code = 1 ] || fail "a refusal told to a reader that has gone: status $code"
rm apartat4.dat && mkfifo apartat4.dat
tried "a FIFO" 1 "eigenshoot-plot: apartat4.dat: not a regular file"
rm apartat4.dat && truncate -s 1G apartat4.dat
tried "a sparse file of 1 GB" 1 '~eigenshoot-plot: apartat4.dat: larger than a run writes ([0-9]* bytes at most)'
printf '#!/bin/sh\nulimit -f 1 && exec "$@"\n' >../bin/limited && chmod +x ../bin/limited
wrap=../bin/limited
tried "a file-size limit" 1 "eigenshoot-plot: eigenfunctions.png: File too large"
printf '#!/bin/sh\nexec 3>&- 4>&- 5>&- 6>&- 7>&- 8>&- 9>&-\nulimit -n 5 && exec "$@"\n' >../bin/limited
tried "five descriptors" 1 "~eigenshoot-plot: .*: Too many open files"
printf '#!/bin/sh\nexec env PATH=/nonexistent /bin/sh -c '\''exec "$0"'\'' "$1"\n' >../bin/limited
tried "no gnuplot" 1 "eigenshoot-plot: gnuplot is not installed (Debian: apt-get install gnuplot-nox)"
wrap= path=$PATH

# Stand-ins for gnuplot, each drawing both pictures whole (`draw`) unless it says otherwise and
# leaving a process that would mark that it outlived the plot command: one that succeeds with a
# warning, ones whose child leaves gnuplot's group (setsid, setpgid; given the time to leave it
# before gnuplot ends) and keeps its pipes open,
# ones that draw without end, stop themselves, end the command (KILL), or ignore the signals
# that end the command after half a picture.
PATH="$work/bin:$path"
standin() {  # standin COMMANDS: gnuplot as a shell script of COMMANDS
  printf '#!/bin/sh\nwork=%s\ndraw() { cat "$work/good/eigenfunctions.png" "$work/good/convergence.png"; }\n(sleep 2; : >"$work/survived") &\n%s\n' \
    "$work" "$1" >../bin/gnuplot && chmod +x ../bin/gnuplot
}
while IFS='|' read -r want told body; do
  standin "$body" && tried "$body" "$want" "$told"
done <<'EOF'
0|eigenshoot-plot: gnuplot: line 0: warning: \033[31m\342\200\256|draw; printf "  line 0: warning: \033[31m\342\200\256\n" >&2
0||draw; setsid sh -c 'sleep 2; : >"$0/survived"' "$work" & sleep 0.5
0||draw; perl -MPOSIX -e 'setpgid(0, 0); exec @ARGV' sh -c 'sleep 2; : >"$0/survived"' "$work" & sleep 0.5
1|eigenshoot-plot: gnuplot wrote more than two pictures|while :; do draw; done
1|~eigenshoot-plot: gnuplot was stopped (signal [0-9]*) and has been ended|draw | head -c 9999; kill -STOP $$
1|~eigenshoot-plot: gnuplot was stopped (signal [0-9]*) and has been ended|draw | head -c 9999; kill -TTOU $$
137||kill $!; kill -KILL $PPID; sleep 1; : >"$work/survived"
EOF
for signal in HUP INT TERM QUIT USR1 USR2 ALRM VTALRM PROF IO XCPU; do  # IO: POLL on Linux
  number=1 && while [ "$(kill -l $number)" != $signal ]; do number=$((number + 1)); done
  standin "trap '' $signal; draw | head -c 9999; kill -$signal \$PPID; exec sleep 5"
  tried "$signal while gnuplot draws and ignores it" $((128 + number)) ""
done
# The time that the command itself is stopped (^Z) while gnuplot waits for it is not
# counted against gnuplot: the quick build stopped for longer than its limit still draws.
printf '#!/bin/sh\nsleep 0.2\nkill -STOP $PPID\ncat >/dev/null\nsleep 0.1\ncat "%s/good/eigenfunctions.png" "%s/good/convergence.png"\n' "$work" "$work" >../bin/gnuplot
"$quick" >../out 2>../err &
sleep 3 && kill -CONT $! && wait $!; code=$?
expect "the command stopped longer than gnuplot's limit" 0 "" && drawn || fail "stopped: the pictures"

# gnuplot starts with the caller's signal dispositions (here HUP, INT and QUIT ignored, as under
# nohup or in a script's background job, which the plot command survives, and PIPE and XFSZ,
# which the command ignores for itself alone), without core dumps and without the variables that
# change what it draws.
standin 'kill -HUP $PPID; kill -INT $PPID; kill -QUIT $PPID; draw
echo "$(grep SigIgn /proc/$$/status 2>/dev/null) $(ulimit -c) $(env | grep -c "^GNU")" >"$0".seen'
printf '#!/bin/sh\ntrap "" HUP INT QUIT PIPE XFSZ\nulimit -S -c "$(ulimit -H -c)"\nexport GNUTERM=qt GNUPLOT_LIB=/nonexistent\nexec "$@"\n' >../bin/limited
wrap=../bin/limited
seen=$($wrap /bin/sh -c 'grep SigIgn /proc/$$/status 2>/dev/null')  # Linux: the ignored signals
tried "HUP, INT and QUIT ignored by the caller" 0 ""
[ "$(cat ../bin/gnuplot.seen)" = "$seen 0 0" ] || fail "gnuplot's surroundings: $(cat ../bin/gnuplot.seen), not $seen, no core dumps, no GNU* variables"
PATH=$path wrap=
sleep 2 && [ ! -e ../survived ] || fail "a process of gnuplot's outlived the plot command"

# A directory where the pictures cannot be written (run as another user by root): the reason is
# the one of the writing, of the user's file. Another user's old pictures in a shared directory,
# which protected_hardlinks forbids linking, are replaced.
asother=
if [ "$(id -u)" = 0 ]; then  # the other user runs it from where that user may run it
  other=$(mktemp -d) && chmod 755 "$other" && cp "$plot" "$other" || exit 1
  asother="setpriv --reuid=65534 --regid=65534 --clear-groups $other/eigenshoot-plot"
fi
mkdir ../locked && cd ../locked && cp ../eigen.good apartat4.dat && cp ../log.good Q7-2016-res.dat || exit 1
[ -n "$asother" ] || chmod a-w .
if [ -n "$asother" ]; then $asother; else "$plot"; fi >"$work/out" 2>"$work/err"; code=$?
expect "a directory that cannot be written" 1 "eigenshoot-plot: eigenfunctions.png: Permission denied"
if [ -n "$asother" ]; then
  chmod 777 . && chmod 644 *.dat && "$plot" && $asother >"$work/out" 2>"$work/err"; code=$?
  expect "another user's old pictures" 0 ""
  [ "$(stat -c %u eigenfunctions.png convergence.png | sort -u)" = 65534 ] && [ "$(ls -A | wc -l)" = 4 ] ||
    fail "another user's old pictures: $(ls -lA)"
  rm -rf "$other"
fi
exit $status
