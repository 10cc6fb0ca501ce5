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
// other names are ignored, and listed in `ignored_columns` unless they are
// known to hold nothing for the fit (dX, dY, residual, 备注, 说明, 序号):
// clang-format off
//   column  holds                        header names
//   name    the point's name             name, 点号, 点名
//   x       drawing x, the easting       x, east, easting, 东坐标, Y坐标, sourceX
//   y       drawing y, the northing      y, north, northing, 北坐标, X坐标, sourceY
//   z       drawing z (0 without one)    z, 高程 (the drawing's normal height)
//   lon     WGS84 longitude, degrees     lon, longitude, lng, L, 经度, mapX
//   lat     WGS84 latitude, degrees      lat, latitude, B, 纬度, mapY
//   h       WGS84 ellipsoidal height, m  h, 大地高, 椭球高, ellipsoidal height
//   use     1 (default) or 0             use, enable, 参与计算, 是否参与;
//                                        检查点 (the inverse: 是 for use 0)
// clang-format on
// Names with blanks ("ellipsoidal height") match with or without their
// blanks or with underscores instead. Beside Chinese names, a bare H is the
// normal height (正常高), so where another column gives the ellipsoidal
// height, H is the drawing's z ("点名,X,Y,H,B,L,大地高").
// x, y, lon and lat are required.
//
// x and y, and X坐标 and Y坐标, do not say which is the easting: CAD's x is,
// a surveyor's X is the northing. When both columns are so named and every
// row's x is a grid northing (1e6 to 6e6) and its y a grid easting (1e5 to
// 9e5, or that with a zone number in front: 13 to 23 or 25 to 45 millions),
// the two are exchanged. Otherwise (a local grid) x and y keep CAD's
// meaning and X坐标 and Y坐标 the surveyors'. `easting_column` says which
// column was taken. QGIS's ".points" header
// "mapX,mapY,sourceX,sourceY,enable,dX,dY,residual" reads through the
// aliases; a "#CRS:" comment before the header that names a projected
// system (its WKT starts a PROJCRS, PROJCS or PROJECTEDCRS before any
// geographic CRS) is refused, since mapX and mapY must then be projected
// metres, not degrees.
//
// Longitudes and latitudes are decimal degrees, or degrees, minutes and
// seconds with the sign in front: "116°23′45.67″", "116°23'45.67\"",
// "116度23分45.67秒", "-116°23.5′", "30:35:54.30970", or two or three
// numbers separated by blanks in a field of their own ("116 23 45.67").
// Instead of the sign, degrees, minutes and seconds may carry the
// hemisphere's letter before or after them ("N30°35′54.3″",
// "120°12′3.5″E"; S and W are negative); a longitude takes E or W, a
// latitude N or S. Minutes and seconds are
// below 60, and the part before them a whole number. A number of the
// surveyors' "116.234567" meaning 116°23′45.67″ cannot be told from decimal
// degrees and is read as decimal degrees.
//
// The use column takes 1 or 0, yes or no, true or false (case-insensitive),
// 是 or 否 (empty: 1). Rows with use 0 are check points.
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
  // The header's text of the column read as drawing x, the easting.
  std::string easting_column;
  std::string northing_column;  // of the column read as drawing y
  // The header's texts of the columns not read, in the file's order.
  std::vector<std::string> ignored_columns;
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
