#include "qtx/Tokenizer.h"

#include "textio/FieldSplitter.h"

bool CTokenizer::Next(CString& strToken) {
  std::string_view field;
  if (!qtx::textio::NextField(m_line, m_delimiters, m_nPos, field)) {
    strToken.Empty();
    return false;
  }
  strToken.Assign(field.data(), field.size());
  return true;
}
