#!/usr/bin/python3
"""A scene's metadata read through PROJ (Debian's pyproj), as a GIS reads it.

Usage:
  check_scene.py place SCENE "x,y,z x,y,z ..."
      The scene's stored coordinates (its SRS's less SRSOrigin; a tileset's
      east/north/up in its frame) carried to WGS84: prints "lon,lat,h ...".
  check_scene.py check SCENE REPORT ZOFFSET DRAWING TARGETS
      DRAWING and TARGETS as --DWGsrcpoints and --DWGdespoints (x,y,z and
      lon,lat,h triples). Prints "ok base_deg=B scene_mm=M" (the largest
      differences from PROJ) and exits 0, or one fault a line and exits 1:
        - the report's base point is PROJ's within 1e-9 degrees;
        - its scene names the file's SRS and SRSOrigin (a tileset's frame
          point as PROJ reads it, within 1e-9 degrees and 1e-6 m);
        - matrix_scene carries each drawing point within 1 mm of its target
          in the scene's stored coordinates (z: z + ZOFFSET - SRSOrigin's z),
          and matrix_scene_rtc takes the point less local_origin there too;
        - in an east/north/up scene, matrix_scene is matrix_local with the
          report's srs_origin taken from its translation, to the bit.
CGCS2000 positions are the targets' WGS84 numbers, as the tool takes them.
"""
import json
import re
import sys

from pyproj import CRS, Transformer
from pyproj.enums import TransformDirection
import xml.etree.ElementTree as ET


def enu_frame(lon, lat, h):
    """ECEF-based east/north/up at (lon, lat, h) on WGS84."""
    return Transformer.from_pipeline(
        "+proj=pipeline +step +proj=cart +ellps=WGS84 +step +proj=topocentric "
        f"+ellps=WGS84 +lon_0={lon!r} +lat_0={lat!r} +h_0={h!r}")


class Scene:
    """kind "grid" or "enu"; origin; base (lon, lat); to_stored(lon, lat, h)
    and from_stored(x, y, z) between WGS84 and the stored coordinates."""

    def __init__(self, path):
        raw = open(path, "rb").read()
        if raw.lstrip(b"\xef\xbb\xbf \t\r\n").startswith(b"{"):
            self._read_tileset(json.loads(raw.decode("utf-8-sig")))
        else:
            self._read_metadata(raw)

    def _read_tileset(self, doc):
        m = doc["root"]["transform"]
        lon, lat, h = Transformer.from_crs(
            "EPSG:4978", "EPSG:4979", always_xy=True).transform(*m[12:15])
        self.srs = None  # the tool names the frame itself
        self.kind, self.base, self.origin = "enu", (lon, lat), (0.0, 0.0, h)
        self.frame = enu_frame(lon, lat, h)
        self.shift = (0.0, 0.0, 0.0)  # the frame is at the point's height

    def _read_metadata(self, raw):
        declared = re.search(rb'encoding\s*=\s*["\']([A-Za-z0-9_.-]+)', raw[:200])
        codec = declared.group(1).decode() if declared else "utf-8"
        text = raw.decode("utf-8-sig" if codec.lower() == "utf-8" else codec)
        root = ET.fromstring(re.sub(r"^\s*<\?xml[^>]*\?>", "", text))
        self.srs = (root.findtext("SRS") or "").strip()
        numbers = [float(v) for v in (root.findtext("SRSOrigin") or "0,0,0").split(",")]
        self.origin = tuple((numbers + [0.0, 0.0, 0.0])[:3])
        if self.srs.startswith("ENU:"):
            lat, lon = (float(v) for v in self.srs[4:].split(","))
            self.kind, self.base = "enu", (lon, lat)
            self.frame = enu_frame(lon, lat, 0.0)
            self.shift = self.origin
            return
        crs = CRS.from_user_input(self.srs)
        if crs.is_compound:
            crs = crs.sub_crs_list[0]
        self.kind = "grid"
        self.grid = Transformer.from_crs(crs.geodetic_crs, crs, always_xy=True)
        self.base = self.grid.transform(*self.origin[:2],
                                        direction=TransformDirection.INVERSE)

    def to_stored(self, lon, lat, h):
        if self.kind == "grid":
            e, n = self.grid.transform(lon, lat)
            return e - self.origin[0], n - self.origin[1]
        e, n, _ = self.frame.transform(lon, lat, h)
        return e - self.shift[0], n - self.shift[1]

    def from_stored(self, x, y, z):
        if self.kind == "grid":
            lon, lat = self.grid.transform(x + self.origin[0], y + self.origin[1],
                                           direction=TransformDirection.INVERSE)
            return lon, lat, z + self.origin[2]
        return self.frame.transform(x + self.shift[0], y + self.shift[1],
                                    z + self.shift[2],
                                    direction=TransformDirection.INVERSE)


def triples(text):
    return [tuple(float(v) for v in p.split(",")) for p in text.split()]


def check(scene, report, zoffset, drawing, targets):
    faults = []
    r = json.load(open(report, encoding="utf-8"))
    base_deg = max(abs(r["base_point"]["lon_deg"] - scene.base[0]),
                   abs(r["base_point"]["lat_deg"] - scene.base[1]))
    if not base_deg <= 1e-9:
        faults.append(f"base point {r['base_point']} against PROJ's {scene.base}")
    s = r["scene"]
    if scene.srs is None:  # a tileset: its frame's point, latitude first
        lat, lon = (float(v) for v in s["srs"][4:].split(","))
        if not (s["srs"].startswith("ENU:") and
                max(abs(lon - scene.base[0]), abs(lat - scene.base[1])) <= 1e-9):
            faults.append(f"srs {s['srs']!r} against PROJ's frame {scene.base}")
    elif s["srs"] != scene.srs:
        faults.append(f"srs {s['srs']!r} against the file's {scene.srs!r}")
    if max(abs(a - b) for a, b in zip(s["srs_origin"], scene.origin)) > 1e-6:
        faults.append(f"srs_origin {s['srs_origin']} against {scene.origin}")
    m = r["matrix_scene"]
    scene_mm = 0.0
    for (x, y, z), target in zip(drawing, targets):
        want = scene.to_stored(*target) + (z + zoffset - scene.origin[2],)
        got = [m[i] * x + m[4 + i] * y + m[8 + i] * z + m[12 + i] for i in range(3)]
        worst = max(abs(g - w) for g, w in zip(got, want)) * 1000.0
        scene_mm = max(scene_mm, worst)
        if not worst <= 1.0:
            faults.append(f"drawing {x},{y},{z}: {got} against PROJ's {want}")
        # The same point through matrix_scene_rtc, from the drawing less
        # local_origin, as a float32 viewer takes it.
        o, rtc = r["local_origin"], r["matrix_scene_rtc"]
        p = (x - o[0], y - o[1], z - o[2])
        rtc_got = [rtc[i] * p[0] + rtc[4 + i] * p[1] + rtc[8 + i] * p[2] +
                   rtc[12 + i] for i in range(3)]
        if max(abs(g - w) for g, w in zip(rtc_got, got)) > 1e-6:
            faults.append(f"drawing {x},{y},{z}: matrix_scene_rtc {rtc_got} "
                          f"against matrix_scene's {got}")
    if scene.kind == "enu":
        local, origin = r["matrix_local"], s["srs_origin"]
        want = local[:12] + [local[12 + i] - origin[i] for i in range(3)] + [1.0]
        if m != want:
            faults.append(f"matrix_scene {m} is not matrix_local less SRSOrigin {want}")
    return faults, f"ok base_deg={base_deg:.3g} scene_mm={scene_mm:.3g}"


def main(argv):
    scene = Scene(argv[2])
    if argv[1] == "place":
        print(" ".join("%.12f,%.12f,%.6f" % scene.from_stored(*p)
                       for p in triples(argv[3])))
        return 0
    faults, summary = check(scene, argv[3], float(argv[4]), triples(argv[5]),
                            triples(argv[6]))
    print("\n".join(faults) if faults else summary)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
