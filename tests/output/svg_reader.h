// Reads an SVG text with expat, an independent XML parser: whether it is
// well-formed XML, and its elements with their attributes and text.
#ifndef GEOANCHOR_TESTS_OUTPUT_SVG_READER_H_
#define GEOANCHOR_TESTS_OUTPUT_SVG_READER_H_

#include <expat.h>

#include <map>
#include <string>
#include <vector>

namespace geoanchor {

struct SvgElement {
  std::string name;
  std::map<std::string, std::string> attributes;
  std::string text;  // character data directly inside the element
};

struct SvgDocument {
  bool well_formed = false;
  std::string error;  // expat's message and line when not well-formed
  std::vector<SvgElement> elements;  // in document order

  // Elements whose "class" attribute holds `word` among its words.
  std::vector<const SvgElement*> WithClass(const std::string& word) const {
    std::vector<const SvgElement*> found;
    for (const SvgElement& e : elements) {
      const auto it = e.attributes.find("class");
      if (it == e.attributes.end()) continue;
      const std::string padded = " " + it->second + " ";
      if (padded.find(" " + word + " ") != std::string::npos) {
        found.push_back(&e);
      }
    }
    return found;
  }
};

inline SvgDocument ReadSvg(const std::string& text) {
  struct State {
    SvgDocument document;
    std::vector<size_t> open;  // indices of the open elements
  } state;
  XML_Parser parser = XML_ParserCreate("UTF-8");
  XML_SetUserData(parser, &state);
  XML_SetElementHandler(
      parser,
      [](void* data, const XML_Char* name, const XML_Char** attributes) {
        State* s = static_cast<State*>(data);
        SvgElement e;
        e.name = name;
        for (int i = 0; attributes[i] != nullptr; i += 2) {
          e.attributes[attributes[i]] = attributes[i + 1];
        }
        s->open.push_back(s->document.elements.size());
        s->document.elements.push_back(e);
      },
      [](void* data, const XML_Char*) {
        static_cast<State*>(data)->open.pop_back();
      });
  XML_SetCharacterDataHandler(
      parser, [](void* data, const XML_Char* chars, int length) {
        State* s = static_cast<State*>(data);
        if (!s->open.empty()) {
          s->document.elements[s->open.back()].text.append(chars, length);
        }
      });
  const bool ok = XML_Parse(parser, text.data(), static_cast<int>(text.size()),
                            1) == XML_STATUS_OK;
  state.document.well_formed = ok;
  if (!ok) {
    state.document.error =
        std::string(XML_ErrorString(XML_GetErrorCode(parser))) + " at line " +
        std::to_string(XML_GetCurrentLineNumber(parser));
  }
  XML_ParserFree(parser);
  return state.document;
}

}  // namespace geoanchor

#endif  // GEOANCHOR_TESTS_OUTPUT_SVG_READER_H_
