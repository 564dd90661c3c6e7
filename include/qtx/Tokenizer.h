// CTokenizer: splits one line into fields.
#ifndef QTX_TOKENIZER_H
#define QTX_TOKENIZER_H

#include <cstddef>
#include <string_view>

#include "qtx/Framework.h"
#include "qtx/QTXExport.h"

// Yields the fields of a line one by one. Every character of the delimiter
// string is a delimiter; a run of delimiters between two fields is one
// boundary, delimiters at either end of the line yield nothing, and no empty
// field is ever returned.
//
// The tokenizer refers to the line and the delimiter string it was built on;
// both must outlive it (temporaries are refused at compile time). It never
// allocates.
class QTXLIB_API CTokenizer {
 public:
  CTokenizer(const CString& strLine, const CString& strDelimiters) noexcept
      : m_line(strLine.View()), m_delimiters(strDelimiters.View()) {}
  CTokenizer(CString&&, const CString&) = delete;
  CTokenizer(const CString&, CString&&) = delete;
  CTokenizer(CString&&, CString&&) = delete;

  // Puts the next field into strToken and returns true; returns false and
  // leaves strToken empty when the line has no field left.
  bool Next(CString& strToken);

 private:
  std::string_view m_line;
  std::string_view m_delimiters;
  std::size_t m_nPos = 0;
};

#endif  // QTX_TOKENIZER_H
