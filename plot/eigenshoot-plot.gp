# eigenshoot-plot's pictures of a run, drawn by gnuplot from its standard input, where the
# command hands it first the numbers of the run (n rows of spacing h, L = n h, neig eigenvalues
# E1, E2, ... and their exact values exact1, ..., the most passes of a search, tol, x0, qa, qb,
# and the start and slope of the march, y and y' at x0) and the data blocks $eigen (per
# eigenfunction: position, computed, exact, computed - exact), $passes (per search: pass,
# |E - exact|) and $guesses (per search: the two guesses at pass 0), then this script. Both
# pictures go to standard output, one PNG after the other; nothing here names a file.
# Everything here is the program's own; the data hold only numbers that it wrote.
set encoding utf8
set terminal pngcairo size 960,900 enhanced font ",11"
set output
set multiplot
set lmargin at screen 0.13
set rmargin at screen 0.97
march = x0 == 0 ? "[0, L]" : sprintf("[%g, %g + L]", x0, x0)
t = x0 == 0 ? "x" : "(x - x0)"
# The exact eigenfunction and eigenvalue of the marched problem: from y = 0 a sine of the
# slope's sign, else a cos + b sin through the start and slope.
exactE = start == 0 ? "(nπ/L)^2" : "E_{exact}"
exactf = start == 0 ? sprintf("%ssin(nπ%s/L)", slope < 0 ? "−" : "", t) : \
  sprintf("%g cos(√E %s) + %g sin(√E %s)/√E", start, t, slope, t)
set label 1 sprintf("Normalized eigenfunctions of y'' = -E y on %s, L = %d h = %.9g", march, n, L) \
  at screen 0.5, 0.975 center
set key at screen 0.13, 0.955 left top Left reverse samplen 2.5 spacing 1.1
set grid
set xrange [x0:x0 + L]
set tmargin at screen 0.80
set bmargin at screen 0.36
set ylabel "normalized eigenfunction"
set format x ""
label(i, E, exact) = sprintf("n = %d:  computed E = %.10f,  exact %s = %.10f", i, E, exactE, exact)
plot for [i = 1:neig] $eigen index i - 1 using 1:2 with lines lw 6 lc i \
       title label(i, value(sprintf("E%d", i)), value(sprintf("exact%d", i))), \
     for [i = 1:neig] $eigen index i - 1 using 1:3 with lines lw 1.2 lc rgb "black" \
       title (i == 1 ? sprintf("exact %s, unit norm over [%g, %g] (thin black)", exactf, qa, qb) : "")
unset label 1
unset key
set tmargin at screen 0.34
set bmargin at screen 0.08
set format x "%g"
set format y "%.1t×10^{%T}"
set xlabel "x, the position each value belongs to (row k of a block: x = k h)"
set ylabel "computed − exact"
plot for [i = 1:neig] $eigen index i - 1 using 1:4 with lines lw 2 lc i
unset multiplot

reset
set encoding utf8
set title sprintf("Secant search: distance of each estimate from the exact eigenvalue %s\n" . \
  "It stops when |y(L)| < %g; the last pass of each search is the converged E.", exactE, tol)
set xlabel "pass"
set ylabel sprintf("|E − %s|", exactE)
set logscale y
set format y "10^{%L}"
set grid
set xtics ("guesses" 0)
do for [m = 1:most] { set xtics add (sprintf("%d", m) m) }
set xrange [-0.5:most + 0.5]
set key outside right top
plot for [i = 1:neig] $passes index i - 1 using 1:2 with linespoints lw 2 pt 7 ps 1.3 lc i \
       title sprintf("n = %d", i), \
     for [i = 1:neig] $guesses index i - 1 using 1:2 with points pt 6 ps 1.8 lc i \
       title (i == 1 ? "its two guesses" : "")
