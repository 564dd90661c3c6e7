// A small writer of SVG documents: elements, attributes, text and polyline
// points, escaped and nested so that the result is always well-formed XML.
#ifndef QTX_TOOLS_PLOT_SVG_H
#define QTX_TOOLS_PLOT_SVG_H

#include <string>
#include <string_view>
#include <vector>

namespace qtx::tool {

// Appends `text` as XML character data or attribute value: markup characters
// as entities, tabs and line ends as spaces, other control characters as
// U+FFFD, and bytes that do not form UTF-8 as the Latin-1 characters they
// most likely are. Measurement files carry 8-bit text in no declared encoding.
void AppendXmlText(std::string& out, std::string_view text);

class SvgWriter {
 public:
  // Starts the document with its <svg> root element of this size in pixels.
  SvgWriter(int width, int height);

  // Opens a child element of the element open last.
  SvgWriter& Open(const char* name);
  // An attribute of the element just opened, before any content.
  SvgWriter& Attribute(const char* name, std::string_view value);
  SvgWriter& Attribute(const char* name, const char* value) {
    return Attribute(name, std::string_view(value));
  }
  SvgWriter& Attribute(const char* name, double value);
  // Character data inside the open element.
  SvgWriter& Text(std::string_view text);
  // Closes the element opened last.
  SvgWriter& Close();

  // A "points" attribute of the element just opened, "x,y x,y ...", written
  // point by point with one decimal, a tenth of a pixel.
  SvgWriter& BeginPoints();
  void Point(double x, double y);
  SvgWriter& EndPoints();

  // Closes every open element and hands over the document.
  std::string Finish();

 private:
  void EndStartTag();
  void Number(double value, int decimals);

  std::string m_out;
  std::vector<const char*> m_open;
  bool m_inStartTag = false;
  bool m_firstPoint = true;
};

}  // namespace qtx::tool

#endif  // QTX_TOOLS_PLOT_SVG_H
