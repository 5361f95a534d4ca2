# Plots a converted table as a PNG:
#   gnuplot -c examples/plot.gp [TABLE [PNG]]
# by default examples/seattle-daily-max-temperature.jd into
# examples/seattle-daily-max-temperature.png, the picture in the README.
#
# The two fields are cut by position, as in the README, since a value that
# fills its 16 columns runs into the date: with a tab as the separator (a
# table has none) a line is one column, strcol(1), which gnuplot gives
# without its leading blanks, so the value is its last 16 columns. Asterisks
# (a field that did not fit) are missing.
table = ARGC >= 1 ? ARG1 : 'examples/seattle-daily-max-temperature.jd'
picture = ARGC >= 2 ? ARG2 : 'examples/seattle-daily-max-temperature.png'
set datafile separator "\t"
f(s) = s[1:1] eq "*" ? NaN : real(s)
jd(l) = f(l[:strlen(l) - 16])
v(l) = f(l[strlen(l) - 15:])
# gnuplot's time axis counts seconds from 1970-01-01 00:00 UTC, Julian date 2440587.5.
unixtime(d) = (d - 2440587.5) * 86400

set terminal pngcairo size 720,360 font 'sans,10'
set output picture
set xdata time
set format x "%d %b\n%Y"
set xtics 7 * 86400
set ylabel 'daily maximum air temperature (°C)'
set grid
set key off
set title 'SEATTLE, WA (US): NOAA observations'
plot table using (unixtime(jd(strcol(1)))):(v(strcol(1))) with linespoints pt 7 ps 0.6 lw 1.5
