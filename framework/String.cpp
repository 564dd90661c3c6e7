#include "qtx/Framework.h"
#include "textio/Convert.h"

namespace {

constexpr unsigned char FoldAscii(unsigned char c) noexcept {
  return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

}  // namespace

int CString::CompareNoCase(const char* psz) const noexcept {
  return CompareNoCase(psz ? std::string_view(psz) : std::string_view());
}

int CString::CompareNoCase(std::string_view other) const noexcept {
  // Byte by byte over both whole strings, so embedded NULs compare too.
  const std::size_t common = m_str.size() < other.size() ? m_str.size() : other.size();
  for (std::size_t i = 0; i < common; ++i) {
    const unsigned char a = FoldAscii(static_cast<unsigned char>(m_str[i]));
    const unsigned char b = FoldAscii(static_cast<unsigned char>(other[i]));
    if (a != b) return a < b ? -1 : 1;
  }
  if (m_str.size() == other.size()) return 0;
  return m_str.size() < other.size() ? -1 : 1;
}

CString& CString::Trim() {
  std::size_t first = 0;
  std::size_t last = m_str.size();
  while (first < last && qtx::textio::IsCSpace(m_str[first])) ++first;
  while (last > first && qtx::textio::IsCSpace(m_str[last - 1])) --last;
  if (last != m_str.size()) m_str.erase(last);
  if (first != 0) m_str.erase(0, first);
  return *this;
}
