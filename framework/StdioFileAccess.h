// The line source behind a CStdioFile, for the library's own readers: the data
// reader passes over and splits rows without copying them out of the buffer.
#ifndef QTX_FRAMEWORK_STDIOFILEACCESS_H
#define QTX_FRAMEWORK_STDIOFILEACCESS_H

#include "qtx/StdioFile.h"
#include "textio/LineSource.h"

struct CStdioFile::Impl {
  qtx::textio::LineSource source;
};

struct CStdioFileAccess {
  static qtx::textio::LineSource& Source(CStdioFile& file) { return file.m_pImpl->source; }
};

#endif  // QTX_FRAMEWORK_STDIOFILEACCESS_H
