// The opt-in residual plot, through the real executable, and as a real
// browser shows it.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "output/residual_plot.h"
#include "tests/app/cli_runner.h"
#include "tests/output/svg_reader.h"

namespace geoanchor {

namespace {

// The bundled example with point 3's target moved about 1 m east, and
// the warning every run of it writes.
const char kOutlierExample[] =
    "--flagfile=" GEOANCHOR_EXAMPLES_DIR "/tianjin-outlier.flags";
const char kOutlierWarning[] =
    "GeoAnchorSolve: warning: point 3 deviates by 1.044 m and is an outlier: "
    "check its drawing coordinates and its WGS84 position (outlier)\n";

TEST_F(CliTest, PlotIsWrittenOnlyBySuccessfulRunsThatAskForIt) {
  const std::string plot = dir_ + "/plot.svg";
  const Result plain = Run({kOutlierExample});
  ASSERT_EQ(0, plain.status);
  const Result with = Run({kOutlierExample, "--plot=" + plot});
  ASSERT_EQ(0, with.status) << with.err;
  EXPECT_EQ(plain.out, with.out);  // the console is the same
  EXPECT_EQ(kOutlierWarning, plain.err);
  EXPECT_EQ(kOutlierWarning, with.err);

  const SvgDocument doc = ReadSvg(ReadFile(plot));
  ASSERT_TRUE(doc.well_formed) << doc.error;
  const std::vector<const SvgElement*> markers = doc.WithClass("marker");
  ASSERT_EQ(6u, markers.size());
  for (size_t i = 0; i < markers.size(); ++i) {
    EXPECT_EQ(i == 2, markers[i]->attributes.at("fill") == kOutlierColour) << i;
  }
  const std::vector<const SvgElement*> labels = doc.WithClass("label");
  ASSERT_EQ(6u, labels.size());
  for (size_t i = 0; i < labels.size(); ++i) {
    EXPECT_EQ(std::to_string(i + 1), labels[i]->text);
  }
  // The outlier's deviation, 1.044 m, is written beside it.
  bool written = false;
  for (const SvgElement* e : doc.WithClass("outlier")) {
    written = written || e->text == "1.044 m";
  }
  EXPECT_TRUE(written);

  // A failed run leaves an existing plot alone.
  std::ofstream(plot) << "old";
  EXPECT_EQ(255,
            Run({kOutlierExample, "--zoffset=nan", "--plot=" + plot}).status);
  EXPECT_EQ("old", ReadFile(plot));

  // A plot that cannot be written fails the run after its whole output.
  const std::string taken = dir_ + "/taken";
  ASSERT_EQ(0, mkdir(taken.c_str(), 0755));
  const Result r = Run({kOutlierExample, "--plot=" + taken});
  EXPECT_EQ(255, r.status);
  EXPECT_NE(std::string::npos, r.out.find("A B K Angle :"));
  EXPECT_EQ(
      kOutlierWarning + ("GeoAnchorSolve: cannot write plot " + taken + ": " +
                         (kUnderWine ? "cannot replace (Windows error 5)"
                                     : "Is a directory") +
                         "\n"),
      r.err);
}

// Why a test that renders is skipped.
const char kNoChromium[] =
    "no headless Chromium (chromium-headless-shell or chromium) is "
    "installed: the plot was not rendered";

// The first headless Chromium on PATH, or "".
std::string FindChromium() {
  for (const char* name : {"chromium-headless-shell", "chromium"}) {
    const std::string probe =
        std::string("command -v ") + name + " >/dev/null 2>&1";
    if (std::system(probe.c_str()) == 0) return name;
  }
  return "";
}

struct Picture {
  bool ok = false;
  unsigned width = 0;
  unsigned height = 0;
  std::vector<unsigned char> rgb;
};

Picture ReadPng(const std::string& path) {
  Picture p;
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return p;
  image.format = PNG_FORMAT_RGB;
  p.rgb.resize(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, p.rgb.data(), 0, nullptr)) {
    return p;
  }
  p.ok = true;
  p.width = image.width;
  p.height = image.height;
  return p;
}

// Renders `plot` with `chromium`, shown 800 px wide, and counts, inside the
// plot's frame (page units 20 to 660 of 1000, so pixels 16 to 528), the pixels
// of the outlier's red, #d62728 (214, 39, 40), within the blending of
// anti-aliased edges; and over the whole picture, the inked pixels and the
// colours.
struct Rendering {
  bool ok = false;
  size_t red_in_frame = 0;
  size_t ink = 0;
  size_t pixels = 0;
  size_t colours = 0;
};

// The command that opens `page` in `chromium` headless with `options`: as
// root Chromium needs --no-sandbox; the rest keeps it off the network and
// away from any profile but one in `dir`.
std::string HeadlessChromium(const std::string& chromium,
                             const std::string& dir, const std::string& options,
                             const std::string& page) {
  return "timeout 120 " + chromium +
         " --headless --no-sandbox --disable-gpu --disable-quic --no-first-run"
         " --disable-background-networking --disable-component-update"
         " --disable-sync --user-data-dir='" +
         dir + "/profile' " + options + " 'file://" + page + "'";
}

// A screenshot by `chromium` of the HTML `page`, in a window `width` px
// wide and 560 px high.
Picture Screenshot(const std::string& chromium, const std::string& page,
                   const std::string& dir, unsigned width) {
  const std::string png = page + ".png";
  const std::string command =
      HeadlessChromium(
          chromium, dir,
          "--hide-scrollbars --window-size=" + std::to_string(width) +
              ",560 --screenshot='" + png + "'",
          page) +
      " >/dev/null 2>&1";
  EXPECT_EQ(0, std::system(command.c_str())) << command;
  return ReadPng(png);
}

Rendering Render(const std::string& chromium, const std::string& plot,
                 const std::string& dir) {
  Rendering out;
  // The plot shown 800 px wide, as a page or a document would show it.
  const std::string page = plot + ".html";
  std::ofstream(page) << "<!DOCTYPE html><html><body style=\"margin:0\">"
                         "<img src=\"file://"
                      << plot << "\" style=\"width:800px\"></body></html>";
  const Picture picture = Screenshot(chromium, page, dir, 800);
  if (!picture.ok || picture.width != 800u) return out;
  out.ok = true;
  std::set<unsigned> colours;
  for (unsigned y = 0; y < picture.height; ++y) {
    for (unsigned x = 0; x < picture.width; ++x) {
      const size_t i = 3 * (static_cast<size_t>(y) * picture.width + x);
      const int r = picture.rgb[i], g = picture.rgb[i + 1],
                b = picture.rgb[i + 2];
      colours.insert(static_cast<unsigned>(r << 16 | g << 8 | b));
      if (r + g + b < 600) ++out.ink;
      if (x > 16 && x < 528 && y > 16 && y < 528 && std::abs(r - 214) < 24 &&
          std::abs(g - 39) < 24 && std::abs(b - 40) < 24) {
        ++out.red_in_frame;
      }
    }
  }
  out.pixels = static_cast<size_t>(picture.width) * picture.height;
  out.colours = colours.size();
  return out;
}

TEST_F(CliTest, BrowserShowsThePlotWithTheOutlierInRed) {
  const std::string chromium = FindChromium();
  if (chromium.empty()) GTEST_SKIP() << kNoChromium;
  const std::string plot = dir_ + "/plot.svg";
  ASSERT_EQ(0, Run({kOutlierExample, "--plot=" + plot}).status);
  const Rendering with = Render(chromium, plot, dir_);
  ASSERT_TRUE(with.ok);
  EXPECT_GT(with.ink, with.pixels / 100);  // not blank
  EXPECT_GT(with.colours, 20u);
  EXPECT_GT(with.red_in_frame, 20u);  // the marker alone is about 50 pixels

  // The example without the outlier has no red inside the frame.
  const std::string clean = dir_ + "/clean.svg";
  ASSERT_EQ(0, Run({"--flagfile=" GEOANCHOR_EXAMPLES_DIR "/tianjin.flags",
                    "--plot=" + clean})
                   .status);
  const Rendering without = Render(chromium, clean, dir_);
  ASSERT_TRUE(without.ok);
  EXPECT_EQ(0u, without.red_in_frame);
}

TEST_F(CliTest, BrowserShowsNoLegendBeyondThePlotsRightEdge) {
  const std::string chromium = FindChromium();
  if (chromium.empty()) GTEST_SKIP() << kNoChromium;
  // The outlier example with point 3's target 0.05 degrees (about 4 km)
  // further east: RMS and sigma0 of kilometres make the legend's longest
  // figures line, which once ran past the right edge; in either language.
  struct Case {
    const char* lang;
    const char* sigma0;  // how the figures line names it
  };
  const Case cases[] = {{"en", "sigma0 ="},
                        {"zh",
                         "\xCF\x83"
                         "0 ="}};  // σ0
  for (const Case& c : cases) {
    const std::string plot = dir_ + "/plot-" + c.lang + ".svg";
    const Result r = Run({kOutlierExample,
                          "--DWGdespoints=117.1963623000,39.0929411793,3.21 "
                          "117.2066646068,39.0925251848,4.05 "
                          "117.2618189595,39.1008583666,2.87 "
                          "117.2013207095,39.1060365750,5.62 "
                          "117.1911594243,39.1014978852,3.94 "
                          "117.2038138992,39.0975688009,12.48",
                          std::string("--lang=") + c.lang, "--plot=" + plot});
    ASSERT_EQ(0, r.status) << r.err;
    std::string svg = ReadFile(plot);
    ASSERT_NE(std::string::npos, svg.find(c.sigma0)) << svg;
    // The picture inline in a page, 800 px wide, painting what lies beyond
    // its edges (an <img> would clip it), in a window 1000 px wide.
    svg.erase(0, svg.find("<svg"));
    svg.insert(4, " style=\"width:800px;height:auto;overflow:visible\"");
    const std::string page = plot + ".inline.html";
    std::ofstream(page) << "<!DOCTYPE html><html><head><meta charset=\"utf-8\">"
                           "</head><body style=\"margin:0\">"
                        << svg << "</body></html>";
    const Picture picture = Screenshot(chromium, page, dir_, 1000);
    ASSERT_TRUE(picture.ok) << c.lang;
    ASSERT_EQ(1000u, picture.width) << c.lang;
    size_t ink_inside = 0, ink_beyond = 0;
    for (unsigned y = 0; y < picture.height; ++y) {
      for (unsigned x = 0; x < picture.width; ++x) {
        const size_t i = 3 * (static_cast<size_t>(y) * picture.width + x);
        if (picture.rgb[i] + picture.rgb[i + 1] + picture.rgb[i + 2] >= 600) {
          continue;
        }
        // The plot's right edge lands on pixel 800.
        (x < 800 ? ink_inside : ink_beyond) += 1;
      }
    }
    EXPECT_GT(ink_inside, picture.width * picture.height / 200) << c.lang;
    EXPECT_EQ(0u, ink_beyond) << c.lang;
  }
}

// The package that gives a Debian system the Chinese glyphs the plot's
// fonts ask for (scripts/install-deps lists it with the tests').
const char kCjkFontPackage[] = "fonts-wqy-microhei";

// A page that shows the SVG `svg` inline and then, for every character of
// every <text> but blanks, draws it on a canvas in that text's font (the
// plot's font-family, its weight) and compares the pixels with those of
// U+10FFFD, a private-use code point no font draws: equal pixels are the
// fallback box (.notdef), a character no installed font has. It writes
// "checked N missing [...]" into <pre id="glyphs">.
std::string GlyphCheckPage(std::string svg) {
  svg.erase(0, svg.find("<svg"));
  return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"></head>"
         "<body style=\"margin:0\">" +
         svg +
         "<pre id=\"glyphs\"></pre><script>\n"
         "const canvas = document.createElement('canvas');\n"
         "canvas.width = 64; canvas.height = 64;\n"
         "const context = canvas.getContext('2d', {willReadFrequently: "
         "true});\n"
         "function Pixels(c, font) {\n"
         "  context.clearRect(0, 0, 64, 64);\n"
         "  context.font = font;\n"
         "  context.fillText(c, 8, 44);\n"
         "  return context.getImageData(0, 0, 64, 64).data.join();\n"
         "}\n"
         "const missing = new Set();\n"
         "let checked = 0;\n"
         "for (const text of document.querySelectorAll('svg text')) {\n"
         "  const style = getComputedStyle(text);\n"
         "  const font = style.fontWeight + ' 32px ' + style.fontFamily;\n"
         "  const box = Pixels(String.fromCodePoint(0x10FFFD), font);\n"
         "  for (const c of text.textContent) {\n"
         "    if (/\\s/.test(c)) continue;\n"
         "    ++checked;\n"
         "    if (Pixels(c, font) === box) missing.add(c);\n"
         "  }\n"
         "}\n"
         "document.getElementById('glyphs').textContent =\n"
         "    'checked ' + checked + ' missing [' + [...missing].join('') + "
         "']';\n"
         "</script></body></html>\n";
}

TEST_F(CliTest, BrowserDrawsEveryCharacterOfAChinesePlot) {
  const std::string chromium = FindChromium();
  if (chromium.empty()) GTEST_SKIP() << kNoChromium;
  const std::string plot = dir_ + "/plot.svg";
  const Result r = Run({kOutlierExample, "--lang=zh", "--plot=" + plot});
  ASSERT_EQ(0, r.status) << r.err;
  const std::string page = plot + ".glyphs.html";
  std::ofstream(page) << GlyphCheckPage(ReadFile(plot));
  const std::string dom = page + ".dom";
  const std::string command =
      HeadlessChromium(chromium, dir_, "--dump-dom", page) + " >'" + dom +
      "' 2>/dev/null";
  ASSERT_EQ(0, std::system(command.c_str())) << command;
  const std::string out = ReadFile(dom);
  const size_t at = out.find("<pre id=\"glyphs\">checked ");
  ASSERT_NE(std::string::npos, at) << "the page's script did not run";
  const std::string result =
      out.substr(at + 17, out.find("</pre>", at) - at - 17);
  unsigned checked = 0;
  ASSERT_EQ(1, std::sscanf(result.c_str(), "checked %u", &checked)) << result;
  // The legend's Chinese alone is well over a hundred characters.
  EXPECT_GT(checked, 200u) << result;
  const size_t open = result.find(" missing [");
  ASSERT_NE(std::string::npos, open) << result;
  const std::string missing =
      result.substr(open + 10, result.size() - open - 11);
  EXPECT_EQ("", missing) << "no installed font draws these characters of the "
                            "plot: install a Chinese font (Debian: "
                         << kCjkFontPackage << ", see scripts/install-deps)";
}

}  // namespace

}  // namespace geoanchor
