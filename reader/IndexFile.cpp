// The index file's bytes and its checks against the data file.
//
// Layout, little-endian, every field fixed in size:
//   magic "QTXINDEX"                  8
//   format version, 0                 4 + 4
//   data file size, modified time     8 + 8
//   main header end, its lines, 0     8 + 4 + 4
//   main header hash                  8
//   tail start, tail hash             8 + 8    (the bytes [tail start, size))
//   resume position, line, in rows, 0 8 + 4 + 4
//   section count                     8
//   per section: header position 8, header line 4, data line 4, data
//     position 8, rows in file 4, last line cut off 4, mark count 8, and
//     per mark row 4, 0 4, position 8
//   FNV-1a 64 of every byte before it 8
#include "reader/IndexFile.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace qtx::reader::index {
namespace {

constexpr char kMagic[8] = {'Q', 'T', 'X', 'I', 'N', 'D', 'E', 'X'};
constexpr std::uint32_t kVersion = 1;
constexpr std::size_t kFixedBytes = 8 + 8 + 16 + 16 + 8 + 16 + 16 + 8;
constexpr std::size_t kSectionBytes = 40;
constexpr std::size_t kMarkBytes = 16;
constexpr int kSampledMarks = 16;

class Fnv {
 public:
  void Add(const char* p, std::size_t n) noexcept {
    for (std::size_t i = 0; i < n; ++i) {
      m_hash ^= static_cast<unsigned char>(p[i]);
      m_hash *= 1099511628211ULL;
    }
  }
  std::uint64_t Value() const noexcept { return m_hash; }

 private:
  std::uint64_t m_hash = 14695981039346656037ULL;
};

}  // namespace

bool HashRange(platform::NativeFile file, std::uint64_t from, std::uint64_t to, std::uint64_t& hash) {
  Fnv fnv;
  std::vector<char> buffer(std::size_t{1} << 16);
  platform::FileError error;
  while (from < to) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), to - from));
    const std::ptrdiff_t got = platform::ReadAt(file, from, buffer.data(), want, error);
    if (got <= 0) return false;
    fnv.Add(buffer.data(), static_cast<std::size_t>(got));
    from += static_cast<std::uint64_t>(got);
  }
  hash = fnv.Value();
  return true;
}

std::uint64_t CountLineEnds(platform::NativeFile file, std::uint64_t from, std::uint64_t to) {
  std::vector<char> buffer(std::size_t{1} << 16);
  platform::FileError error;
  std::uint64_t count = 0;
  while (from < to) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), to - from));
    const std::ptrdiff_t got = platform::ReadAt(file, from, buffer.data(), want, error);
    if (got <= 0) break;
    count += static_cast<std::uint64_t>(std::count(buffer.data(), buffer.data() + got, '\n'));
    from += static_cast<std::uint64_t>(got);
  }
  return count;
}

namespace {

bool ByteBeforeEndsLine(platform::NativeFile file, std::uint64_t position) {
  if (position == 0) return false;
  char byte = 0;
  platform::FileError error;
  return platform::ReadAt(file, position - 1, &byte, 1, error) == 1 && byte == '\n';
}

}  // namespace

bool HashTail(platform::NativeFile file, std::uint64_t size, std::uint64_t& start, std::uint64_t& hash) {
  start = size > kTailBytes ? size - kTailBytes : 0;
  return HashRange(file, start, size, hash);
}

namespace {

class Writer {
 public:
  void U32(std::uint32_t v) {
    for (int i = 0; i < 4; ++i) m_bytes.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
  }
  void U64(std::uint64_t v) {
    for (int i = 0; i < 8; ++i) m_bytes.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
  }
  void Raw(const char* p, std::size_t n) { m_bytes.insert(m_bytes.end(), p, p + n); }
  std::vector<char>& Bytes() { return m_bytes; }

 private:
  std::vector<char> m_bytes;
};

class Reader {
 public:
  Reader(const char* p, std::size_t n) : m_p(p), m_n(n) {}
  bool U32(std::uint32_t& v) {
    if (m_n - m_at < 4) return false;
    v = 0;
    for (int i = 0; i < 4; ++i) v |= std::uint32_t{static_cast<unsigned char>(m_p[m_at + i])} << (8 * i);
    m_at += 4;
    return true;
  }
  bool U64(std::uint64_t& v) {
    if (m_n - m_at < 8) return false;
    v = 0;
    for (int i = 0; i < 8; ++i) v |= std::uint64_t{static_cast<unsigned char>(m_p[m_at + i])} << (8 * i);
    m_at += 8;
    return true;
  }
  std::size_t Left() const { return m_n - m_at; }

 private:
  const char* m_p;
  std::size_t m_n;
  std::size_t m_at = 0;
};

}  // namespace

std::vector<char> Serialize(const IndexData& index) {
  Writer w;
  w.Raw(kMagic, sizeof kMagic);
  w.U32(kVersion);
  w.U32(0);
  w.U64(index.stamp.size);
  w.U64(static_cast<std::uint64_t>(index.stamp.modified));
  w.U64(index.mainHeaderEnd);
  w.U32(index.mainHeaderLines);
  w.U32(0);
  w.U64(index.headerHash);
  w.U64(index.tailStart);
  w.U64(index.tailHash);
  w.U64(index.resumePosition);
  w.U32(index.resumeLine);
  w.U32(index.inRows ? 1 : 0);
  w.U64(index.sections.size());
  for (const SectionEntry& s : index.sections) {
    w.U64(s.header.position);
    w.U32(s.header.line);
    w.U32(s.dataLine);
    w.U64(s.dataPosition);
    w.U32(s.rowsInFile);
    w.U32(s.cutOff ? 1 : 0);
    w.U64(s.marks.size());
    for (const QTXRowMark& m : s.marks) {
      w.U32(m.nRow);
      w.U32(0);
      w.U64(m.nPosition);
    }
  }
  Fnv fnv;
  fnv.Add(w.Bytes().data(), w.Bytes().size());
  w.U64(fnv.Value());
  return std::move(w.Bytes());
}

bool Parse(const std::vector<char>& bytes, IndexData& out, std::string& why) {
  if (bytes.size() < kFixedBytes + 8 || std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0) {
    why = "is no index file";
    return false;
  }
  Fnv fnv;
  fnv.Add(bytes.data(), bytes.size() - 8);
  Reader check(bytes.data() + bytes.size() - 8, 8);
  std::uint64_t sum = 0;
  check.U64(sum);
  Reader r(bytes.data() + sizeof kMagic, bytes.size() - sizeof kMagic - 8);
  std::uint32_t version = 0, pad = 0, flag = 0;
  r.U32(version);
  if (version != kVersion) {
    why = "has format version " + std::to_string(version) + ", this library reads " + std::to_string(kVersion);
    return false;
  }
  if (sum != fnv.Value()) {
    why = "fails its checksum";
    return false;
  }
  std::uint64_t modified = 0, count = 0;
  r.U32(pad);
  r.U64(out.stamp.size);
  r.U64(modified);
  out.stamp.modified = static_cast<std::int64_t>(modified);
  r.U64(out.mainHeaderEnd);
  r.U32(out.mainHeaderLines);
  r.U32(pad);
  r.U64(out.headerHash);
  r.U64(out.tailStart);
  r.U64(out.tailHash);
  r.U64(out.resumePosition);
  r.U32(out.resumeLine);
  r.U32(flag);
  out.inRows = flag != 0;
  if (!r.U64(count) || count > r.Left() / kSectionBytes) {
    why = "claims more sections than it holds";
    return false;
  }
  out.sections.resize(static_cast<std::size_t>(count));
  for (SectionEntry& s : out.sections) {
    std::uint64_t marks = 0;
    r.U64(s.header.position);
    r.U32(s.header.line);
    r.U32(s.dataLine);
    r.U64(s.dataPosition);
    r.U32(s.rowsInFile);
    r.U32(flag);
    s.cutOff = flag != 0;
    if (!r.U64(marks) || marks > r.Left() / kMarkBytes) {
      why = "claims more row marks than it holds";
      return false;
    }
    s.marks.resize(static_cast<std::size_t>(marks));
    for (QTXRowMark& m : s.marks) {
      r.U32(m.nRow);
      r.U32(pad);
      r.U64(m.nPosition);
    }
  }
  if (r.Left() != 0) {
    why = "has bytes after its last section";
    return false;
  }
  return true;
}

// The order that a scan gives: positions within the file and ascending, row
// marks ascending and within the rows counted.
bool Consistent(const IndexData& index, std::string& why) {
  why = "does not describe a scan";
  const std::uint64_t size = index.stamp.size;
  if (index.mainHeaderEnd > size || index.resumePosition > size || index.tailStart > size) return false;
  std::uint64_t position = index.mainHeaderEnd;
  for (std::size_t i = 0; i < index.sections.size(); ++i) {
    const SectionEntry& s = index.sections[i];
    if (s.header.position < position || s.dataPosition < s.header.position || s.dataPosition > size) return false;
    if (s.dataLine < s.header.line) return false;
    std::uint64_t markPosition = s.dataPosition;
    std::uint32_t markRow = 0;
    for (std::size_t m = 0; m < s.marks.size(); ++m) {
      const QTXRowMark& mark = s.marks[m];
      if ((m > 0 && mark.nRow <= markRow) || mark.nRow > s.rowsInFile || mark.nPosition < markPosition ||
          mark.nPosition > size)
        return false;
      markRow = mark.nRow;
      markPosition = mark.nPosition;
    }
    position = std::max(markPosition, s.dataPosition);
  }
  if (index.resumePosition < position) return false;
  if (index.inRows && index.sections.empty()) return false;
  return true;
}

bool ReadIndexFile(const std::string& path, std::uint64_t dataSize, std::vector<char>& bytes, QTXIndexUse& use) {
  std::error_code code;
  if (!std::filesystem::exists(path, code)) {
    use.nNotice = QTX_INDEX_MISSING;
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  const std::uint64_t size = std::filesystem::file_size(path, code);
  // An index is a small part of its file: one that is not is no index.
  const std::uint64_t limit = 4096 + 4 * dataSize;
  if (!in || code) {
    use.nNotice = QTX_INDEX_UNREADABLE;
    use.strText = CString((path + ": cannot be read; the file was scanned").c_str());
    return false;
  }
  if (size > limit) {
    use.nNotice = QTX_INDEX_CORRUPT;
    use.strText = CString((path + ": is larger than an index of its file can be; the file was scanned").c_str());
    return false;
  }
  bytes.resize(static_cast<std::size_t>(size));
  in.read(bytes.data(), static_cast<std::streamsize>(size));
  if (static_cast<std::uint64_t>(in.gcount()) != size) {
    use.nNotice = QTX_INDEX_UNREADABLE;
    use.strText = CString((path + ": cannot be read; the file was scanned").c_str());
    return false;
  }
  return true;
}

int CheckAgainstFile(const IndexData& index, platform::NativeFile native, const platform::FileStamp& stamp,
                     std::string& why) {
  std::uint64_t hash = 0;
  if (stamp.size < index.stamp.size) {
    why = "the file is shorter than when it was indexed";
    return QTX_INDEX_STALE;
  }
  if (!HashRange(native, 0, index.mainHeaderEnd, hash) || hash != index.headerHash) {
    why = "the file's main header changed since it was indexed";
    return QTX_INDEX_STALE;
  }
  const std::uint64_t wantStart = index.stamp.size > kTailBytes ? index.stamp.size - kTailBytes : 0;
  if (index.tailStart != wantStart || !HashRange(native, index.tailStart, index.stamp.size, hash) ||
      hash != index.tailHash) {
    why = "the file's last indexed bytes changed since it was indexed";
    return QTX_INDEX_STALE;
  }
  // Each section header, and a few row marks spread over the file, start a line.
  std::vector<std::uint64_t> starts;
  std::size_t marks = 0;
  for (const SectionEntry& s : index.sections) {
    starts.push_back(s.header.position);
    marks += s.marks.size();
  }
  if (marks > 0) {
    const std::size_t step = std::max<std::size_t>(1, marks / kSampledMarks);
    std::size_t k = 0;
    for (const SectionEntry& s : index.sections)
      for (const QTXRowMark& m : s.marks)
        if (k++ % step == 0) starts.push_back(m.nPosition);
  }
  // Where the scan goes on: a line's start, or the end of what was indexed.
  if (index.resumePosition != index.mainHeaderEnd && index.resumePosition != index.stamp.size)
    starts.push_back(index.resumePosition);
  for (const std::uint64_t start : starts) {
    if (!ByteBeforeEndsLine(native, start)) {
      why = "a row mark or section header of the index does not start a line of the file";
      return QTX_INDEX_MISMATCH;
    }
  }
  return QTX_INDEX_USED;
}

}  // namespace qtx::reader::index
