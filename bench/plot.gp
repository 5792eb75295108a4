# Bar chart of passwords per second per tool, log scale, from the data file
# that bench/compare.sh writes: one line per tool, "NAME" THROUGHPUT "LABEL".
#
#   gnuplot -e "datafile='compare.dat'; outfile='compare.png'; term='pngcairo'; subtitle='...'" bench/plot.gp

if (!exists("term")) term = "pngcairo"
if (!exists("subtitle")) subtitle = ""

if (term eq "pngcairo") {
  set terminal pngcairo size 900,560 enhanced font "sans,12"
} else {
  set terminal png size 900,560
}
set output outfile

set title "Password checks per second (higher is better)\n{/*0.8 ".subtitle."}"
set ylabel "passwords/s (log scale)"
set logscale y
set format y "10^{%L}"
stats datafile using 2 nooutput
set yrange [10**floor(log10(STATS_min) - 0.5) : 10**ceil(log10(STATS_max) + 0.5)]
set xrange [-0.6 : STATS_records - 0.4]
set grid ytics mytics lc rgb "#dddddd"
set style fill solid 0.85 border lc rgb "#333333"
set boxwidth 0.6
set key off
set xtics nomirror scale 0
set ytics nomirror

plot datafile using 0:2:($0 + 1):xtic(1) with boxes lc variable, \
     '' using 0:2:3 with labels offset 0,1 font ",11"
