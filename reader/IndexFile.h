// The index file's format and its checks against the data file: what the
// index holds, its bytes, and whether a data file is still the one indexed.
// reader/Index.cpp builds the object model from it and writes it.
#ifndef QTX_READER_INDEXFILE_H
#define QTX_READER_INDEXFILE_H

#include <cstdint>
#include <string>
#include <vector>

#include "framework/Platform.h"
#include "qtx/QTXLibrary.h"

namespace qtx::reader::index {

// The bytes at the end of what was indexed whose hash tells a file that
// only grew from one whose indexed bytes changed.
constexpr std::uint64_t kTailBytes = std::uint64_t{1} << 16;

struct HeaderPlace {
  std::uint64_t position;
  std::uint32_t line;
};

// Everything the index says.
struct SectionEntry {
  HeaderPlace header;
  std::uint32_t dataLine;
  std::uint64_t dataPosition;
  std::uint32_t rowsInFile;
  bool cutOff;
  std::vector<QTXRowMark> marks;
};

struct IndexData {
  platform::FileStamp stamp;
  std::uint64_t mainHeaderEnd, headerHash, tailStart, tailHash, resumePosition;
  std::uint32_t mainHeaderLines, resumeLine;
  bool inRows;
  std::vector<SectionEntry> sections;
};

// Hash of the bytes [from, to) of an open file; false when they cannot all
// be read (the file is shorter).
bool HashRange(platform::NativeFile file, std::uint64_t from, std::uint64_t to, std::uint64_t& hash);
// The line ends in [from, to).
std::uint64_t CountLineEnds(platform::NativeFile file, std::uint64_t from, std::uint64_t to);
// The hash of the last kTailBytes (or fewer) of a file of `size` bytes.
bool HashTail(platform::NativeFile file, std::uint64_t size, std::uint64_t& start, std::uint64_t& hash);

// The index file's bytes, checksum included.
std::vector<char> Serialize(const IndexData& index);
// Parses index bytes; every count is bounded by the bytes that remain, so
// nothing is allocated by what the index claims. False, with why: corrupt.
bool Parse(const std::vector<char>& bytes, IndexData& out, std::string& why);
// Whether the index describes a scan: positions ascending within the file.
bool Consistent(const IndexData& index, std::string& why);
// Reads the index file of a data file of dataSize bytes; false with the
// notice in `use` when there is none or it cannot be read.
bool ReadIndexFile(const std::string& path, std::uint64_t dataSize, std::vector<char>& bytes, QTXIndexUse& use);
// The checks against the data file that come before anything is built:
// QTX_INDEX_USED, or the notice with why.
int CheckAgainstFile(const IndexData& index, platform::NativeFile native, const platform::FileStamp& stamp,
                     std::string& why);

}  // namespace qtx::reader::index

#endif  // QTX_READER_INDEXFILE_H
