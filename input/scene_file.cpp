#include "input/scene_file.h"

#include <expat.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

#include "common/fixed_text.h"
#include "common/unicode_text.h"
#include "input/input_checks.h"
#include "input/point_list.h"

namespace geoanchor {

namespace {

// A scene's origin lies at most this far from its grid's meridian, degrees.
constexpr double kMaxOffMeridianDeg = 6.0;

// What the tool takes, closing every mistake about the file itself.
Message AcceptedFiles() {
  return Message{
      "give ContextCapture's metadata.xml (<SRS> and <SRSOrigin>) or a 3D "
      "Tiles tileset.json whose root transform is an east/north/up frame, or "
      "--basepoint=lon,lat instead of --scene",
      "请给出 ContextCapture 的 metadata.xml（含 <SRS> 和 <SRSOrigin>），或根"
      "节点 transform 为东北天坐标系的 3D Tiles tileset.json，或改用 "
      "--basepoint=lon,lat 代替 --scene"};
}

InputError Mistake(InputErrorCode code, std::string_view path, int line,
                   Message found, Message remedy) {
  return InputError{code, InputPlace{std::string(path), 0, line},
                    std::move(found), std::move(remedy)};
}

bool SameNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

// ---------------------------------------------------------------------------
// metadata.xml

// GBK for expat, which decodes only UTF-8, UTF-16 and Latin-1 itself: every
// byte below 0x80 is ASCII, 0x81..0xFE leads a two-byte character.
int GbkToUnicode(void* /*data*/, const char* s) {
  const char32_t cp = GbkCodePoint(static_cast<unsigned char>(s[0]),
                                   static_cast<unsigned char>(s[1]));
  return cp != 0 ? static_cast<int>(cp) : -1;
}

int XMLCALL GbkEncoding(void* /*data*/, const XML_Char* name,
                        XML_Encoding* info) {
  if (!SameNoCase(name, "GBK") && !SameNoCase(name, "GB2312") &&
      !SameNoCase(name, "CP936")) {
    return XML_STATUS_ERROR;
  }
  for (int b = 0; b < 0x80; ++b) info->map[b] = b;
  for (int b = 0x80; b < 0x100; ++b) {
    const char32_t single = GbkByteCodePoint(static_cast<unsigned>(b));
    info->map[b] = b >= 0x81 && b <= 0xFE ? -2
                   : single != 0          ? static_cast<int>(single)
                                          : -1;
  }
  info->data = nullptr;
  info->convert = &GbkToUnicode;
  info->release = nullptr;
  return XML_STATUS_OK;
}

// What the parse collects: the root's name and its <SRS> and <SRSOrigin>
// children's text (the first of each).
struct MetadataText {
  XML_Parser parser = nullptr;
  int depth = 0;
  std::string root;
  bool has_srs = false, has_origin = false;
  std::string srs, origin;
  std::string* collecting = nullptr;  // the element whose text is read
  bool doctype = false;
};

void XMLCALL StartElement(void* data, const XML_Char* name,
                          const XML_Char** /*attributes*/) {
  MetadataText* m = static_cast<MetadataText*>(data);
  ++m->depth;
  if (m->depth == 1) m->root = name;
  if (m->depth != 2) return;
  const std::string element = name;
  if (element == "SRS" && !m->has_srs) {
    m->has_srs = true;
    m->collecting = &m->srs;
  } else if (element == "SRSOrigin" && !m->has_origin) {
    m->has_origin = true;
    m->collecting = &m->origin;
  }
}

void XMLCALL EndElement(void* data, const XML_Char* /*name*/) {
  MetadataText* m = static_cast<MetadataText*>(data);
  if (m->depth == 2) m->collecting = nullptr;
  --m->depth;
}

void XMLCALL Characters(void* data, const XML_Char* s, int length) {
  MetadataText* m = static_cast<MetadataText*>(data);
  if (m->collecting != nullptr && m->depth == 2) {
    m->collecting->append(s, static_cast<size_t>(length));
  }
}

// A document type may declare entities that expand without bound; no
// producer writes one, so none is read.
void XMLCALL StartDoctype(void* data, const XML_Char* /*name*/,
                          const XML_Char* /*sysid*/, const XML_Char* /*pubid*/,
                          int /*has_internal_subset*/) {
  MetadataText* m = static_cast<MetadataText*>(data);
  m->doctype = true;
  XML_StopParser(m->parser, XML_FALSE);
}

std::string Trimmed(std::string_view text) {
  size_t b = 0, e = text.size();
  while (b < e && IsListSpace(text[b])) ++b;
  while (e > b && IsListSpace(text[e - 1])) --e;
  return std::string(text.substr(b, e - b));
}

std::optional<InputError> ReadMetadata(std::string_view path,
                                       std::string_view bytes,
                                       SceneFile* scene) {
  MetadataText m;
  XML_Parser parser = XML_ParserCreate(nullptr);
  if (parser == nullptr) {
    return Mistake(InputErrorCode::kSceneFile, path, 0,
                   Message{"no memory to read it", "内存不足，无法读取"},
                   Message{"free memory and run again", "请释放内存后重试"});
  }
  m.parser = parser;
  XML_SetUserData(parser, &m);
  XML_SetElementHandler(parser, &StartElement, &EndElement);
  XML_SetCharacterDataHandler(parser, &Characters);
  XML_SetStartDoctypeDeclHandler(parser, &StartDoctype);
  XML_SetUnknownEncodingHandler(parser, &GbkEncoding, nullptr);
  // Fed in pieces: expat takes its length as an int.
  constexpr size_t kPiece = 1 << 20;
  bool ok = true;
  size_t at = 0;
  do {
    const size_t n = std::min(kPiece, bytes.size() - at);
    const bool last = at + n == bytes.size();
    ok = XML_Parse(parser, bytes.data() + at, static_cast<int>(n),
                   last ? XML_TRUE : XML_FALSE) == XML_STATUS_OK;
    at += n;
  } while (ok && at < bytes.size());
  const int line = static_cast<int>(XML_GetCurrentLineNumber(parser));
  const XML_Error code = XML_GetErrorCode(parser);
  XML_ParserFree(parser);
  if (m.doctype) {
    return Mistake(InputErrorCode::kSceneFile, path, line,
                   Message{"a document type declaration, which the tool does "
                           "not read",
                           "含有文档类型声明（DOCTYPE），本工具不读取"},
                   AcceptedFiles());
  }
  if (!ok) {
    const std::string reason = XML_ErrorString(code);
    if (code == XML_ERROR_UNKNOWN_ENCODING) {
      return Mistake(
          InputErrorCode::kSceneFile, path, line,
          Message{"its XML declaration names an encoding the tool does not "
                  "read (" +
                      reason + ")",
                  "其 XML 声明的编码本工具无法读取"},
          Message{"save it as UTF-8 (or declare GBK where it is GBK), or give "
                  "--basepoint=lon,lat instead of --scene",
                  "请将其另存为 UTF-8（若为 GBK 编码，请在声明中写明 GBK），"
                  "或改用 --basepoint=lon,lat 代替 --scene"});
    }
    if (code == XML_ERROR_INCORRECT_ENCODING) {
      return Mistake(
          InputErrorCode::kSceneFile, path, line,
          Message{"its XML declaration names another encoding than its bytes "
                  "are in (" +
                      reason + ")",
                  "其 XML 声明的编码与文件实际编码不符"},
          Message{"correct the declaration's encoding or leave it out, or "
                  "save the file as UTF-8, or give --basepoint=lon,lat "
                  "instead of --scene",
                  "请改正或删去声明中的编码，或将文件另存为 UTF-8，或改用 "
                  "--basepoint=lon,lat 代替 --scene"});
    }
    return Mistake(
        InputErrorCode::kSceneFile, path, line,
        Message{"not well-formed XML (" + reason + ")", "不是格式正确的 XML"},
        AcceptedFiles());
  }
  if (m.root != "ModelMetadata") {
    return Mistake(InputErrorCode::kSceneFile, path, 0,
                   Message{"its root element is " + Quote(m.root) +
                               ", not ContextCapture's <ModelMetadata>",
                           "其根元素为 " + Quote(m.root) +
                               "，不是 ContextCapture 的 <ModelMetadata>"},
                   AcceptedFiles());
  }
  scene->kind = SceneFileKind::kMetadata;
  scene->srs_text = Trimmed(m.srs);
  scene->srs = ReadSceneSrs(scene->srs_text);
  if (scene->srs.kind == SceneSrsKind::kRefused) {
    return Mistake(InputErrorCode::kSceneSrs, path, 0, scene->srs.refusal,
                   Message{"correct <SRS>, or give --basepoint=lon,lat instead "
                           "of --scene",
                           "请改正 <SRS>，或改用 --basepoint=lon,lat 代替 "
                           "--scene"});
  }
  const std::string origin = Trimmed(m.origin);
  const bool projected = scene->srs.kind == SceneSrsKind::kProjected;
  if (origin.empty() && projected) {
    return Mistake(
        InputErrorCode::kSceneOrigin, path, 0,
        Message{"a projected scene without <SRSOrigin>, so its position in "
                "the grid is unknown",
                "投影坐标系的场景缺少 <SRSOrigin>，无从确定其在投影中的位置"},
        Message{"give <SRSOrigin>easting,northing,height</SRSOrigin> as the "
                "producer wrote it, or --basepoint=lon,lat instead of --scene",
                "请按生产软件的输出补上 <SRSOrigin>东坐标,北坐标,高程"
                "</SRSOrigin>，或改用 --basepoint=lon,lat 代替 --scene"});
  }
  if (!origin.empty()) {
    const PointListReading triple = ReadPointList(origin, 3);
    const PointListReading pair = ReadPointList(origin, 2);
    if (triple.points.size() == 1 && triple.numbers == 3 &&
        triple.stop == origin.size()) {
      scene->srs_origin = triple.points[0];
    } else if (pair.points.size() == 1 && pair.numbers == 2 &&
               pair.stop == origin.size()) {
      scene->srs_origin = pair.points[0];
    } else {
      return Mistake(
          InputErrorCode::kSceneOrigin, path, 0,
          Message{
              "<SRSOrigin> holds " + Quote(origin) +
                  ", not two or three numbers",
              "<SRSOrigin> 的内容为 " + Quote(origin) + "，不是两个或三个数"},
          Message{"write it as x,y,z in the SRS's metres (0,0,0 for none), "
                  "or give --basepoint=lon,lat instead of --scene",
                  "请写成以坐标系的米为单位的 x,y,z（无偏移时为 0,0,0），"
                  "或改用 --basepoint=lon,lat 代替 --scene"});
    }
  }
  const Point2 base = SceneBasePoint(scene->srs, scene->srs_origin);
  // A grid covers a few degrees either side of its meridian (a 6-degree
  // zone 3, a city's own less); an origin that the projection carries
  // farther, or not at all, is not a point of this scene's grid.
  const double off_meridian_deg =
      projected
          ? std::fabs(base.x - scene->srs.projection.tm.central_meridian_deg)
          : 0.0;
  if (!(std::isfinite(base.x) && std::isfinite(base.y) &&
        off_meridian_deg <= kMaxOffMeridianDeg)) {
    const std::string easting = FormatDouble("%.3f", scene->srs_origin.x);
    const std::string northing = FormatDouble("%.3f", scene->srs_origin.y);
    return Mistake(
        InputErrorCode::kSceneOrigin, path, 0,
        Message{"<SRSOrigin> " + easting + "," + northing +
                    " lies outside its grid, more than 6° from the grid's "
                    "central meridian or off the earth",
                "<SRSOrigin> " + easting + "," + northing +
                    " 超出其投影范围：距中央子午线超过 6° 或不在地球上"},
        Message{"check <SRSOrigin> against <SRS> (an easting with its zone "
                "number where the grid has none, or the other way round), or "
                "give --basepoint=lon,lat instead of --scene",
                "请对照 <SRS> 检查 "
                "<SRSOrigin>（如投影不含带号而东坐标含带号，或相反），"
                "或改用 --basepoint=lon,lat 代替 --scene"});
  }
  scene->base_point = Point3{base.x, base.y, 0.0};
  return std::nullopt;
}

// ---------------------------------------------------------------------------
// tileset.json

std::optional<InputError> ReadTileset(std::string_view path,
                                      std::string_view bytes,
                                      SceneFile* scene) {
  const nlohmann::json json =
      nlohmann::json::parse(bytes.begin(), bytes.end(), nullptr, false);
  if (json.is_discarded()) {
    return Mistake(InputErrorCode::kSceneFile, path, 0,
                   Message{"not well-formed JSON", "不是格式正确的 JSON"},
                   AcceptedFiles());
  }
  const Message no_frame{
      "give the scene's metadata.xml instead, or --basepoint=lon,lat instead "
      "of --scene",
      "请改给场景的 metadata.xml，或改用 --basepoint=lon,lat 代替 --scene"};
  if (!json.is_object() || !json.contains("root") ||
      !json["root"].is_object()) {
    return Mistake(InputErrorCode::kSceneFile, path, 0,
                   Message{"a JSON document without a 3D Tiles root tile",
                           "JSON 文档中没有 3D Tiles 的根节点（root）"},
                   AcceptedFiles());
  }
  const nlohmann::json& root = json["root"];
  if (!root.contains("transform")) {
    return Mistake(InputErrorCode::kSceneTransform, path, 0,
                   Message{"the root tile has no transform, so the tileset "
                           "says nothing of where it lies",
                           "根节点没有 transform，无从得知场景的位置"},
                   no_frame);
  }
  const nlohmann::json& transform = root["transform"];
  std::array<double, 16> m{};
  bool numbers = transform.is_array() && transform.size() == 16;
  for (size_t i = 0; numbers && i < 16; ++i) {
    numbers = transform[i].is_number();
    if (numbers) m[i] = transform[i].get<double>();
  }
  Point3 frame;
  if (!numbers || !IsEastNorthUpFrame(m, 1e-9, &frame)) {
    const Message found =
        numbers ? Message{"the root transform is not an east/north/up frame "
                          "at a point (within 1e-9)",
                          "根节点的 transform 不是某点处的东北天坐标系"
                          "（容差 1e-9）"}
                : Message{"the root transform is not 16 numbers",
                          "根节点的 transform 不是 16 个数"};
    return Mistake(InputErrorCode::kSceneTransform, path, 0, found, no_frame);
  }
  scene->kind = SceneFileKind::kTileset;
  scene->srs_text = "ENU:" + FormatDouble("%.17g", frame.y) + "," +
                    FormatDouble("%.17g", frame.x);
  scene->srs = ReadSceneSrs(scene->srs_text);
  scene->srs_origin = Point3{0.0, 0.0, frame.z};
  scene->base_point = Point3{frame.x, frame.y, 0.0};
  return std::nullopt;
}

}  // namespace

std::optional<InputError> ReadSceneFile(std::string_view path,
                                        std::string_view bytes,
                                        std::string_view read_error,
                                        SceneFile* scene) {
  if (!read_error.empty()) {
    const std::string reason(read_error), file(path);
    return InputError{InputErrorCode::kUnreadableFile,
                      InputPlace{},
                      {"cannot read the --scene file " + file + ": " + reason,
                       "无法读取 --scene 文件 " + file + "：" + reason},
                      {"check its path", "请检查它的路径"}};
  }
  *scene = SceneFile();
  scene->path = std::string(path);
  // The first character that is not a blank or a byte-order mark tells
  // XML from JSON. UTF-16 is XML's only: expat reads it from its mark.
  size_t i = 0;
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") i = 3;
  while (i < bytes.size() && IsListSpace(bytes[i])) ++i;
  const bool utf16 =
      bytes.substr(0, 2) == "\xFF\xFE" || bytes.substr(0, 2) == "\xFE\xFF";
  if (utf16 || (i < bytes.size() && bytes[i] == '<')) {
    return ReadMetadata(path, bytes, scene);
  }
  if (i < bytes.size() && (bytes[i] == '{' || bytes[i] == '[')) {
    // JSON is UTF-8 without a mark (RFC 8259); a writer's mark is passed.
    return ReadTileset(
        path, bytes.substr(bytes.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0),
        scene);
  }
  return Mistake(InputErrorCode::kSceneFile, path, 0,
                 i < bytes.size()
                     ? Message{"neither an XML nor a JSON document",
                               "既不是 XML 文档，也不是 JSON 文档"}
                     : Message{"the file is empty", "文件为空"},
                 AcceptedFiles());
}

}  // namespace geoanchor
