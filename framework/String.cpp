#include <cstring>

#include "qtx/Framework.h"
#include "textio/Convert.h"

namespace {

constexpr unsigned char FoldAscii(unsigned char c) noexcept {
  return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

}  // namespace

int CString::CompareNoCase(const char* psz) const noexcept {
  // Byte by byte over the whole string, so embedded NULs compare too.
  const std::size_t otherLength = psz ? std::strlen(psz) : 0;
  const std::size_t common = m_str.size() < otherLength ? m_str.size() : otherLength;
  for (std::size_t i = 0; i < common; ++i) {
    const unsigned char a = FoldAscii(static_cast<unsigned char>(m_str[i]));
    const unsigned char b = FoldAscii(static_cast<unsigned char>(psz[i]));
    if (a != b) return a < b ? -1 : 1;
  }
  if (m_str.size() == otherLength) return 0;
  return m_str.size() < otherLength ? -1 : 1;
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
