// qtx plot: the axis arithmetic, the per-column reduction and the XML
// escaping on their own, then the binary's SVG parsed as XML and measured:
// one line per channel inside the frame, titles and legend from the file,
// every spike of a million rows kept in a small file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/TempFile.h"
#include "plot/Chart.h"
#include "tools/RunQtx.h"
#include "plot/Svg.h"

namespace {

using qtx::test::RunQtx;
using qtx::test::TempFile;
using qtx::tool::Axis;
using qtx::tool::MakeAxis;
using qtx::tool::Point;
using qtx::tool::TickLabel;

// --- a strict reader of the XML the writer produces ----------------------

struct Element {
  std::string name;
  std::map<std::string, std::string> attributes;
  std::string text;  // character data directly inside, entities decoded
};

// Parses `xml` and fails with a message on anything that is not well-formed:
// one root element, matching tags, quoted attributes given once, the five
// entities and character references only, UTF-8 without control characters.
class XmlReader {
 public:
  explicit XmlReader(const std::string& xml) : m_xml(xml) {
    CheckCharacters();
    if (m_xml.compare(0, 5, "<?xml") == 0) m_pos = m_xml.find("?>") + 2;
    SkipSpace();
    ParseElement();
    SkipSpace();
    if (m_error.empty() && m_pos != m_xml.size()) Fail("content after the root element");
  }

  const std::string& Error() const { return m_error; }
  std::vector<const Element*> All(const std::string& name) const {
    std::vector<const Element*> found;
    for (const Element& e : m_elements)
      if (e.name == name) found.push_back(&e);
    return found;
  }
  const Element* WithClass(const std::string& name, const std::string& cls) const {
    for (const Element& e : m_elements)
      if (e.name == name && e.attributes.count("class") && e.attributes.at("class") == cls) return &e;
    return nullptr;
  }

 private:
  void Fail(const std::string& what) {
    if (m_error.empty()) m_error = what + " at byte " + std::to_string(m_pos);
  }
  bool At(char c) const { return m_pos < m_xml.size() && m_xml[m_pos] == c; }
  void SkipSpace() {
    while (m_pos < m_xml.size() && std::isspace(static_cast<unsigned char>(m_xml[m_pos]))) ++m_pos;
  }
  std::string Name() {
    const std::size_t start = m_pos;
    while (m_pos < m_xml.size() && (std::isalnum(static_cast<unsigned char>(m_xml[m_pos])) ||
                                    std::string("_:.-").find(m_xml[m_pos]) != std::string::npos))
      ++m_pos;
    if (m_pos == start) Fail("expected a name");
    return m_xml.substr(start, m_pos - start);
  }
  // Character data up to `stop`, with its references decoded.
  std::string Data(char stop) {
    std::string out;
    while (m_error.empty() && m_pos < m_xml.size() && m_xml[m_pos] != stop) {
      const char c = m_xml[m_pos];
      if (c == '<') {
        Fail("'<' in character data");
        return out;
      }
      if (c != '&') {
        out += c;
        ++m_pos;
        continue;
      }
      const std::size_t end = m_xml.find(';', m_pos);
      if (end == std::string::npos) {
        Fail("unterminated reference");
        return out;
      }
      const std::string ref = m_xml.substr(m_pos + 1, end - m_pos - 1);
      static const std::map<std::string, std::string> kEntities = {
          {"amp", "&"}, {"lt", "<"}, {"gt", ">"}, {"quot", "\""}, {"apos", "'"}};
      if (kEntities.count(ref)) {
        out += kEntities.at(ref);
      } else if (ref.size() > 1 && ref[0] == '#') {
        const long code = ref[1] == 'x' ? std::strtol(ref.c_str() + 2, nullptr, 16)
                                        : std::strtol(ref.c_str() + 1, nullptr, 10);
        if (code < 0x20 && code != 0x9 && code != 0xA && code != 0xD)
          Fail("reference to a control character");
        out += "?";
      } else {
        Fail("unknown entity &" + ref + ";");
      }
      m_pos = end + 1;
    }
    return out;
  }
  void ParseElement() {
    if (!At('<')) return Fail("expected an element");
    ++m_pos;
    const std::size_t index = m_elements.size();
    m_elements.push_back({Name(), {}, {}});
    const std::string name = m_elements[index].name;
    for (;;) {
      SkipSpace();
      if (!m_error.empty()) return;
      if (m_xml.compare(m_pos, 2, "/>") == 0) {
        m_pos += 2;
        return;
      }
      if (At('>')) break;
      const std::string attribute = Name();
      SkipSpace();
      if (!At('=')) return Fail("expected '='");
      ++m_pos;
      SkipSpace();
      if (!At('"') && !At('\'')) return Fail("unquoted attribute value");
      const char quote = m_xml[m_pos++];
      std::string value = Data(quote);
      if (!At(quote)) return Fail("unterminated attribute value");
      ++m_pos;
      if (!m_elements[index].attributes.emplace(attribute, value).second)
        return Fail("attribute given twice");
    }
    ++m_pos;
    for (;;) {
      m_elements[index].text += Data('<');
      if (!m_error.empty() || m_pos >= m_xml.size()) return Fail("element " + name + " is not closed");
      if (m_xml.compare(m_pos, 2, "</") == 0) {
        m_pos += 2;
        if (Name() != name) return Fail("end tag does not match " + name);
        SkipSpace();
        if (!At('>')) return Fail("expected '>'");
        ++m_pos;
        return;
      }
      ParseElement();
    }
  }
  void CheckCharacters() {
    for (std::size_t i = 0; i < m_xml.size();) {
      const auto c = static_cast<unsigned char>(m_xml[i]);
      std::size_t length = c < 0x80                 ? 1
                           : c >= 0xC2 && c <= 0xDF ? 2
                           : c >= 0xE0 && c <= 0xEF ? 3
                           : c >= 0xF0 && c <= 0xF4 ? 4
                                                    : 0;
      if (length == 0 || i + length > m_xml.size()) return Fail("not UTF-8");
      for (std::size_t k = 1; k < length; ++k)
        if ((static_cast<unsigned char>(m_xml[i + k]) & 0xC0) != 0x80) return Fail("not UTF-8");
      if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') return Fail("control character");
      i += length;
    }
  }

  const std::string& m_xml;
  std::size_t m_pos = 0;
  std::vector<Element> m_elements;
  std::string m_error;
};

std::vector<Point> PointsOf(const Element& polyline) {
  std::vector<Point> points;
  std::istringstream in(polyline.attributes.at("points"));
  Point p{};
  char comma = 0;
  while (in >> p.x >> comma >> p.y) points.push_back(p);
  return points;
}

struct Frame {
  double left, top, right, bottom;
};

// The frame of each panel, top to bottom.
std::vector<Frame> FramesOf(const XmlReader& svg) {
  std::vector<Frame> frames;
  for (const Element* rect : svg.All("rect")) {
    if (!rect->attributes.count("class") || rect->attributes.at("class") != "frame") continue;
    const double x = std::stod(rect->attributes.at("x")), y = std::stod(rect->attributes.at("y"));
    frames.push_back(
        {x, y, x + std::stod(rect->attributes.at("width")), y + std::stod(rect->attributes.at("height"))});
  }
  return frames;
}

Frame FrameOf(const XmlReader& svg) {
  const std::vector<Frame> frames = FramesOf(svg);
  return frames.empty() ? Frame{0, 0, 0, 0} : frames.front();
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Plots `file` into a temporary SVG and returns its text.
std::string Plot(const std::string& file, const std::string& options = "") {
  const TempFile svg("");
  const qtx::test::ToolRun run = RunQtx("plot " + file + " -o " + svg.Path() + " " + options);
  EXPECT_EQ(run.exitCode, 0) << file;
  EXPECT_EQ(run.out, "");
  return ReadFile(svg.Path());
}

// Well-formed, one polyline per channel, every point of a line inside the
// frame of one panel.
void ExpectSoundChart(const XmlReader& svg, std::size_t channels, const char* what) {
  ASSERT_EQ(svg.Error(), "") << what;
  const std::vector<const Element*> lines = svg.All("polyline");
  ASSERT_EQ(lines.size(), channels) << what;
  const std::vector<Frame> frames = FramesOf(svg);
  ASSERT_FALSE(frames.empty()) << what;
  ASSERT_LT(frames.front().left, frames.front().right) << what;
  for (const Element* line : lines) {
    EXPECT_EQ(line->attributes.at("points").find_first_of("naif"), std::string::npos) << what;
    const std::vector<Point> points = PointsOf(*line);
    if (points.empty()) continue;
    const auto inside = [](const Point& p, const Frame& frame) {
      return p.x >= frame.left - 0.05 && p.x <= frame.right + 0.05 && p.y >= frame.top - 0.05 &&
             p.y <= frame.bottom + 0.05;
    };
    const auto frame = std::find_if(frames.begin(), frames.end(),
                                    [&](const Frame& f) { return inside(points.front(), f); });
    ASSERT_NE(frame, frames.end()) << what;
    for (const Point& p : points) EXPECT_TRUE(inside(p, *frame)) << what << " " << p.x << "," << p.y;
  }
}

// --- the pieces --------------------------------------------------------------

TEST(ChartAxis, TicksAreRoundAndCoverTheData) {
  const double ranges[][2] = {{0, 0.002},  {-12, 25},  {0.0013, 1.9987}, {1e-7, 3e-7},
                              {-1e6, 5e8}, {0.6, 0.7}, {-3, -2.999},     {1e10, 1e10 + 1}};
  for (const auto& range : ranges) {
    for (const bool expand : {true, false}) {
      const Axis axis = MakeAxis(range[0], range[1], 6, expand);
      const std::string what = std::to_string(range[0]) + ".." + std::to_string(range[1]);
      ASSERT_GE(axis.ticks.size(), 2u) << what;
      EXPECT_LE(axis.ticks.size(), 15u) << what;
      EXPECT_LE(axis.low, range[0]) << what;
      EXPECT_GE(axis.high, range[1]) << what;
      if (!expand) {
        EXPECT_EQ(axis.low, range[0]) << what;
        EXPECT_EQ(axis.high, range[1]) << what;
      }
      const double mantissa = axis.step / std::pow(10.0, std::floor(std::log10(axis.step) + 1e-9));
      EXPECT_TRUE(std::fabs(mantissa - 1) < 1e-9 || std::fabs(mantissa - 2) < 1e-9 ||
                  std::fabs(mantissa - 5) < 1e-9)
          << what << " step " << axis.step;
      // Near 1e10 the spacing of doubles, not the step, limits the ticks.
      const double tolerance = axis.step * 1e-6 + std::fabs(axis.high) * 1e-15;
      for (std::size_t i = 0; i < axis.ticks.size(); ++i) {
        EXPECT_GE(axis.ticks[i], axis.low - tolerance) << what;
        EXPECT_LE(axis.ticks[i], axis.high + tolerance) << what;
        if (i > 0) {
          EXPECT_NEAR(axis.ticks[i] - axis.ticks[i - 1], axis.step, tolerance) << what;
        }
      }
      if (expand) {
        EXPECT_NEAR(axis.ticks.front(), axis.low, tolerance) << what;
        EXPECT_NEAR(axis.ticks.back(), axis.high, tolerance) << what;
      }
    }
  }
  // 0.6 / 0.1 is 5.999...: the axis must still start at 0.6, not 0.5.
  EXPECT_NEAR(MakeAxis(0.6, 1.0, 4, true).low, 0.6, 1e-12);
  // The ends hug the data: the round tick next beyond it, not a coarse one.
  EXPECT_EQ(MakeAxis(-81, 700, 7, true).low, -100);
  EXPECT_EQ(MakeAxis(-81, 700, 3, true).low, -100);
  EXPECT_EQ(MakeAxis(-81, 700, 7, true).high, 700);
}

TEST(ChartAxis, DegenerateRangesGetOne) {
  const Axis constant = MakeAxis(5, 5, 6, true);
  EXPECT_LT(constant.low, 5);
  EXPECT_GT(constant.high, 5);
  const Axis zero = MakeAxis(0, 0, 6, false);
  EXPECT_EQ(zero.low, -1);
  EXPECT_EQ(zero.high, 1);
  for (const Axis& axis :
       {MakeAxis(NAN, 1, 6, true), MakeAxis(INFINITY, -INFINITY, 6, true), MakeAxis(2, 1, 6, true)}) {
    EXPECT_EQ(axis.low, 0);
    EXPECT_EQ(axis.high, 1);
  }
  // Spans beyond the largest double: finite ends around the data, ticks
  // inside, where the ends cannot move out to a tick.
  const double huge[][2] = {{DBL_MAX, DBL_MAX}, {1e300, 1.7e308}, {-DBL_MAX, DBL_MAX}, {-1.1e308, DBL_MAX}};
  for (const auto& range : huge) {
    const Axis axis = MakeAxis(range[0], range[1], 6, true);
    EXPECT_TRUE(std::isfinite(axis.low) && std::isfinite(axis.high) && axis.low < axis.high) << range[0];
    EXPECT_LE(axis.low, range[0]);
    EXPECT_GE(axis.high, range[1]);
    EXPECT_GE(axis.ticks.size(), 2u) << range[0];
    for (const double tick : axis.ticks) EXPECT_TRUE(std::isfinite(tick)) << range[0];
  }
}

TEST(ChartAxis, TickLabels) {
  EXPECT_EQ(TickLabel(0.0015, 0.0005), "0.0015");
  EXPECT_EQ(TickLabel(1e-17, 0.1), "0");
  EXPECT_EQ(TickLabel(-10, 5), "-10");
  EXPECT_EQ(TickLabel(0.6, 0.2), "0.6");
  EXPECT_EQ(TickLabel(2.5e-6, 5e-7), "2.5e-6");
  EXPECT_EQ(TickLabel(3e9, 1e9), "3e9");
  EXPECT_EQ(TickLabel(-1.5e12, 5e11), "-1.5e12");
}

TEST(ChartReducer, KeepsTheExtremesOfEachColumnInOrder) {
  std::vector<Point> out;
  qtx::tool::ColumnReducer reducer(out);
  // Column 0: a high spike before a low one; column 1: one point; column 2:
  // monotonic, so only its first and last remain.
  const Point column0[] = {{0.1, 5}, {0.2, 90}, {0.3, 6}, {0.4, -40}, {0.5, 7}};
  for (const Point& p : column0) reducer.Add(p);
  reducer.Add({1.5, 3});
  for (int i = 0; i < 100; ++i) reducer.Add({2 + i / 100.0, static_cast<double>(i)});
  reducer.Finish();
  const std::vector<std::pair<double, double>> expected = {{0.1, 5}, {0.2, 90}, {0.4, -40}, {0.5, 7},
                                                           {1.5, 3}, {2, 0},    {2.99, 99}};
  ASSERT_EQ(out.size(), expected.size());
  for (std::size_t i = 0; i < out.size(); ++i) {
    EXPECT_DOUBLE_EQ(out[i].x, expected[i].first) << i;
    EXPECT_DOUBLE_EQ(out[i].y, expected[i].second) << i;
  }
}

TEST(SvgWriter, EscapesTextAndKeepsItUtf8) {
  const std::pair<std::string, std::string> cases[] = {
      {"a<b>&c", "a&lt;b&gt;&amp;c"},
      {"\"it's\"", "&quot;it&apos;s&quot;"},
      {"5 \xB5s", "5 \xC2\xB5s"},                    // a Latin-1 byte becomes its character
      {"5 \xC2\xB5s", "5 \xC2\xB5s"},                // UTF-8 stays as it is
      {"\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xC2\x80"},  // an encoded surrogate is not UTF-8
      {"a\tb\r\nc", "a b  c"},
      {std::string("x\x01y\0z", 5), "x\xEF\xBF\xBDy\xEF\xBF\xBDz"},
  };
  for (const auto& [text, escaped] : cases) {
    std::string out;
    qtx::tool::AppendXmlText(out, text);
    EXPECT_EQ(out, escaped);
  }

  qtx::tool::SvgWriter svg(300, 200);
  svg.Open("g").Attribute("class", "a&b").Open("text").Text("x < y").Close();
  svg.Open("polyline").BeginPoints();
  svg.Point(1.26, -0.04);
  svg.Point(1e5, 2);
  svg.EndPoints();
  const std::string document = svg.Finish();  // closes polyline, g and svg
  const XmlReader xml(document);
  ASSERT_EQ(xml.Error(), "") << document;
  EXPECT_EQ(xml.All("text").at(0)->text, "x < y");
  EXPECT_EQ(xml.All("polyline").at(0)->attributes.at("points"), "1.3,0 100000,2");
}

// --- the command ---------------------------------------------------------------

TEST(ToolPlot, SampleChart) {
  // Volts and amperes: a panel each by default, one above the other on the
  // same X; one panel with --no-split.
  const XmlReader split(Plot(QTX_EXAMPLES_DIR "/sample.qtx"));
  ExpectSoundChart(split, 2, "split");
  const std::vector<Frame> frames = FramesOf(split);
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0].left, frames[1].left);
  EXPECT_EQ(frames[0].right, frames[1].right);
  EXPECT_LT(frames[0].bottom, frames[1].top);
  std::vector<std::string> yTitles;
  for (const Element* text : split.All("text"))
    if (text->attributes.count("class") && text->attributes.at("class") == "y-title") yTitles.push_back(text->text);
  EXPECT_EQ(yTitles, (std::vector<std::string>{"Voltage [V]", "Current [A]"}));
  const std::vector<const Element*> splitLines = split.All("polyline");
  EXPECT_LE(PointsOf(*splitLines[0]).front().y, frames[0].bottom + 0.05);  // In1 in the upper panel
  EXPECT_GE(PointsOf(*splitLines[1]).front().y, frames[1].top - 0.05);     // In2 in the lower one
  EXPECT_EQ(RunQtx("plot " QTX_EXAMPLES_DIR "/sample.qtx -o - --split --no-split 2>/dev/null").exitCode, 2);

  const XmlReader svg(Plot(QTX_EXAMPLES_DIR "/sample.qtx", "--no-split"));
  ExpectSoundChart(svg, 2, "sample");
  ASSERT_EQ(svg.Error(), "");
  EXPECT_EQ(svg.WithClass("text", "title")->text, "sample.qtx: section 0");
  EXPECT_EQ(svg.WithClass("text", "x-title")->text, "Time [s]");
  EXPECT_EQ(svg.WithClass("text", "y-title")->text, "Voltage [V], Current [A]");
  std::vector<std::string> texts;
  for (const Element* text : svg.All("text")) texts.push_back(text->text);
  EXPECT_NE(std::find(texts.begin(), texts.end(), "In1 [V]"), texts.end());
  EXPECT_NE(std::find(texts.begin(), texts.end(), "In2 [A]"), texts.end());

  // Three rows in three columns: the X range spans the frame exactly, and
  // In1 (0.5 to 0.7) lies above In2 (0.1 to 0.3) throughout.
  const std::vector<const Element*> lines = svg.All("polyline");
  EXPECT_NE(lines[0]->attributes.at("stroke"), lines[1]->attributes.at("stroke"));
  const std::vector<Point> in1 = PointsOf(*lines[0]), in2 = PointsOf(*lines[1]);
  ASSERT_EQ(in1.size(), 3u);
  ASSERT_EQ(in2.size(), 3u);
  const Frame frame = FrameOf(svg);
  EXPECT_NEAR(in1.front().x, frame.left, 0.05);
  EXPECT_NEAR(in1.back().x, frame.right, 0.05);
  for (std::size_t i = 0; i < 3; ++i) EXPECT_LT(in1[i].y, in2[i].y);
}

TEST(ToolPlot, KeepsEverySpikeOfAMillionRows) {
  // Mode No: one value per row, X from X0 and Delta_X. A flat line with one
  // row at +1000 and one at -500.
  constexpr int kRows = 1000000;
  std::string text =
      "Quorset Measurement\n***End_of_Header***\nChannels\t1\nSamples\t1000000\nX0\t0\nDelta_X\t1\n"
      "***End_of_Header***\nSignal\n";
  text.reserve(text.size() + 2 * kRows + 16);
  for (int r = 0; r < kRows; ++r) text += r == 654321 ? "1000\n" : r == 123457 ? "-500\n" : "0\n";
  const TempFile file(text);

  const std::string document = Plot(file.Path());
  EXPECT_LT(document.size(), 200u * 1024);
  const XmlReader svg(document);
  ExpectSoundChart(svg, 1, "a million rows");
  const std::vector<Point> points = PointsOf(*svg.All("polyline").at(0));
  ASSERT_FALSE(points.empty());
  const auto [low, high] = std::minmax_element(points.begin(), points.end(),
                                               [](const Point& a, const Point& b) { return a.y < b.y; });
  const double base = points.front().y;
  // Pixel y grows downwards: the +1000 row is the topmost point, twice as
  // far from the flat line as the -500 row.
  EXPECT_NEAR((base - low->y) / (high->y - base), 2.0, 0.02);
  const Frame frame = FrameOf(svg);
  EXPECT_NEAR((low->x - frame.left) / (frame.right - frame.left), 654321.0 / (kRows - 1), 0.003);
  EXPECT_NEAR((high->x - frame.left) / (frame.right - frame.left), 123457.0 / (kRows - 1), 0.003);

  EXPECT_EQ(RunQtx("validate " + file.Path()).exitCode, 0);
}

// Ten channels in mode Multi: an X-Y loop of many laps, noise in X and Y,
// and eight flat lines. Each channel keeps few points, each its own colour,
// and the Y title of ten dimensions stays inside the image.
TEST(ToolPlot, AnyInputStaysDrawable) {
  constexpr int kRows = 30000;
  std::string text = "X_Columns\tMulti\n***End_of_Header***\nChannels\t10\nSamples",
              dimensions = "\nY_Dimension";
  for (int c = 0; c < 10; ++c) {
    text += "\t\t" + std::to_string(kRows);
    dimensions += "\t\tSignal " + std::to_string(c);
  }
  text += dimensions +
          "\n***End_of_Header***\nx\ty0\tx\ty1\tx\ty2\tx\ty3\tx\ty4\tx\ty5\tx\ty6\tx\ty7\tx\ty8\tx\ty9";
  char row[64];
  for (unsigned r = 0, noise = 1; r < kRows; ++r, noise = noise * 1103515245u + 12345u) {
    std::snprintf(row, sizeof row, "\n%.5f\t%.5f\t%u\t%u", std::cos(r * 0.01), std::sin(r * 0.03),
                  noise >> 20, noise & 0xfff);
    text += row;
    for (int c = 2; c < 10; ++c) text += "\t" + std::to_string(r) + "\t" + std::to_string(c);
  }
  const TempFile file(text + "\n");
  const std::string document = Plot(file.Path());
  EXPECT_LT(document.size(), 1500u * 1024);
  const XmlReader svg(document);
  std::map<std::string, std::size_t> points;
  std::set<std::string> colours;
  for (const Element* line : svg.All("polyline")) {
    points[line->attributes.at("class")] += PointsOf(*line).size();
    colours.insert(line->attributes.at("stroke"));
  }
  ASSERT_EQ(points.size(), 10u);
  for (const auto& [channel, count] : points) EXPECT_LE(count, 16u * (800 + 500)) << channel;
  EXPECT_EQ(colours.size(), 10u);
  const Frame frame = FrameOf(svg);
  EXPECT_LE(svg.WithClass("text", "y-title")->text.size() * 12 * 0.6, frame.bottom - frame.top + 1);
}

TEST(ToolPlot, DataThatDrawsNoPlainLine) {
  const std::string header = "Quorset Measurement\nX_Columns\tOne\n***End_of_Header***\nChannels\t2\n";
  const struct {
    const char* name;
    std::string text;
    const char* points;          // of each polyline
    const char* note = nullptr;  // the text in place of the curves
  } cases[] = {
      // A gap where a value is not finite: A is two lone points, B one.
      {"values that are not finite",
       header + "Samples\t4\t4\n***End_of_Header***\nt\tA\tB\n0\t1\tnan\n1\tinf\t2\n2\t3\t-inf\nnan\t4\t5\n",
       "1 1 1"},
      {"constant values", header + "Samples\t3\t3\n***End_of_Header***\nt\tA\tB\n0\t7\t7\n1\t7\t7\n2\t7\t7\n",
       "3 3"},
      {"one row", header + "Samples\t1\t1\n***End_of_Header***\nt\tA\tB\n5\t1\t2\n", "1 1"},
      {"no rows", header + "Samples\t0\t0\n***End_of_Header***\nt\tA\tB\n", "0 0", "no rows"},
      {"no finite value", header + "Samples\t1\t1\n***End_of_Header***\nt\tA\tB\nnan\t1\t2\n", "0 0",
       "no finite values"},
      // Lines end at the channel's last sample (no phantom (0, 0) in mode
      // Multi), and at the file's last row.
      {"a short channel", header + "Samples\t3\t2\n***End_of_Header***\nt\tA\tB\n0\t1\t2\n1\t2\t3\n2\t3\t4\n",
       "3 2"},
      {"a short channel in mode Multi",
       "X_Columns\tMulti\n***End_of_Header***\nChannels\t2\nSamples\t3\t2\n***End_of_Header***\nt\tA\tu\tB\n"
       "1\t1\t1\t2\n2\t2\t2\t3\n3\t3\n",
       "3 2"},
      {"a file that ends early", header + "Samples\t4\t4\n***End_of_Header***\nt\tA\tB\n0\t1\t2\n1\t2\t3\n",
       "2 2"},
  };
  for (const auto& c : cases) {
    const TempFile file(c.text);
    const XmlReader svg(Plot(file.Path()));
    std::string points;
    for (const Element* line : svg.All("polyline"))
      points += (points.empty() ? "" : " ") + std::to_string(PointsOf(*line).size());
    EXPECT_EQ(points, c.points) << c.name;
    ExpectSoundChart(svg, svg.All("polyline").size(), c.name);
    bool noted = false;
    for (const Element* text : svg.All("text")) noted = noted || (c.note && text->text == c.note);
    EXPECT_EQ(noted, c.note != nullptr) << c.name;
  }

  // Constant values sit inside the frame, not on its edge; a single row is
  // marked, since a line of one point draws nothing.
  const TempFile constant(cases[1].text);
  const XmlReader flat(Plot(constant.Path()));
  const Frame frame = FrameOf(flat);
  for (const Point& p : PointsOf(*flat.All("polyline").at(0))) {
    EXPECT_GT(p.y, frame.top + 10);
    EXPECT_LT(p.y, frame.bottom - 10);
  }
  const TempFile one(cases[2].text);
  EXPECT_EQ(XmlReader(Plot(one.Path())).All("circle").size(), 2u);
}

TEST(ToolPlot, TextFromTheFileIsEscaped) {
  const TempFile file(
      "Quorset Measurement\n***End_of_Header***\nChannels\t1\nSamples\t2\n"
      "X_Dimension\tT<ime>\nX_Unit_Label\t\xB5s\n***End_of_Header***\n"
      "\"U\" & 'I'\n1\n2\n");
  const XmlReader svg(Plot(file.Path()));
  ExpectSoundChart(svg, 1, "escaping");
  EXPECT_EQ(svg.WithClass("text", "x-title")->text, "T<ime> [\xC2\xB5s]");
  bool legend = false;
  for (const Element* text : svg.All("text")) legend = legend || text->text == "\"U\" & 'I'";
  EXPECT_TRUE(legend);
}

TEST(ToolPlot, OneChannelToStdout) {
  const qtx::test::ToolRun run =
      RunQtx("plot " QTX_EXAMPLES_DIR "/sample.qtx --channel 1 -o - --width 400 --height 300");
  ASSERT_EQ(run.exitCode, 0);
  const XmlReader svg(run.out);
  ExpectSoundChart(svg, 1, "channel 1");
  EXPECT_EQ(svg.All("polyline").at(0)->attributes.at("class"), "channel-1");
  EXPECT_EQ(svg.WithClass("text", "title")->text, "sample.qtx: section 0, channel 1");
  EXPECT_EQ(svg.All("svg").at(0)->attributes.at("width"), "400");
}

}  // namespace
