# SPDX-License-Identifier: MIT
# Draws where the inverse solver's distance is off near the antipodes, from
# the antipodal_band program's antipodal-band.dat:
#   gnuplot -e "data='antipodal-band.dat'; out='antipodal-band.png'" antipodal-band.gp
set terminal pngcairo size 1100,560 font ",11"
set output out
set multiplot layout 1,2 title "distance() error against GeographicLib near the antipodes"
set xlabel "longitude difference (degrees)"
set ylabel "latitude of the first point (degrees)"
set xrange [178.8:180]
set yrange [0:90]
set xtics 0.2
set cbrange [-4:5]
set cbtics ("1 mm" -3, "1 m" 0, "1 km" 3)
# Below 1 mm, 1 mm to 1 m, 1 m to 1 km, over 1 km.
set palette defined (-4 "#2a7ab9", -3 "#2a7ab9", -3 "#fdd49e", 0 "#fdd49e", 0 "#ef6548", 3 "#ef6548", 3 "#7f0000", 5 "#7f0000")
set view map
set pm3d map corners2color c1
set key off
set title "second point on the antipodal parallel (lat2 = -lat1)"
unset colorbox
splot data using 1:2:(($3 < -3) ? -4 : $3) with pm3d
set title "second point anywhere within 1.5° of it (worst case)"
set colorbox
splot data using 1:2:(($4 < -3) ? -4 : $4) with pm3d
unset multiplot
