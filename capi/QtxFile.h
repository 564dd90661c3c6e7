// The C interface's handle on a scanned file, shared by its source files.
#ifndef QTX_CAPI_QTXFILE_H
#define QTX_CAPI_QTXFILE_H

#include <string>

#include "qtx/QTXLibrary.h"

struct qtx_file {
  CQTXGeneral qtx;
  CStdioFile data;       // held open from the scan on, for the values
  unsigned threads = 1;  // threads of each read; 1 reads on the caller's thread
  std::string path;      // as opened, for the index and the refresh
  QTXIndexUse indexUse;  // what the open did with the index file
  CString indexError;    // why the last qtx_write_index failed
};

#endif  // QTX_CAPI_QTXFILE_H
