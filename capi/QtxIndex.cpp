// The C interface of the index file and of following a growing file.
#include <cerrno>
#include <cstdint>
#include <new>

#include "capi/QtxFile.h"
#include "qtx/qtx.h"

int qtx_index_used(const qtx_file* file) { return file && file->indexUse.bUsed ? 1 : 0; }

qtx_status qtx_index_notice(const qtx_file* file, int* notice, const char** text) {
  if (!file) return QTX_ERR_ARGUMENT;
  if (notice) *notice = file->indexUse.nNotice;
  if (text) *text = file->indexUse.strText.GetString();
  return QTX_OK;
}

qtx_status qtx_write_index(qtx_file* file) {
  if (!file) return QTX_ERR_ARGUMENT;
  try {
    errno = 0;
    if (file->qtx.QTX_WriteIndex(CString(file->path.c_str()), &file->indexError)) return QTX_OK;
    return errno == EACCES || errno == EROFS || errno == EPERM ? QTX_ERR_ACCESS : QTX_ERR_IO;
  } catch (const std::bad_alloc&) {
    return QTX_ERR_MEMORY;
  } catch (...) {
    return QTX_ERR_INTERNAL;
  }
}

const char* qtx_last_index_error(const qtx_file* file) { return file ? file->indexError.GetString() : ""; }

qtx_status qtx_refresh(qtx_file* file, uint64_t* new_rows, int32_t* new_sections) {
  if (new_rows) *new_rows = 0;
  if (new_sections) *new_sections = 0;
  if (!file) return QTX_ERR_ARGUMENT;
  try {
    QTXRefresh refresh;
    file->qtx.QTX_Refresh(CString(file->path.c_str()), &refresh);
    if (refresh.nStatus == QTX_REFRESH_REPLACED) return QTX_ERR_REPLACED;
    if (refresh.nStatus != QTX_REFRESH_OK) return QTX_ERR_IO;
    std::uint64_t rows = 0;
    for (std::ptrdiff_t i = 0; i < refresh.arrNewRows.GetSize(); ++i) rows += refresh.arrNewRows.GetAt(i);
    if (new_rows) *new_rows = rows;
    if (new_sections) *new_sections = static_cast<std::int32_t>(refresh.nNewSections);
    return QTX_OK;
  } catch (const std::bad_alloc&) {
    return QTX_ERR_MEMORY;
  } catch (...) {
    return QTX_ERR_INTERNAL;
  }
}
