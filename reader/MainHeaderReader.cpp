// Reading the main header: keyword lines up to the first "***End_of_Header***".
#include "qtx/QTXLibrary.h"
#include "textio/Convert.h"

namespace {

bool Is(const CString& key, const char* keyword) { return key.CompareNoCase(keyword) == 0; }

void RecordMetadata(CQTXGeneral& qtx, const CString& key, const CString& value) {
  if (Is(key, CQTXGeneral::lpszTimePref))
    qtx.m_strTimePref = value;
  else if (Is(key, CQTXGeneral::lpszTime))
    qtx.m_strTime = value;
  else if (Is(key, CQTXGeneral::lpszDate))
    qtx.m_strDate = value;
  else
    qtx.m_strDescription = value;
}

}  // namespace

bool CQTXGeneral::QTX_ReadMainHeader(std::uint32_t& nLine, CStdioFile* pFile) {
  // One object reads one main header: once its end line has been read,
  // nothing is read again.
  if (m_bEndOfHeader) return true;

  CString strLine;
  CString strKey;
  CString strValue;
  while (pFile->ReadString(strLine)) {
    // Main header lines are split as read, not trimmed: a key preceded by a
    // space is not a keyword.
    bool bKey;
    bool bValue = false;
    {
      CTokenizer tokenizer(strLine, m_strSeparator);
      bKey = tokenizer.Next(strKey);
      if (bKey) bValue = tokenizer.Next(strValue);
    }  // the tokenizer refers to m_strSeparator, which a Separator line replaces

    if (bKey) {
      if (Is(strKey, lpszQuorsetMeasurement)) {
        m_bQTXFile = true;
      } else if (Is(strKey, lpszWriterVersion)) {
        if (bValue) m_dWriterVersion = qtx::textio::DecimalConverter()(strValue.View());
      } else if (Is(strKey, lpszReaderVersion)) {
        if (bValue) m_dReaderVersion = qtx::textio::DecimalConverter()(strValue.View());
      } else if (Is(strKey, lpszSeparator)) {
        if (bValue) {
          // The new separator governs from the next line on.
          if (Is(strValue, lpszTab))
            m_strSeparator = "\t";
          else if (Is(strValue, lpszComma))
            m_strSeparator = ",";
          else
            m_strSeparator = strValue;
          m_strSeparatorName = strValue;
        }
      } else if (Is(strKey, lpszMultiHeadings)) {
        if (bValue) m_bMultiHeadings = Is(strValue, lpszYes);
      } else if (Is(strKey, lpszXColumns)) {
        if (bValue) {
          if (Is(strValue, lpszNo))
            m_nXColumns = 0;
          else if (Is(strValue, lpszOne))
            m_nXColumns = 1;
          else if (Is(strValue, lpszMulti))
            m_nXColumns = 2;
        }
      } else if (Is(strKey, lpszEndOfHeader)) {
        m_bEndOfHeader = true;
      } else if (Is(strKey, lpszTimePref) || Is(strKey, lpszTime) || Is(strKey, lpszDate) ||
                 Is(strKey, lpszDescription)) {
        // Metadata: recorded as written; no setting depends on it.
        if (bValue) RecordMetadata(*this, strKey, strValue);
      }
      // Unknown keys change nothing.
    }

    ++nLine;
    if (m_bEndOfHeader) return true;
  }
  return false;
}
