// Storing and reading back the viewer's summaries (SummaryStore.h).
#include "view/SummaryStore.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <system_error>

#include "cli/OutputFile.h"
#include "cli/Tool.h"
#include "view/SummaryParts.h"

namespace qtx::tool::view {
namespace {

constexpr char kMagic[8] = {'Q', 'T', 'X', 'S', 'U', 'M', 'R', 'Y'};
constexpr std::uint32_t kVersion = 1;
constexpr std::uint64_t kTailBytes = std::uint64_t{1} << 16;
constexpr std::size_t kFixedBytes = 8 + 8 + 6 * 8 + 8;
constexpr std::size_t kSectionBytes = 6 * 4 + 8;
constexpr std::size_t kChannelBytes = 24;
constexpr std::size_t kSourceBytes = 16;
// Per bin: two doubles and a count per X source, eight doubles and a count
// per channel.
constexpr std::uint64_t kSourceBinBytes = 20, kChannelBinBytes = 68;

// A 64-bit hash of bytes, a word at a time (FNV-1a's step over 8 bytes, with
// a final mix); the same on every system.
class Hash {
 public:
  void Add(const char* p, std::size_t n) {
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) Step(Word(p + i, 8));
    if (i < n) Step(Word(p + i, n - i) ^ (std::uint64_t{n - i} << 56));
  }
  std::uint64_t Value() const {
    std::uint64_t h = m_hash;
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdULL;
    h ^= h >> 33;
    return h;
  }

 private:
  static std::uint64_t Word(const char* p, std::size_t n) {
    std::uint64_t w = 0;
    for (std::size_t k = 0; k < n; ++k) w |= std::uint64_t{static_cast<unsigned char>(p[k])} << (8 * k);
    return w;
  }
  void Step(std::uint64_t w) { m_hash = (m_hash ^ w) * 1099511628211ULL; }
  std::uint64_t m_hash = 14695981039346656037ULL;
};

// Hash of the bytes [from, to) of the file; false when they cannot all be read.
bool HashRange(std::ifstream& in, std::uint64_t from, std::uint64_t to, std::uint64_t& hash) {
  Hash h;
  std::vector<char> buffer(std::size_t{1} << 16);
  in.clear();
  in.seekg(static_cast<std::streamoff>(from));
  while (from < to && in) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), to - from));
    in.read(buffer.data(), static_cast<std::streamsize>(want));
    const std::size_t got = static_cast<std::size_t>(in.gcount());
    if (got == 0) return false;
    h.Add(buffer.data(), got);
    from += got;
  }
  hash = h.Value();
  return from == to;
}

std::uint64_t HeadEnd(const CQTXGeneral& qtx) {
  return qtx.m_arrSections.IsEmpty() ? 0 : qtx.m_arrSections.GetAt(0)->m_nDataPosition;
}

// The checks of `path` now; false with `why` when it cannot be read.
bool ChecksOf(const std::string& path, std::uint64_t headEnd, SummaryStore::Checks& checks, std::string& why) {
  std::error_code code;
  checks.size = std::filesystem::file_size(path, code);
  if (!code)
    checks.modified =
        static_cast<std::int64_t>(std::filesystem::last_write_time(path, code).time_since_epoch().count());
  std::ifstream in(path, std::ios::binary);
  checks.headEnd = headEnd;
  checks.tailStart = checks.size > kTailBytes ? checks.size - kTailBytes : 0;
  if (code || !in || headEnd > checks.size || !HashRange(in, 0, headEnd, checks.headHash) ||
      !HashRange(in, checks.tailStart, checks.size, checks.tailHash)) {
    why = path + " cannot be read" + (code ? " (" + code.message() + ")" : std::string());
    return false;
  }
  return true;
}

// Whether the file at `path` is the one `was` describes, or that file grown.
bool OnlyGrew(const std::string& path, const SummaryStore::Checks& was, const SummaryStore::Checks& now,
              std::string& why) {
  std::ifstream in(path, std::ios::binary);
  std::uint64_t hash = 0;
  if (now.size < was.size) {
    why = "the file is shorter than when its summary was stored";
  } else if (now.size == was.size && now.modified != was.modified) {
    why = "the file was modified since its summary was stored";
  } else if (now.headEnd != was.headEnd || now.headHash != was.headHash) {
    why = "the file's headers changed since its summary was stored";
  } else if (was.tailStart != (was.size > kTailBytes ? was.size - kTailBytes : 0) ||
             !HashRange(in, was.tailStart, was.size, hash) || hash != was.tailHash) {
    why = "the file's last bytes summarised changed since its summary was stored";
  } else {
    return true;
  }
  return false;
}

class Writer {
 public:
  void U32(std::uint32_t v) {
    for (int i = 0; i < 4; ++i) m_bytes.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
  }
  void U64(std::uint64_t v) {
    for (int i = 0; i < 8; ++i) m_bytes.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
  }
  void F64(double v) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &v, sizeof v);
    U64(bits);
  }
  void F64s(const std::vector<double>& values, std::uint32_t n) {
    for (std::uint32_t i = 0; i < n; ++i) F64(values[i]);
  }
  void U32s(const std::vector<std::uint32_t>& values, std::uint32_t n) {
    for (std::uint32_t i = 0; i < n; ++i) U32(values[i]);
  }
  std::string& Bytes() { return m_bytes; }

 private:
  std::string m_bytes;
};

// Reads what a Writer wrote; every read is bounded by the bytes left, and
// a read past them leaves the reader failed.
class Reader {
 public:
  Reader(const char* p, std::size_t n) : m_p(p), m_n(n) {}
  std::uint32_t U32() { return static_cast<std::uint32_t>(Bytes(4)); }
  std::uint64_t U64() { return Bytes(8); }
  double F64() {
    const std::uint64_t bits = U64();
    double v = 0;
    std::memcpy(&v, &bits, sizeof v);
    return v;
  }
  void F64s(std::vector<double>& values, std::uint32_t n) { Many(values, n, [this] { return F64(); }); }
  void U32s(std::vector<std::uint32_t>& values, std::uint32_t n) { Many(values, n, [this] { return U32(); }); }
  std::uint64_t Left() const { return m_n - m_at; }
  bool Ok() const { return m_ok; }

 private:
  // n values; on a little-endian system copied at once, as they are stored.
  template <typename T, typename One>
  void Many(std::vector<T>& values, std::uint32_t n, One one) {
    if (std::uint64_t{n} * sizeof(T) > Left()) {
      m_ok = false;
      m_at = m_n;
      values.clear();
      return;
    }
    values.resize(n);
    if (LittleEndian()) {
      if (n > 0) std::memcpy(values.data(), m_p + m_at, std::size_t{n} * sizeof(T));
      m_at += std::size_t{n} * sizeof(T);
    } else {
      for (T& v : values) v = one();
    }
  }
  static bool LittleEndian() {
    const std::uint32_t one = 1;
    unsigned char first = 0;
    std::memcpy(&first, &one, 1);
    return first == 1;
  }
  std::uint64_t Bytes(int n) {
    if (m_n - m_at < static_cast<std::size_t>(n)) {
      m_ok = false;
      m_at = m_n;
      return 0;
    }
    std::uint64_t v = 0;
    for (int i = 0; i < n; ++i) v |= std::uint64_t{static_cast<unsigned char>(m_p[m_at + i])} << (8 * i);
    m_at += static_cast<std::size_t>(n);
    return v;
  }
  const char* m_p;
  std::size_t m_n;
  std::size_t m_at = 0;
  bool m_ok = true;
};

}  // namespace

std::string SummaryStore::PathOf(const std::string& dataPath) { return dataPath + ".qtxs"; }

SummaryStore::SummaryStore(const CQTXGeneral& qtx, const std::string& path)
    : m_qtx(qtx), m_path(path), m_stored(static_cast<std::size_t>(qtx.m_arrSections.GetSize())) {
  std::string why;
  m_checked = ChecksOf(path, HeadEnd(qtx), m_checks, why);
  if (m_checked) Load();
}

bool SummaryStore::Holds(std::size_t section) const { return section < m_stored.size() && m_stored[section]; }

std::uint32_t SummaryStore::RowsStored(std::size_t section) const {
  return Holds(section) ? m_stored[section]->Rows() : 0;
}

void SummaryStore::Load() {
  const std::string storePath = PathOf(m_path);
  std::error_code code;
  if (!std::filesystem::exists(storePath, code)) return;
  auto ignore = [&](const std::string& why) {
    for (auto& stored : m_stored) stored.reset();
    m_why = why;
    m_notice = storePath + ": " + why + "; the summary is read from the rows";
  };
  const std::uint64_t size = std::filesystem::file_size(storePath, code);
  // A summary is a small part of its file: one that is not is no summary.
  if (code) return ignore("cannot be read");
  if (size > 4096 + 8 * m_checks.size) return ignore("is larger than a summary of its file can be");
  if (size < kFixedBytes + 8) return ignore("is no stored summary");
  // Read as it is, uninitialised before: a summary takes megabytes.
  const std::unique_ptr<char[]> data(new char[static_cast<std::size_t>(size)]);
  const std::string_view bytes(data.get(), static_cast<std::size_t>(size));
  std::ifstream in(storePath, std::ios::binary);
  in.read(data.get(), static_cast<std::streamsize>(size));
  if (!in || static_cast<std::uint64_t>(in.gcount()) != size) return ignore("cannot be read");
  if (std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0) return ignore("is no stored summary");
  Reader r(bytes.data() + sizeof kMagic, bytes.size() - sizeof kMagic - 8);
  const std::uint32_t version = r.U32();
  if (version != kVersion)
    return ignore("has format version " + std::to_string(version) + ", this qtx reads " + std::to_string(kVersion));
  Hash hash;
  hash.Add(bytes.data(), bytes.size() - 8);
  if (Reader(bytes.data() + bytes.size() - 8, 8).U64() != hash.Value()) return ignore("fails its checksum");
  r.U32();
  Checks was;
  was.size = r.U64();
  was.modified = static_cast<std::int64_t>(r.U64());
  was.headEnd = r.U64();
  was.headHash = r.U64();
  was.tailStart = r.U64();
  was.tailHash = r.U64();
  const std::int32_t xColumns = static_cast<std::int32_t>(r.U32());
  const std::uint32_t sections = r.U32();
  std::string why;
  if (!OnlyGrew(m_path, was, m_checks, why)) return ignore(why);
  if (xColumns != m_qtx.m_nXColumns) return ignore("describes another file");
  if (sections > r.Left() / kSectionBytes) return ignore("claims more sections than it holds");
  for (std::uint32_t k = 0; k < sections; ++k) {
    const std::uint32_t index = r.U32(), channels = r.U32(), rows = r.U32(), binRows = r.U32(), bins = r.U32(),
                        sourceCount = r.U32();
    const std::uint64_t dataPosition = r.U64();
    if (!r.Ok()) return ignore("is truncated");
    if (index >= m_stored.size() || m_stored[index]) return ignore("names sections the file does not hold");
    const CQTXSection& section = *m_qtx.m_arrSections.GetAt(static_cast<std::ptrdiff_t>(index));
    auto summary =
        std::unique_ptr<SectionSummary>(new SectionSummary(m_qtx, m_path, section, SectionSummary::Covering{rows}));
    // The stored structure is the one the section gives for the rows covered.
    // Fewer rows than the section holds now: an extension reads the others.
    const std::uint32_t held =
        section.m_bRowsCounted ? std::min(section.RowCount(), section.m_nRowsInFile) : section.RowCount();
    if (channels != static_cast<std::uint32_t>(std::max(0, section.m_nChannels)) ||
        dataPosition != section.m_nDataPosition || rows > held ||
        binRows != summary->m_binRows || bins != summary->m_bins || sourceCount != summary->m_sources.size() ||
        channels > r.Left() / kChannelBytes)
      return ignore("describes section " + std::to_string(index) + " otherwise than the file holds it");
    for (std::uint32_t c = 0; c < channels; ++c) {
      const CQTXChannel& channel = *section.m_arrChannels.GetAt(static_cast<std::ptrdiff_t>(c));
      const std::uint32_t samples = r.U32();
      r.U32();
      const double x0 = r.F64(), deltaX = r.F64();
      if (samples != channel.m_nSamples || !parts::SameBits(x0, channel.m_dX0) ||
          !parts::SameBits(deltaX, channel.m_dDeltaX))
        return ignore("describes the channels of section " + std::to_string(index) + " otherwise than the file");
    }
    if (std::uint64_t{bins} * (kSourceBinBytes * sourceCount + kChannelBinBytes * channels) +
            kSourceBytes * sourceCount > r.Left())
      return ignore("is truncated");
    for (SectionSummary::XSource& source : summary->m_sources) {
      const std::uint32_t rising = r.U32();
      r.U32();
      source.resumeX = r.F64();
      r.F64s(source.low, bins);
      r.F64s(source.high, bins);
      r.U32s(source.finite, bins);
      if (rising > 1) return ignore("is corrupt");
      source.rising = rising == 1;
      // The answers search the bins of a rising X: they must be in order.
      for (std::uint32_t b = 0; source.rising && b < bins; ++b)
        if (!(source.low[b] <= source.high[b]) || (b + 1 < bins && source.high[b] > source.low[b + 1]))
          return ignore("is corrupt");
    }
    for (SectionSummary::Bins& channel : summary->m_channelBins) {
      r.F64s(channel.first, bins);
      r.F64s(channel.low, bins);
      r.F64s(channel.high, bins);
      r.F64s(channel.last, bins);
      r.U32s(channel.count, bins);
      r.F64s(channel.sum, bins);
      r.F64s(channel.sumSquares, bins);
      r.F64s(channel.xOfLow, bins);
      r.F64s(channel.xOfHigh, bins);
    }
    summary->Bounds();
    m_stored[index] = std::move(summary);
  }
  if (!r.Ok() || r.Left() != 0) return ignore("is truncated or has bytes after its last section");
}

std::unique_ptr<SectionSummary> SummaryStore::Summary(std::size_t section, unsigned threads,
                                                      const SectionSummary::Progress& progress) {
  if (Holds(section)) {
    std::unique_ptr<SectionSummary> stored = std::move(m_stored[section]);
    stored->Extend(threads, progress);
    return stored;
  }
  return std::make_unique<SectionSummary>(
      m_qtx, m_path, *m_qtx.m_arrSections.GetAt(static_cast<std::ptrdiff_t>(section)), threads, progress);
}

void SummaryStore::Save(const std::vector<const SectionSummary*>& summaries) {
  const std::string storePath = PathOf(m_path);
  Checks now;
  std::string why;
  if (!m_checked || !ChecksOf(m_path, HeadEnd(m_qtx), now, why))
    throw Failure("cannot write " + storePath + ": " + (why.empty() ? m_path + " cannot be read" : why));
  if (!OnlyGrew(m_path, m_checks, now, why))
    throw Failure("cannot write " + storePath + ": " + m_path + " changed since it was read");
  Writer w;
  for (const char c : kMagic) w.Bytes().push_back(c);
  w.U32(kVersion);
  w.U32(0);
  w.U64(now.size);
  w.U64(static_cast<std::uint64_t>(now.modified));
  w.U64(now.headEnd);
  w.U64(now.headHash);
  w.U64(now.tailStart);
  w.U64(now.tailHash);
  w.U32(static_cast<std::uint32_t>(m_qtx.m_nXColumns));
  // By section, one each; a stored summary not taken stays in the file.
  std::vector<const SectionSummary*> bySection(m_stored.size());
  for (std::size_t i = 0; i < m_stored.size(); ++i) bySection[i] = m_stored[i].get();
  for (const SectionSummary* summary : summaries) {
    if (!summary) continue;
    for (std::size_t i = 0; i < bySection.size(); ++i)
      if (m_qtx.m_arrSections.GetAt(static_cast<std::ptrdiff_t>(i)) == &summary->Section()) bySection[i] = summary;
  }
  std::vector<std::pair<std::uint32_t, const SectionSummary*>> held;
  for (std::size_t i = 0; i < bySection.size(); ++i)
    if (bySection[i]) held.emplace_back(static_cast<std::uint32_t>(i), bySection[i]);
  w.U32(static_cast<std::uint32_t>(held.size()));
  for (const auto& [index, summary] : held) {
    const CQTXSection& section = summary->Section();
    const std::uint32_t bins = summary->m_bins;
    w.U32(index);
    w.U32(static_cast<std::uint32_t>(summary->m_channelBins.size()));
    w.U32(summary->m_rows);
    w.U32(summary->m_binRows);
    w.U32(bins);
    w.U32(static_cast<std::uint32_t>(summary->m_sources.size()));
    w.U64(section.m_nDataPosition);
    for (std::size_t c = 0; c < summary->m_channelBins.size(); ++c) {
      const CQTXChannel& channel = *section.m_arrChannels.GetAt(static_cast<std::ptrdiff_t>(c));
      w.U32(channel.m_nSamples);
      w.U32(0);
      w.F64(channel.m_dX0);
      w.F64(channel.m_dDeltaX);
    }
    for (const SectionSummary::XSource& source : summary->m_sources) {
      w.U32(source.rising ? 1 : 0);
      w.U32(0);
      w.F64(source.resumeX);
      w.F64s(source.low, bins);
      w.F64s(source.high, bins);
      w.U32s(source.finite, bins);
    }
    for (const SectionSummary::Bins& channel : summary->m_channelBins) {
      w.F64s(channel.first, bins);
      w.F64s(channel.low, bins);
      w.F64s(channel.high, bins);
      w.F64s(channel.last, bins);
      w.U32s(channel.count, bins);
      w.F64s(channel.sum, bins);
      w.F64s(channel.sumSquares, bins);
      w.F64s(channel.xOfLow, bins);
      w.F64s(channel.xOfHigh, bins);
    }
  }
  Hash hash;
  hash.Add(w.Bytes().data(), w.Bytes().size());
  w.U64(hash.Value());
  OutputFile out(storePath);
  out.Write(w.Bytes());
  out.Commit();
  m_checks = now;
}

}  // namespace qtx::tool::view
