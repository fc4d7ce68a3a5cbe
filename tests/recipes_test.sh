#!/bin/sh
# The recipes for reading the files in other tools (docs/recipes.md), each run as it stands
# against a real run, with checks after it that every value was read exactly. Usage:
# recipes_test.sh PROGRAM RECIPES TOOL, TOOL one of pandas, numpy, gnuplot, fortran. Exits 77
# (skipped) when the tool is not installed.
set -u
program=$1 recipes=$2 tool=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" && "$program" >/dev/null || { echo "FAIL: the program did not run"; exit 1; }

recipe() {  # recipe LANGUAGE N: the Nth code block of that language in the recipes
  awk -v language="$1" -v n="$2" '
    $0 == "```" language { ++count; inside = count == n; next }
    /^```/ { inside = 0 }
    inside' "$recipes"
}

# A Python that has the module: the one on the PATH, or the system's.
python() {
  for candidate in python3 /usr/bin/python3; do
    "$candidate" -c "import $1" >/dev/null 2>&1 && echo "$candidate" && return
  done
}

# The files as Python reads them exactly, to compare the recipes' results with.
exact='
lines = open("apartat4.dat").read().split("\n")
heads = [float(l.split()[1]) for l in lines if "#E=" in l]
values = [[float(t) for t in l.split()] for l in lines if l.strip() and "#E=" not in l]
searchtexts = open("Q7-2016-res.dat").read().split("\n\n\n")[:-1]
logrows = [(i + 1, [float(t) for t in l.split()]) for i, text in enumerate(searchtexts)
           for l in text.split("\n") if l.strip() and "#" not in l]
blocks, rows = len(heads), len(values) // max(len(heads), 1)
assert blocks > 0 and rows > 1 and len(values) == blocks * rows
assert [i for i, _ in logrows][-1] == blocks and len(logrows) >= blocks
assert E == heads
'

case $tool in
pandas | numpy)
  interpreter=$(python $tool)
  [ -n "$interpreter" ] || { echo "$tool is not installed for python3"; exit 77; }
  { recipe python "$([ $tool = pandas ] && echo 1 || echo 2)" && printf '%s\n' "$exact"; } >check.py
  if [ $tool = pandas ]; then
    cat >>check.py <<'EOF'
assert all(abs(eigen["at"].iloc[k] - values[k + 1][0]) < 1e-11 for k in range(rows - 1))
assert eigen[["x", "y"]].values.tolist() == values
assert eigen.block.tolist() == [b for b in range(blocks) for _ in range(rows)]
assert log[["#N", "E"]].values.tolist() == [row for _, row in logrows]
assert log.search.tolist() == [i for i, _ in logrows]
EOF
  else
    cat >>check.py <<'EOF'
assert all(abs(at[0][k] - values[k + 1][0]) < 1e-11 for k in range(rows - 1))
assert [row for block in data for row in block.tolist()] == values
assert [len(block) for block in data] == [rows] * blocks
assert passes.tolist() == [row for _, row in logrows]
EOF
  fi
  "$interpreter" check.py ;;
gnuplot)
  command -v gnuplot >/dev/null 2>&1 || { echo "gnuplot is not installed"; exit 77; }
  searches=$(grep -c '^$' Q7-2016-res.dat)
  { echo 'set terminal dumb; set output "/dev/null"' && recipe gnuplot 1 &&
    echo 'print STATS_blocks'; } >check.gp &&
    [ "$(gnuplot -d check.gp 2>&1)" = $((searches / 2 + 1)) ] ;;
fortran)
  command -v gfortran >/dev/null 2>&1 || { echo "gfortran is not installed"; exit 77; }
  recipe fortran 1 >read.f90 && gfortran -Wall -Werror -fcheck=bounds read.f90 -o read && ./read >out &&
    [ "$(cat out)" = "$(sed -n 's/^ #E= //p' apartat4.dat |
      awk -v rows="$(grep -c '^ *-*[0-9]' apartat4.dat)" '
        { E[NR] = $1 }
        END { for (b = 1; b <= NR; ++b) printf "block %d: E = %.15f, %d rows\n", b, E[b], rows / NR }')" ] ;;
*)
  echo "unknown tool $tool"
  exit 2 ;;
esac || { echo "FAIL: the $tool recipe"; exit 1; }
