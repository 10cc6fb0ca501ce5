# Writes the flags of a registration with n control points on a 2 km site
# near Tianjin: Gauss-Krueger drawing coordinates (zone 39) and WGS84
# longitude/latitude/height, related by K = 0.99987 and a turn of 0.0215 rad
# plus a centimetre of noise. East/north become longitude/latitude with the
# meridian and prime-vertical radii at the base point (good to a few
# centimetres over the site, plenty for timing).
#
#   awk -v n=100000 -f make-points.awk            one flag per line (flagfile)
#   awk -v n=10 -v args=1 -f make-points.awk      the same flags, one line
#   awk -v n=20000 -v blunders=0.25 -v list=F -f make-points.awk
#       a quarter of the drawing points moved by 1 m to 1 km (log-uniform,
#       any direction), their positions (from 1) written to F, one a line
# Numbers are separated by commas only, so that no flag holds a blank.
BEGIN {
  srand(seed ? seed : 1)
  pi = 3.141592653589793; lon0 = 117.2; lat0 = 39.1
  k = 0.99987; t = 0.0215; c = cos(t); s = sin(t)
  a = 6378137; e2 = 0.00669437999014; sl = sin(lat0 * pi / 180)
  w = sqrt(1 - e2 * sl * sl); nrad = a / w; mrad = a * (1 - e2) / (w * w * w)
  sep = args ? " " : "\n"
  for (i = 0; i < n; i++) {
    x = 2000 * rand() - 1000; y = 2000 * rand() - 1000
    e = (x * c - y * s) * k + 0.01 * (rand() - 0.5)
    nn = (x * s + y * c) * k + 0.01 * (rand() - 0.5)
    sx[i] = 39517700 + x; sy[i] = 4329150 + y
    if (blunders && rand() < blunders) {
      far = 10 ^ (3 * rand()); turn = 2 * pi * rand()
      sx[i] += far * cos(turn); sy[i] += far * sin(turn)
      if (list) print i + 1 > list
    }
    lon[i] = lon0 + e / (nrad * cos(lat0 * pi / 180)) * 180 / pi
    lat[i] = lat0 + nn / mrad * 180 / pi
    h[i] = 3 + 10 * rand()
  }
  printf "--basepoint=%.1f,%.1f%s--DWGsrcpoints=", lon0, lat0, sep
  for (i = 0; i < n; i++) printf "%s%.3f,%.3f,0", i ? "," : "", sx[i], sy[i]
  printf "%s--DWGdespoints=", sep
  for (i = 0; i < n; i++) printf "%s%.10f,%.10f,%.2f", i ? "," : "", lon[i], lat[i], h[i]
  printf "\n"
}
