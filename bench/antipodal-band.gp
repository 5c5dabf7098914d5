# SPDX-License-Identifier: MIT
# Draws the distance error of the inverse solver near the antipodes from
# the accuracy program's antipodal-band.dat:
#   gnuplot -e "data='antipodal-band.dat'; out='antipodal-band.png'" antipodal-band.gp
set terminal pngcairo size 900,620 font ",11"
set output out
set title "distance() error against GeographicLib, for lat2 = −lat1"
set xlabel "longitude difference (degrees)"
set ylabel "latitude of the first point (degrees)"
set cblabel "error, log10 of metres"
set xrange [179:180]
set yrange [0:90]
set cbrange [-9:5.5]
set cbtics ("1 nm" -9, "1 µm" -6, "1 mm" -3, "1 m" 0, "1 km" 3, "100 km" 5)
set palette defined (-9 "#1a2a6c", -4 "#2a7ab9", -3 "#9ecae1", -1 "#fdd49e", 2 "#ef6548", 5.5 "#7f0000")
set view map
set pm3d map corners2color c1
set key off
splot data using 1:2:3 with pm3d
