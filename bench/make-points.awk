# Writes the flags of a registration with n control points on a 2 km site
# near Tianjin: drawing coordinates in a plane like Gauss-Krueger zone 39's
# and WGS84 longitude/latitude/height, related by K = 0.99987 and a turn of
# 0.0215 rad in the base point's east/north/up frame, plus a centimetre of
# uniform noise (2.9 mm one sigma): surveyed points. Each target is the
# east/north/up point carried to ECEF and on to longitude, latitude and
# height exactly (Bowring's iteration), so the tool's own conversion gives
# back its east and north to micrometres.
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
  a = 6378137; f = 1 / 298.257223563; e2 = (2 - f) * f
  p0 = lat0 * pi / 180; l0 = lon0 * pi / 180
  sp = sin(p0); cp = cos(p0); sl = sin(l0); cl = cos(l0)
  n0 = a / sqrt(1 - e2 * sp * sp)
  x0 = n0 * cp * cl; y0 = n0 * cp * sl; z0 = n0 * (1 - e2) * sp
  sep = args ? " " : "\n"
  for (i = 0; i < n; i++) {
    x = 2000 * rand() - 1000; y = 2000 * rand() - 1000
    e = (x * c - y * s) * k + 0.01 * (rand() - 0.5)
    nn = (x * s + y * c) * k + 0.01 * (rand() - 0.5)
    u = 3 + 10 * rand()
    sx[i] = 39517700 + x; sy[i] = 4329150 + y
    if (blunders && rand() < blunders) {
      far = 10 ^ (3 * rand()); turn = 2 * pi * rand()
      sx[i] += far * cos(turn); sy[i] += far * sin(turn)
      if (list) print i + 1 > list
    }
    X = x0 - sl * e - sp * cl * nn + cp * cl * u
    Y = y0 + cl * e - sp * sl * nn + cp * sl * u
    Z = z0 + cp * nn + sp * u
    p = sqrt(X * X + Y * Y)
    phi = atan2(Z, p * (1 - e2))
    for (j = 0; j < 6; j++) {
      sphi = sin(phi); nr = a / sqrt(1 - e2 * sphi * sphi)
      hh = p / cos(phi) - nr
      phi = atan2(Z, p * (1 - e2 * nr / (nr + hh)))
    }
    lon[i] = atan2(Y, X) * 180 / pi; lat[i] = phi * 180 / pi; h[i] = hh
  }
  printf "--basepoint=%.1f,%.1f%s--DWGsrcpoints=", lon0, lat0, sep
  for (i = 0; i < n; i++) printf "%s%.3f,%.3f,0", i ? "," : "", sx[i], sy[i]
  printf "%s--DWGdespoints=", sep
  for (i = 0; i < n; i++) printf "%s%.10f,%.10f,%.4f", i ? "," : "", lon[i], lat[i], h[i]
  printf "\n"
}
