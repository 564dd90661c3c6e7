#include "plot/Svg.h"

#include <charconv>
#include <cmath>

namespace qtx::tool {
namespace {

// The length of the well-formed UTF-8 sequence at text[i] that encodes a
// character XML allows, or 0.
std::size_t Utf8Length(std::string_view text, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[i + k]); };
  const auto continuation = [&](std::size_t k) { return i + k < text.size() && (byte(k) & 0xC0) == 0x80; };
  const unsigned char lead = byte(0);
  if (lead >= 0xC2 && lead <= 0xDF) return continuation(1) ? 2 : 0;
  if (lead >= 0xE0 && lead <= 0xEF) {
    if (!continuation(1) || !continuation(2)) return 0;
    if (lead == 0xE0 && byte(1) < 0xA0) return 0;                      // overlong
    if (lead == 0xED && byte(1) > 0x9F) return 0;                      // surrogates
    if (lead == 0xEF && byte(1) == 0xBF && byte(2) >= 0xBE) return 0;  // U+FFFE, U+FFFF
    return 3;
  }
  if (lead >= 0xF0 && lead <= 0xF4) {
    if (!continuation(1) || !continuation(2) || !continuation(3)) return 0;
    if (lead == 0xF0 && byte(1) < 0x90) return 0;  // overlong
    if (lead == 0xF4 && byte(1) > 0x8F) return 0;  // beyond U+10FFFF
    return 4;
  }
  return 0;
}

}  // namespace

void AppendXmlText(std::string& out, std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x80) {
      if (const std::size_t length = Utf8Length(text, i)) {
        out.append(text.substr(i, length));
        i += length;
      } else {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
        ++i;
      }
      continue;
    }
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      case '\t':
      case '\n':
      case '\r': out += ' '; break;
      default:
        if (c < 0x20 || c == 0x7F) {
          out += "\xEF\xBF\xBD";
        } else {
          out += static_cast<char>(c);
        }
    }
    ++i;
  }
}

SvgWriter::SvgWriter(int width, int height) {
  m_out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  Open("svg").Attribute("xmlns", "http://www.w3.org/2000/svg");
  Attribute("width", width).Attribute("height", height);
  Attribute("viewBox", "0 0 " + std::to_string(width) + " " + std::to_string(height));
}

SvgWriter& SvgWriter::Open(const char* name) {
  EndStartTag();
  // One element per line keeps the file readable and diffable.
  if (!m_open.empty()) m_out += '\n';
  m_out += '<';
  m_out += name;
  m_open.push_back(name);
  m_inStartTag = true;
  return *this;
}

SvgWriter& SvgWriter::Attribute(const char* name, std::string_view value) {
  m_out += ' ';
  m_out += name;
  m_out += "=\"";
  AppendXmlText(m_out, value);
  m_out += '"';
  return *this;
}

SvgWriter& SvgWriter::Attribute(const char* name, double value) {
  m_out += ' ';
  m_out += name;
  m_out += "=\"";
  Number(value, 2);
  m_out += '"';
  return *this;
}

SvgWriter& SvgWriter::Text(std::string_view text) {
  EndStartTag();
  AppendXmlText(m_out, text);
  return *this;
}

SvgWriter& SvgWriter::Close() {
  if (m_open.empty()) return *this;
  if (m_inStartTag) {
    m_out += "/>";
    m_inStartTag = false;
  } else {
    m_out += "</";
    m_out += m_open.back();
    m_out += '>';
  }
  m_open.pop_back();
  return *this;
}

SvgWriter& SvgWriter::BeginPoints() {
  m_out += " points=\"";
  m_firstPoint = true;
  return *this;
}

void SvgWriter::Point(double x, double y) {
  if (!m_firstPoint) m_out += ' ';
  m_firstPoint = false;
  Number(x, 1);
  m_out += ',';
  Number(y, 1);
}

SvgWriter& SvgWriter::EndPoints() {
  m_out += '"';
  return *this;
}

std::string SvgWriter::Finish() {
  while (!m_open.empty()) Close();
  m_out += '\n';
  return std::move(m_out);
}

void SvgWriter::EndStartTag() {
  if (!m_inStartTag) return;
  m_out += '>';
  m_inStartTag = false;
}

void SvgWriter::Number(double value, int decimals) {
  // Fixed decimals without trailing zeros: 12.5, 40, -3.25.
  if (!std::isfinite(value)) value = 0.0;
  char text[64];
  auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
  if (result.ec != std::errc()) {
    m_out += '0';
    return;
  }
  char* end = result.ptr;
  if (decimals > 0) {
    while (end[-1] == '0') --end;
    if (end[-1] == '.') --end;
  }
  if (end - text == 2 && text[0] == '-' && text[1] == '0') {
    m_out += '0';  // -0.04 rounds to "-0"
    return;
  }
  m_out.append(text, end);
}

}  // namespace qtx::tool
