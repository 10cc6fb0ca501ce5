#!/usr/bin/python3
"""Reads a map check back with json and shapely, as a GIS would.

Usage: read_geojson.py FILE. Prints "ok <features> <placed points>" and
exits 0 when the file is a valid RFC 7946 FeatureCollection as the tool
writes it; else prints each fault on a line and exits 1:
  - every feature's geometry is read by shapely and valid;
  - the hull's ring is closed and counter-clockwise;
  - the hull covers every placed point (its boundary counts);
  - positions are [lon, lat] pairs within their ranges.
"""
import json
import sys

from shapely.geometry import Point, shape

faults = []
with open(sys.argv[1], encoding="utf-8") as f:
    doc = json.load(f)
if doc.get("type") != "FeatureCollection" or "crs" in doc:
    faults.append("not an RFC 7946 FeatureCollection")
hulls, placed = [], []
for n, feature in enumerate(doc.get("features", [])):
    if feature.get("type") != "Feature":
        faults.append(f"feature {n}: type {feature.get('type')}")
        continue
    geometry = shape(feature["geometry"])
    if not geometry.is_valid:
        faults.append(f"feature {n}: invalid {geometry.geom_type}")
    if geometry.has_z:
        faults.append(f"feature {n}: has a height")
    for lon, lat in geometry.exterior.coords if geometry.geom_type == \
            "Polygon" else geometry.coords:
        if not (-180 <= lon <= 180 and -90 <= lat <= 90):
            faults.append(f"feature {n}: position {lon}, {lat}")
    kind = feature["properties"]["kind"]
    if kind == "hull":
        ring = feature["geometry"]["coordinates"][0]
        if ring[0] != ring[-1]:
            faults.append(f"feature {n}: ring not closed")
        if not geometry.exterior.is_ccw:
            faults.append(f"feature {n}: ring clockwise")
        hulls.append(geometry)
    elif kind == "placed":
        placed.append(Point(feature["geometry"]["coordinates"]))
for hull in hulls:
    for p in placed:
        if not hull.covers(p):
            faults.append(f"placed point {p.x}, {p.y} outside the hull")
if faults:
    print("\n".join(faults))
    sys.exit(1)
print(f"ok {len(doc['features'])} {len(placed)}")
