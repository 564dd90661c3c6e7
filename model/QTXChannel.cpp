#include "qtx/QTXLibrary.h"

CQTXChannel::CQTXChannel()
    : m_dX0(0.0),
      m_dDeltaX(0.0),
      m_nIndex(-1),
      m_nAux(0),
      m_nSamples(0),
      m_pXValues(nullptr),
      m_pYValues(nullptr),
      m_dAux0(0.0),
      m_dAux1(1.0) {}

CQTXChannel::~CQTXChannel() {
  delete[] m_pXValues;
  delete[] m_pYValues;
}
