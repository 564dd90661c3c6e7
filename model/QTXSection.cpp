#include "qtx/QTXLibrary.h"

CQTXSection::CQTXSection()
    : m_nChannels(0), m_ppChannelBlocks(nullptr), m_nDataLine(0), m_nDataPosition(0),
      m_bRowsCounted(false), m_nRowsInFile(0), m_bLastLineCutOff(false) {}

CQTXSection::~CQTXSection() {
  // Channel i and its block go together, in list order. The bound is the
  // list's size, not m_nChannels, which a caller may have set to anything.
  for (std::ptrdiff_t i = 0; i < m_arrChannels.GetSize(); ++i) {
    delete m_arrChannels.GetAt(i);
    if (m_ppChannelBlocks) delete m_ppChannelBlocks[i];
  }
  m_arrChannels.RemoveAll();
  delete[] m_ppChannelBlocks;
}
