#include "sections/Sections.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <new>
#include <system_error>
#include <vector>

#include "cli/Tool.h"

namespace qtx::tool {

void OpenForReading(CStdioFile& file, const std::string& path) {
  // Whatever is missing or a folder, the open below says best.
  std::error_code statusError;
  const std::filesystem::file_type type = std::filesystem::status(path, statusError).type();
  if (type != std::filesystem::file_type::regular && type != std::filesystem::file_type::directory &&
      type != std::filesystem::file_type::not_found && type != std::filesystem::file_type::none)
    throw Failure(path + " is not a regular file; qtx reads files it can seek in");
  CFileException error;
  if (!file.Open(path.c_str(), CFile::modeRead | CFile::shareDenyWrite | CFile::typeText, &error))
    throw Failure(std::string("cannot open ") + error.what());
}

bool TryScanFile(CQTXGeneral& qtx, const std::string& path) {
  // The scan says only whether it worked; an open of our own says why not.
  {
    CStdioFile probe;
    OpenForReading(probe, path);
  }
  try {
    // Through the index beside the file where one matches; one that does
    // not is said once, and the file is scanned.
    QTXIndexUse use;
    const bool complete = qtx.QTX_OpenIndexed(CString(path.c_str()), &use);
    if (!use.strText.IsEmpty() && use.nNotice != QTX_INDEX_EXTENDED) Warn(use.strText.GetString());
    return complete;
  } catch (const std::bad_alloc&) {
    throw Failure(path + ": the file declares more than fits in memory");
  }
}

void ScanFile(CQTXGeneral& qtx, const std::string& path) {
  if (!TryScanFile(qtx, path)) throw Failure(path + ": the file ends before the main header's end line");
}

CQTXSection& SectionAt(CQTXGeneral& qtx, long long index) {
  const std::ptrdiff_t count = qtx.m_arrSections.GetSize();
  if (index < 0 || index >= count)
    throw Failure("there is no section " + std::to_string(index) + " (the file has " + std::to_string(count) +
                  " section" + (count == 1 ? "" : "s") + ")");
  return *qtx.m_arrSections.GetAt(static_cast<std::ptrdiff_t>(index));
}

std::uint32_t RowCount(const CQTXSection& section) { return section.RowCount(); }

std::uint32_t ReadValues(CQTXGeneral& qtx, CQTXSection& section, long long sectionIndex,
                         const std::string& path, int channel) {
  // Arrays for the rows the file holds, which the scan counted, and not for
  // what the header declares: a small file may declare billions.
  const std::uint32_t declared = RowCount(section);
  const std::uint32_t held = std::min(section.m_nRowsInFile, declared);
  const std::string what = path + ": section " + std::to_string(sectionIndex) + " declares " +
                           std::to_string(declared) + " row" + (declared == 1 ? "" : "s");
  CStdioFile file;
  OpenForReading(file, path);
  const int nChannels = std::max(section.m_nChannels, 0);
  std::vector<QTXChannelTarget> targets;
  std::vector<std::unique_ptr<double[]>> arrays;
  try {
    for (int j = 0; j < nChannels; ++j) {
      if (channel >= 0 && channel != j) continue;
      arrays.emplace_back(new double[std::max<std::uint32_t>(held, 1)]);
      arrays.emplace_back(new double[std::max<std::uint32_t>(held, 1)]);
      targets.push_back({j, arrays[arrays.size() - 2].get(), arrays.back().get()});
    }
  } catch (const std::bad_alloc&) {
    throw Failure(what + ", more than fit in memory");
  }
  const QTXRowsRead read = qtx.QTX_ReadRows(&file, &section, 0, held, targets.data(), targets.size());
  for (std::size_t i = 0; i < targets.size(); ++i) {
    CQTXChannel& target = *section.m_arrChannels.GetAt(targets[i].nChannel);
    delete[] target.m_pXValues;
    delete[] target.m_pYValues;
    target.m_pXValues = arrays[2 * i].release();
    target.m_pYValues = arrays[2 * i + 1].release();
  }
  if (read.nRows < declared)
    Warn(what + " (Samples), but the file holds " + std::to_string(read.nRows));
  return read.nRows;
}

void CheckChannel(const CQTXSection& section, long long sectionIndex, long long channel) {
  const int count = section.m_nChannels > 0 ? section.m_nChannels : 0;
  if (channel >= 0 && channel < count) return;
  throw Failure("section " + std::to_string(sectionIndex) + " has no channel " + std::to_string(channel) +
                " (it has " + std::to_string(count) + " channel" + (count == 1 ? "" : "s") + ")");
}

}  // namespace qtx::tool
