// The map check read back by a real GeoJSON reader: Python's json and
// shapely (read_geojson.py), as QGIS and geojson.io read the file.
#ifndef GEOANCHOR_TESTS_OUTPUT_READ_GEOJSON_H_
#define GEOANCHOR_TESTS_OUTPUT_READ_GEOJSON_H_

#include <cstdio>
#include <string>

namespace geoanchor {

// What the reader says of the file at `path`, then "exit <status>".
inline std::string ReadGeoJsonFile(const std::string& path) {
  const std::string command = std::string(GEOANCHOR_PYTHON " ") +
                              GEOANCHOR_GEOJSON_READER " '" + path + "' 2>&1";
  std::string out;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
    out += "exit " + std::to_string(pclose(pipe));
  }
  return out;
}

}  // namespace geoanchor

#endif  // GEOANCHOR_TESTS_OUTPUT_READ_GEOJSON_H_
