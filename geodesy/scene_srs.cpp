#include "geodesy/scene_srs.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <initializer_list>
#include <utility>
#include <vector>

#include "common/numbers.h"
#include "geodesy/ellipsoid.h"
#include "geodesy/geodetic_converter.h"

namespace geoanchor {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// A WKT is nested at most this deep (a compound CRS's projected CRS's base
// CRS's datum's ellipsoid's unit's ID is 7): deeper text is refused, so a
// hostile file cannot exhaust the stack.
constexpr int kMaxWktDepth = 32;

// Parameters of a WKT and a catalogue code agree within these: a WKT
// writes its figures in full, so only rounding separates them.
constexpr double kSameDeg = 1e-9;
constexpr double kSameM = 1e-6;
constexpr double kSameScale = 1e-12;

Message Bilingual(const char* en, const char* zh) { return Message{en, zh}; }

// What the tool reads, closing every refusal.
Message Accepted() {
  return Bilingual(
      "the tool takes ENU:lat,lon, the EPSG code of a CGCS2000 "
      "Gauss-Krüger grid (4491 to 4554) or a WGS84 UTM grid (32601 to 32660, "
      "32701 to 32760), or the WKT of a transverse Mercator on CGCS2000 or "
      "WGS84",
      "本工具接受 ENU:lat,lon、CGCS2000 高斯-克吕格投影（4491 至 4554）或 "
      "WGS84 UTM 投影（32601 至 32660、32701 至 32760）的 EPSG 代码，或 "
      "CGCS2000、WGS84 上横轴墨卡托投影的 WKT");
}

SceneSrs Refused(const Message& why) {
  SceneSrs srs;
  srs.refusal = why + Bilingual("; ", "；") + Accepted();
  return srs;
}

// The old national datums, which lie tens of metres to 150 m off WGS84.
enum class OldDatum { kNone, kBeijing1954, kXian1980 };

Message OldDatumName(OldDatum d) {
  return d == OldDatum::kBeijing1954
             ? Bilingual("Beijing 1954", "北京1954坐标系")
             : Bilingual("Xi'an 1980", "西安1980坐标系");
}

// Why a grid on another datum than CGCS2000 or WGS84 is refused.
Message NoDatumTransformation() {
  return Bilingual(
      ": its SRSOrigin cannot be placed on WGS84 without a datum "
      "transformation, which the tool lacks",
      "：其 SRSOrigin 须经坐标系转换才能换算到 WGS84，而本工具不具备该转换");
}

// `what` (the code, or "the WKT") is on an old datum.
SceneSrs RefusedOldDatum(const Message& what, OldDatum d) {
  return Refused(what + Bilingual(" is on the ", " 基于") + OldDatumName(d) +
                 Bilingual(" datum", "") + NoDatumTransformation());
}

OldDatum OldDatumOfCode(int epsg) {
  if ((epsg >= 2401 && epsg <= 2442) || (epsg >= 21413 && epsg <= 21423) ||
      (epsg >= 21453 && epsg <= 21463) || (epsg >= 21473 && epsg <= 21483) ||
      epsg == 4214) {
    return OldDatum::kBeijing1954;
  }
  if ((epsg >= 2327 && epsg <= 2390) || epsg == 4610) {
    return OldDatum::kXian1980;
  }
  return OldDatum::kNone;
}

bool IsGeographicCode(int epsg) {
  // WGS 84 and CGCS2000, in two and three dimensions.
  return epsg == 4326 || epsg == 4979 || epsg == 4490 || epsg == 4480;
}

std::string Trimmed(const std::string& text) {
  size_t b = 0, e = text.size();
  while (b < e && std::isspace(static_cast<unsigned char>(text[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(text[e - 1]))) --e;
  return text.substr(b, e - b);
}

bool StartsWithNoCase(const std::string& text, const char* prefix) {
  size_t i = 0;
  for (; prefix[i] != '\0'; ++i) {
    if (i >= text.size() ||
        std::tolower(static_cast<unsigned char>(text[i])) !=
            std::tolower(static_cast<unsigned char>(prefix[i]))) {
      return false;
    }
  }
  return true;
}

// Lower-case letters and digits only: "Central_Meridian", "central
// meridian" and "CentralMeridian" alike.
std::string Key(const std::string& text) {
  std::string key;
  for (char c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (std::isalnum(u)) key += static_cast<char>(std::tolower(u));
  }
  return key;
}

// A decimal number filling `text` (spaces around allowed), in the C
// locale's notation whatever the user's locale.
bool ReadNumber(const std::string& text, double* value) {
  std::string t = Trimmed(text);
  if (!t.empty() && t[0] == '+') t.erase(0, 1);
  if (t.empty()) return false;
  const char* end = t.data() + t.size();
  const std::from_chars_result r = std::from_chars(t.data(), end, *value);
  return r.ec == std::errc() && r.ptr == end && std::isfinite(*value);
}

// The user's text quoted, short and on one line: in English quotes, and
// in Chinese ones for the Chinese.
Message Quoted(const std::string& text) {
  constexpr size_t kMax = 40;  // bytes
  size_t n = std::min(text.size(), kMax);
  // Cut before a UTF-8 character, not inside one.
  while (n < text.size() && n > 0 &&
         (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) {
    --n;
  }
  std::string q;
  for (char c : text.substr(0, n)) q += (c == '\r' || c == '\n') ? ' ' : c;
  if (n < text.size()) q += "...";
  return Message{"\"" + q + "\"", "\u201c" + q + "\u201d"};
}

// ---------------------------------------------------------------------------
// ENU:lat,lon

SceneSrs ReadEnu(const std::string& text) {
  const std::string body = text.substr(4);  // after "ENU:"
  const size_t comma = body.find(',');
  double lat = kNaN, lon = kNaN;
  if (comma == std::string::npos || !ReadNumber(body.substr(0, comma), &lat) ||
      !ReadNumber(body.substr(comma + 1), &lon)) {
    return Refused(
        Quoted(text) +
        Bilingual(" is not ENU:lat,lon (latitude, then longitude, in decimal "
                  "degrees)",
                  " 不是 ENU:lat,lon（先纬度后经度，十进制度）"));
  }
  if (std::fabs(lat) > 90.0) {
    return Refused(Quoted(text) +
                   Bilingual(" puts the latitude beyond ±90°: ENU:lat,lon "
                             "writes the latitude first",
                             " 的纬度超出 ±90°：ENU:lat,lon 中纬度在前"));
  }
  if (std::fabs(lon) > 180.0) {
    return Refused(Quoted(text) + Bilingual(" puts the longitude beyond ±180°",
                                            " 的经度超出 ±180°"));
  }
  SceneSrs srs;
  srs.kind = SceneSrsKind::kEnu;
  srs.enu_base_point = Point2{lon, lat};
  return srs;
}

// ---------------------------------------------------------------------------
// EPSG:code[+vertical]

SceneSrs FromCode(int epsg, const Message& what) {
  const MapProjection p = StandardProjectionOf(epsg);
  if (p.kind != ProjectionKind::kNone) {
    SceneSrs srs;
    srs.kind = SceneSrsKind::kProjected;
    srs.projection = p;
    srs.named_epsg = epsg;
    return srs;
  }
  const OldDatum old = OldDatumOfCode(epsg);
  if (old != OldDatum::kNone) return RefusedOldDatum(what, old);
  if (IsGeographicCode(epsg)) {
    return Refused(what +
                   Bilingual(" is a geographic system (longitude and "
                             "latitude), not a grid",
                             " 是地理坐标系（经度、纬度），不是投影坐标系"));
  }
  return Refused(what + Bilingual(" is not a CGCS2000 Gauss-Krüger or WGS84 "
                                  "UTM grid",
                                  " 不是 CGCS2000 高斯-克吕格投影或 WGS84 UTM "
                                  "投影"));
}

SceneSrs ReadEpsg(const std::string& text) {
  std::string body = Trimmed(text.substr(5));  // after "EPSG:"
  const size_t plus = body.find('+');
  bool digits = true;
  for (size_t i = 0; i < body.size(); ++i) {
    if (i != plus && !std::isdigit(static_cast<unsigned char>(body[i]))) {
      digits = digits && std::isspace(static_cast<unsigned char>(body[i]));
    }
  }
  const std::string horizontal = Trimmed(body.substr(0, plus));
  int epsg = 0;
  const char* end = horizontal.data() + horizontal.size();
  const std::from_chars_result r =
      std::from_chars(horizontal.data(), end, epsg);
  if (!digits || horizontal.empty() || r.ec != std::errc() || r.ptr != end ||
      (plus != std::string::npos && Trimmed(body.substr(plus + 1)).empty())) {
    return Refused(Quoted(text) +
                   Bilingual(" is not EPSG:code", " 不是 EPSG:代码 的形式"));
  }
  return FromCode(epsg, Same("EPSG:" + std::to_string(epsg)));
}

// ---------------------------------------------------------------------------
// WKT: nested KEYWORD[value, ...] (or parentheses), quoted strings with ""
// for a quote inside them, numbers and bare words.

struct WktNode {
  std::string keyword;              // upper case
  std::vector<std::string> values;  // strings unquoted, numbers as written
  std::vector<WktNode> children;
};

class WktParser {
 public:
  explicit WktParser(const std::string& text) : s_(text) {}

  // The whole text as one node; false (and `error_at`, from 1) when it is
  // not well formed.
  bool Parse(WktNode* root, size_t* error_at) {
    const bool ok = Node(root, 0) && (SkipSpace(), i_ == s_.size());
    *error_at = i_ + 1;
    return ok;
  }

 private:
  void SkipSpace() {
    while (i_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[i_])))
      ++i_;
  }
  static bool IsWordChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' ||
           c == '.' || c == '-' || c == '+';
  }
  std::string Word() {
    const size_t b = i_;
    while (i_ < s_.size() && IsWordChar(s_[i_])) ++i_;
    return s_.substr(b, i_ - b);
  }

  bool Node(WktNode* node, int depth) {
    if (depth > kMaxWktDepth) return false;
    SkipSpace();
    node->keyword = Word();
    if (node->keyword.empty()) return false;
    for (char& c : node->keyword) {
      c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    SkipSpace();
    if (i_ >= s_.size() || (s_[i_] != '[' && s_[i_] != '(')) return false;
    const char close = s_[i_] == '[' ? ']' : ')';
    ++i_;
    for (;;) {
      SkipSpace();
      if (i_ >= s_.size()) return false;
      if (s_[i_] == '"') {
        std::string value;
        for (++i_;; ++i_) {
          if (i_ >= s_.size()) return false;
          if (s_[i_] == '"') {
            if (i_ + 1 < s_.size() && s_[i_ + 1] == '"') {
              value += '"';
              ++i_;
            } else {
              ++i_;
              break;
            }
          } else {
            value += s_[i_];
          }
        }
        node->values.push_back(value);
      } else {
        const size_t at = i_;
        const std::string word = Word();
        if (word.empty()) return false;
        SkipSpace();
        if (i_ < s_.size() && (s_[i_] == '[' || s_[i_] == '(')) {
          i_ = at;
          node->children.emplace_back();
          if (!Node(&node->children.back(), depth + 1)) return false;
        } else {
          node->values.push_back(word);
        }
      }
      SkipSpace();
      if (i_ >= s_.size()) return false;
      if (s_[i_] == close) {
        ++i_;
        return true;
      }
      if (s_[i_] != ',') return false;
      ++i_;
    }
  }

  const std::string& s_;
  size_t i_ = 0;
};

const WktNode* Child(const WktNode& node,
                     std::initializer_list<const char*> keywords) {
  for (const WktNode& c : node.children) {
    for (const char* k : keywords) {
      if (c.keyword == k) return &c;
    }
  }
  return nullptr;
}

std::string FirstValue(const WktNode* node) {
  return node != nullptr && !node->values.empty() ? node->values[0] : "";
}

// The factor of a unit node's value (its second), 0 when there is none.
double UnitFactor(const WktNode* unit) {
  double f = 0.0;
  if (unit == nullptr || unit->values.size() < 2 ||
      !ReadNumber(unit->values[1], &f)) {
    return 0.0;
  }
  return f;
}

bool IsDegree(double radians_per_unit) {
  return std::fabs(radians_per_unit - kPi / 180.0) < 1e-15;
}

enum class WktDatum { kCgcs2000, kWgs84, kBeijing1954, kXian1980, kOther };

WktDatum DatumOf(const std::string& name) {
  const std::string k = Key(name);
  if (k.find("china2000") != std::string::npos ||
      k.find("cgcs2000") != std::string::npos ||
      k.find("chinageodeticcoordinatesystem2000") != std::string::npos) {
    return WktDatum::kCgcs2000;
  }
  if (k.find("wgs1984") != std::string::npos ||
      k.find("wgs84") != std::string::npos ||
      k.find("worldgeodeticsystem1984") != std::string::npos) {
    return WktDatum::kWgs84;
  }
  if (k.find("beijing1954") != std::string::npos) return WktDatum::kBeijing1954;
  if (k.find("xian1980") != std::string::npos) return WktDatum::kXian1980;
  return WktDatum::kOther;
}

// The catalogue's code whose projection these constants are, datum
// included, preferring `tag` (a 3-degree meridian and the 6-degree zone
// on it without the zone number are the same grid); 0 for none.
int CatalogueCodeOf(const TransverseMercatorParameters& tm, WktDatum datum,
                    int tag) {
  auto same = [&](int code) {
    const MapProjection p = StandardProjectionOf(code);
    const bool utm = p.kind == ProjectionKind::kUtm;
    return p.kind != ProjectionKind::kNone &&
           (utm ? datum == WktDatum::kWgs84 : datum == WktDatum::kCgcs2000) &&
           std::fabs(p.tm.central_meridian_deg - tm.central_meridian_deg) <
               kSameDeg &&
           std::fabs(p.tm.k0 - tm.k0) < kSameScale &&
           std::fabs(p.tm.false_easting_m - tm.false_easting_m) < kSameM &&
           std::fabs(p.tm.false_northing_m - tm.false_northing_m) < kSameM;
  };
  if (tag != 0 && same(tag)) return tag;
  for (const auto& [first, last] :
       {std::pair{4513, 4554}, std::pair{4491, 4512}, std::pair{32601, 32660},
        std::pair{32701, 32760}}) {
    for (int code = first; code <= last; ++code) {
      if (same(code)) return code;
    }
  }
  return 0;
}

SceneSrs FromProjectedWkt(const WktNode& crs) {
  const Message the_wkt = Bilingual("the WKT", "该 WKT");
  // WKT1 and ESRI: PROJCS[name, GEOGCS[.., DATUM[..]], PROJECTION[..],
  // PARAMETER[..].., UNIT[..], AUTHORITY[..]]; WKT2: PROJCRS[name,
  // BASEGEOGCRS[.., DATUM or ENSEMBLE[..]], CONVERSION[.., METHOD[..],
  // PARAMETER[.., unit]..], CS[..], AXIS[.., unit].., ID[..]].
  const WktNode* base = Child(crs, {"GEOGCS", "BASEGEOGCRS", "BASEGEODCRS"});
  const WktNode* datum_node =
      base != nullptr
          ? Child(*base, {"DATUM", "GEODETICDATUM", "TRF", "ENSEMBLE"})
          : nullptr;
  const std::string datum_name = FirstValue(datum_node);
  // The datum's own name decides; the base CRS's name stands in for it
  // only where the WKT gives no datum.
  const WktDatum datum =
      DatumOf(datum_node != nullptr ? datum_name : FirstValue(base));
  if (datum == WktDatum::kBeijing1954) {
    return RefusedOldDatum(the_wkt, OldDatum::kBeijing1954);
  }
  if (datum == WktDatum::kXian1980) {
    return RefusedOldDatum(the_wkt, OldDatum::kXian1980);
  }
  if (datum == WktDatum::kOther) {
    return Refused(Bilingual("the WKT's datum ", "该 WKT 的基准 ") +
                   Quoted(datum_name) +
                   Bilingual(" is neither CGCS2000 nor WGS84",
                             " 既不是 CGCS2000 也不是 WGS84") +
                   NoDatumTransformation());
  }

  const WktNode* conversion = Child(crs, {"CONVERSION"});
  const WktNode& holder = conversion != nullptr ? *conversion : crs;
  const std::string method =
      FirstValue(Child(holder, {"PROJECTION", "METHOD"}));
  const std::string method_key = Key(method);
  if (method_key != "transversemercator" && method_key != "gausskruger" &&
      method_key != "gausskrueger") {
    return Refused(
        Bilingual("the WKT's projection ", "该 WKT 的投影 ") + Quoted(method) +
        Bilingual(" is not a transverse Mercator", " 不是横轴墨卡托投影"));
  }

  // The grid's length unit: WKT1's UNIT of the projected CRS, WKT2's
  // LENGTHUNIT of its axes (or of the CS as a whole).
  const WktNode* unit = Child(crs, {"UNIT", "LENGTHUNIT"});
  if (unit == nullptr) {
    if (const WktNode* axis = Child(crs, {"AXIS"})) {
      unit = Child(*axis, {"LENGTHUNIT", "UNIT"});
    }
  }
  if (unit != nullptr && UnitFactor(unit) != 1.0) {
    return Refused(Bilingual("the WKT's unit ", "该 WKT 的单位 ") +
                   Quoted(FirstValue(unit)) +
                   Bilingual(" is not the metre", " 不是米"));
  }

  double lat0 = 0.0, cm = kNaN, k0 = 1.0, fe = 0.0, fn = 0.0;
  bool bad_number = false;
  for (const WktNode& p : holder.children) {
    if (p.keyword != "PARAMETER" || p.values.size() < 2) continue;
    double v = 0.0;
    if (!ReadNumber(p.values[1], &v)) {
      bad_number = true;
      continue;
    }
    // WKT2 gives each parameter's unit; WKT1's are degrees and the grid's
    // metres.
    // A unit without its factor cannot be read: a parameter taken as 0
    // would put the grid elsewhere.
    const WktNode* angle = Child(p, {"ANGLEUNIT"});
    const WktNode* length = Child(p, {"LENGTHUNIT"});
    if ((angle != nullptr && UnitFactor(angle) == 0.0) ||
        (length != nullptr && UnitFactor(length) == 0.0)) {
      bad_number = true;
      continue;
    }
    if (angle != nullptr && !IsDegree(UnitFactor(angle))) {
      v = RadToDeg(v * UnitFactor(angle));
    }
    if (length != nullptr) v *= UnitFactor(length);
    const std::string key = Key(p.values[0]);
    if (key == "centralmeridian" || key == "longitudeofnaturalorigin" ||
        key == "longitudeoforigin" || key == "longitudeofcenter") {
      cm = v;
    } else if (key == "scalefactor" || key == "scalefactoratnaturalorigin") {
      k0 = v;
    } else if (key == "falseeasting") {
      fe = v;
    } else if (key == "falsenorthing") {
      fn = v;
    } else if (key == "latitudeoforigin" || key == "latitudeofnaturalorigin") {
      lat0 = v;
    }
  }
  if (bad_number || !std::isfinite(cm) || std::fabs(cm) > 360.0 ||
      !(k0 > 0.5 && k0 < 1.5) || std::fabs(lat0) > 90.0) {
    return Refused(
        Bilingual("the WKT's transverse Mercator lacks a central "
                  "meridian or a sound scale factor, latitude of "
                  "origin or false origin",
                  "该 WKT 的横轴墨卡托投影缺少中央子午线，或其比例因子、"
                  "起算纬度、坐标加常数有误"));
  }

  TransverseMercatorParameters tm;
  if (datum == WktDatum::kWgs84) {
    tm.a_m = kWgs84SemiMajorAxisM;
    tm.flattening = kWgs84Flattening;
  } else {
    tm.a_m = kCgcs2000SemiMajorAxisM;
    tm.flattening = kCgcs2000Flattening;
  }
  tm.k0 = k0;
  tm.central_meridian_deg = cm;
  tm.false_easting_m = fe;
  // A latitude of origin off the equator moves the northings by the
  // meridian arc to it; the projector counts from the equator.
  tm.false_northing_m =
      fn - (lat0 == 0.0 ? 0.0 : Projector(tm).Forward(cm, lat0).y);

  int tag = 0;
  if (const WktNode* id = Child(crs, {"AUTHORITY", "ID"})) {
    if (Key(FirstValue(id)) == "epsg" && id->values.size() >= 2) {
      double code = 0.0;
      if (ReadNumber(id->values[1], &code) && code == std::floor(code) &&
          code > 0 && code < 1e6) {
        tag = static_cast<int>(code);
      }
    }
  }

  SceneSrs srs;
  srs.kind = SceneSrsKind::kProjected;
  srs.named_epsg = tag;
  const MapProjection tagged = StandardProjectionOf(tag);
  if (tagged.kind != ProjectionKind::kNone &&
      std::fabs(tagged.tm.central_meridian_deg - cm) >= kSameDeg) {
    srs.tag_central_meridian_deg = tagged.tm.central_meridian_deg;
  }
  const int code = lat0 == 0.0 ? CatalogueCodeOf(tm, datum, tag) : 0;
  if (code != 0) {
    srs.projection = StandardProjectionOf(code);
  } else {
    srs.projection.kind = ProjectionKind::kTransverseMercator;
    srs.projection.tm = tm;
  }
  return srs;
}

SceneSrs ReadWkt(const std::string& text) {
  WktNode root;
  size_t error_at = 0;
  if (!WktParser(text).Parse(&root, &error_at)) {
    return Refused(Bilingual("the WKT is not well formed (at character ",
                             "该 WKT 格式有误（第 ") +
                   std::to_string(error_at) + Bilingual(")", " 个字符处）"));
  }
  const WktNode* crs = &root;
  if (crs->keyword == "COMPD_CS" || crs->keyword == "COMPOUNDCRS") {
    // A compound system names its horizontal system first.
    crs = crs->children.empty() ? nullptr : &crs->children.front();
  }
  const std::string keyword = crs != nullptr ? crs->keyword : "";
  if (keyword == "PROJCS" || keyword == "PROJCRS" ||
      keyword == "PROJECTEDCRS") {
    return FromProjectedWkt(*crs);
  }
  if (keyword == "GEOGCS" || keyword == "GEOGCRS" ||
      keyword == "GEOGRAPHICCRS" || keyword == "GEODCRS" ||
      keyword == "GEODETICCRS" || keyword == "GEOCCS") {
    return Refused(
        Bilingual("the WKT is a geographic system (longitude and "
                  "latitude), not a grid",
                  "该 WKT 是地理坐标系（经度、纬度），不是投影坐标系"));
  }
  if (keyword == "LOCAL_CS" || keyword == "ENGCRS" ||
      keyword == "ENGINEERINGCRS") {
    return Refused(
        Bilingual("the WKT is a local engineering system, not "
                  "placed on the earth",
                  "该 WKT 是局部工程坐标系，未定位到地球上"));
  }
  return Refused(
      Bilingual("the WKT is neither a projected nor a geographic "
                "system",
                "该 WKT 既不是投影坐标系也不是地理坐标系"));
}

}  // namespace

SceneSrs ReadSceneSrs(const std::string& srs_text) {
  const std::string text = Trimmed(srs_text);
  if (text.empty()) {
    return Refused(Bilingual("the scene names no spatial reference system",
                             "场景未给出坐标系"));
  }
  if (StartsWithNoCase(text, "ENU:")) return ReadEnu(text);
  if (StartsWithNoCase(text, "EPSG:")) return ReadEpsg(text);
  if (text.find('[') != std::string::npos ||
      text.find('(') != std::string::npos) {
    return ReadWkt(text);
  }
  if (StartsWithNoCase(text, "Local")) {
    return Refused(Quoted(text) +
                   Bilingual(" is a local system, not placed on the earth",
                             " 是局部坐标系，未定位到地球上"));
  }
  return Refused(Quoted(text) +
                 Bilingual(" is not a spatial reference system the tool reads",
                           " 不是本工具能读取的坐标系"));
}

Point2 SceneBasePoint(const SceneSrs& srs, const Point3& srs_origin) {
  switch (srs.kind) {
    case SceneSrsKind::kEnu:
      return srs.enu_base_point;
    case SceneSrsKind::kProjected:
      return Projector(srs.projection.tm)
          .Reverse(Point2{srs_origin.x, srs_origin.y});
    default:
      return Point2{kNaN, kNaN};
  }
}

bool IsEastNorthUpFrame(const std::array<double, 16>& m, double tol,
                        Point3* lon_lat_h) {
  // No surface frame lies within this of the earth's centre, metres.
  constexpr double kMinRadiusM = 1e6;
  if (!(std::fabs(m[3]) <= tol && std::fabs(m[7]) <= tol &&
        std::fabs(m[11]) <= tol && std::fabs(m[15] - 1.0) <= tol)) {
    return false;
  }
  const Point3 origin{m[12], m[13], m[14]};
  if (!(std::hypot(origin.x, origin.y, origin.z) >= kMinRadiusM)) return false;
  Point3 geodetic;
  const GeodeticConverter converter(0.0, 0.0);
  converter.EcefToGeodetic(origin, &geodetic);
  // The frame there: EnuToEcefMatrix's columns are its east, north and up.
  const std::array<double, 16> enu =
      EnuToEcefMatrix(GeodeticConverter(geodetic.x, geodetic.y, geodetic.z));
  for (int i = 0; i < 12; ++i) {
    if (i % 4 == 3) continue;
    if (!(std::fabs(m[i] - enu[i]) <= tol)) return false;
  }
  if (lon_lat_h != nullptr) *lon_lat_h = geodetic;
  return true;
}

}  // namespace geoanchor
