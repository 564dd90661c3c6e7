#include "qtx/QTXLibrary.h"

CQTXGeneral::CQTXGeneral()
    : m_bQTXFile(false),
      m_dReaderVersion(0.92),
      m_dWriterVersion(0.92),
      m_bEndOfHeader(false),
      m_bEndOfSectionHeader(false),
      m_bMultiHeadings(false),
      m_strSeparator("\t"),
      m_strSeparatorName(lpszTab),
      m_nXColumns(0),
      m_bInSpecial(false),
      m_pScanState(nullptr) {}

CQTXGeneral::~CQTXGeneral() {
  for (std::ptrdiff_t i = 0; i < m_arrSections.GetSize(); ++i) delete m_arrSections.GetAt(i);
  m_arrSections.RemoveAll();
  delete m_pScanState;
}
