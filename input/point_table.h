// Control points read from the tables users keep them in: a CSV or text
// export of a survey spreadsheet (Excel's "CSV", "Text (tab delimited)" and
// "Unicode text"), field software's exports, and QGIS's georeferencer
// ".points" files.
//
// Layout:
//  - one point a line (LF, CR LF or CR); blank lines, lines of empty fields
//    only, and lines whose first character other than a blank is "#" are
//    skipped;
//  - the first remaining line is the header, which names the columns;
//  - fields are separated by tabs, semicolons or commas, whichever the
//    header holds most of outside quotes, or by runs of blanks when it holds
//    none; a field may be quoted with '"' ("" inside for a quote), and
//    blanks around a field are dropped.
//
// Columns, by header name, case-insensitive, in any order, with an optional
// unit in brackets after the name ("x(m)", "经度(°)", "h [m]"); columns with
// other names are ignored:
// clang-format off
//   column  holds                        header names
//   name    the point's name             name, 点号, 点名
//   x       drawing x                    x, east, 东坐标, sourceX
//   y       drawing y                    y, north, 北坐标, sourceY
//   z       drawing z (0 without one)    z, 高程 (the drawing's normal height)
//   lon     WGS84 longitude, degrees     lon, longitude, lng, L, 经度, mapX
//   lat     WGS84 latitude, degrees      lat, latitude, B, 纬度, mapY
//   h       WGS84 ellipsoidal height, m  h, 大地高
//   use     1 (default) or 0             use, enable
// clang-format on
// x, y, lon and lat are required. QGIS's ".points" header
// "mapX,mapY,sourceX,sourceY,enable,dX,dY,residual" reads through the
// aliases; a "#CRS:" comment before the header that names a projected
// system (its WKT starts a PROJCRS, PROJCS or PROJECTEDCRS before any
// geographic CRS) is refused, since mapX and mapY must then be projected
// metres, not degrees.
//
// Longitudes and latitudes are decimal degrees, or degrees, minutes and
// seconds with the sign in front: "116°23′45.67″", "116°23'45.67\"",
// "116度23分45.67秒", "-116°23.5′", or two or three numbers separated by
// blanks in a field of their own ("116 23 45.67"). Minutes and seconds are
// below 60, and the part before them a whole number. A number of the
// surveyors' "116.234567" meaning 116°23′45.67″ cannot be told from decimal
// degrees and is read as decimal degrees.
//
// The use column takes 1 or 0, yes or no, true or false (case-insensitive;
// empty: 1). Rows with use 0 are check points.
//
// The bytes are UTF-8 (with or without a byte-order mark), UTF-16 LE or BE
// with a byte-order mark, or otherwise GBK (common/unicode_text.h). Names
// come back as UTF-8.
#ifndef GEOANCHOR_INPUT_POINT_TABLE_H_
#define GEOANCHOR_INPUT_POINT_TABLE_H_

#include <string>
#include <string_view>
#include <vector>

#include "common/types.h"
#include "input/input_error.h"

namespace geoanchor {

struct TablePoint {
  int line = 0;      // the file's line it stands on, counting from 1
  std::string name;  // "" without a name column or with an empty field
  Point3 source;     // drawing x, y, z (z 0 without a z column)
  Point3 geodetic;   // lon_deg, lat_deg, h_m (h 0 when not read)
  bool used = true;  // false: a check point, not fitted
};

struct PointTable {
  std::vector<TablePoint> points;  // in the table's order
  int header_line = 0;             // the header's line, counting from 1
  bool has_heights = false;        // the header names an h column
};

// Reads the table in `bytes`. `label` names the file in messages (the path
// as the user gave it). With `read_heights` false neither a z nor an h
// column is read (the pair mode uses no heights): both come back 0, and
// `has_heights` still says whether there is an h column.
//
// Returns false on the first mistake, with `*error` set to it
// (input/input_error.h): its place names the file, the line and the column
// where there is one, and it says what was found and what to do, such as
//   GeoAnchorSolve: points.csv line 5, column x: '39448324.0O9' is not a
//   number
// Mistakes: no header line; a required column missing or a column given
// twice; a projected "#CRS:"; an unclosed quote; a row with too few fields
// for the header's columns, or more fields with text than it names; a
// field that is empty, is not a number, not an angle or not a use value;
// a value the input checks refuse (input/input_checks.h: a latitude beyond
// +-90 degrees, a longitude beyond +-360, a drawing coordinate beyond
// +-1e12, a number out of a double's range), with the place
// "<label> line <n>, column <as the header names it>"; no row below the
// header.
bool ReadPointTable(std::string_view bytes, const std::string& label,
                    bool read_heights, PointTable* table, InputError* error);

}  // namespace geoanchor

#endif  // GEOANCHOR_INPUT_POINT_TABLE_H_
