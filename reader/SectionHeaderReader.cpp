// Reading one section header: keyword lines up to "***End_of_Header***", then
// the headings line, into a new CQTXSection with its channels.
#include <memory>
#include <new>

#include "framework/Platform.h"
#include "qtx/QTXLibrary.h"
#include "textio/Convert.h"

namespace {

using qtx::textio::Atoi;
using qtx::textio::Atol;

bool Is(const CString& key, const char* keyword) { return key.CompareNoCase(keyword) == 0; }

// The X heading every channel gets when the file has no X column.
const char* const kNoXColumnHeading = "X_Value";

// A Channels value is taken from the file as it stands. Creating channels
// that cannot fit in memory would only end with the process killed on a
// system that overcommits, so such a count fails the way a failed
// allocation does, before anything is created.
void CheckChannelsFitInMemory(int nChannels) {
  if (nChannels <= 0) return;
  const std::uint64_t physical = qtx::platform::PhysicalMemoryBytes();
  if (physical == 0) return;
  // The channel object, its list entry and the allocator's own overhead.
  constexpr std::uint64_t kBytesPerChannel = sizeof(CQTXChannel) + sizeof(CQTXChannel*) + 16;
  if (static_cast<std::uint64_t>(nChannels) > physical / kBytesPerChannel) throw std::bad_alloc();
}

// Creates a section of nChannels channels (none when not positive) and links
// it into qtx. Nothing leaks if an allocation fails on the way: the section
// owns each channel from the moment it is listed, and the section itself is
// freed here until qtx owns it.
CQTXSection* CreateSection(CQTXGeneral& qtx, int nChannels) {
  CheckChannelsFitInMemory(nChannels);
  auto section = std::make_unique<CQTXSection>();
  section->m_nChannels = nChannels;
  for (int i = 0; i < nChannels; ++i) {
    auto channel = std::make_unique<CQTXChannel>();
    channel->m_nIndex = i;
    section->m_arrChannels.Add(channel.get());
    channel.release();
  }
  qtx.m_arrSections.Add(section.get());
  return section.release();
}

// Gives channel i of the section the line's field i + 2: strValue holds the
// second field on entry. Once the line runs out of fields every further
// channel takes the fill text.
template <class Store>
void Distribute(CQTXSection& section, CTokenizer& tokenizer, CString& strValue, const char* fill, Store store) {
  for (int i = 0; i < section.m_nChannels; ++i) {
    store(*section.m_arrChannels.GetAt(i), strValue);
    if (!tokenizer.Next(strValue)) strValue = fill;
  }
}

// The per-channel lines with a decimal or a text value, and the member each
// fills. Both kinds fill channels beyond the line's last value with the text
// "0.0": the labels too, not with an empty text.
struct DecimalKeyword {
  const char* keyword;
  double CQTXChannel::*member;
};
struct LabelKeyword {
  const char* keyword;
  CString CQTXChannel::*member;
};
constexpr DecimalKeyword kDecimalKeywords[] = {
    {"Delta_X", &CQTXChannel::m_dDeltaX},
    {"X0", &CQTXChannel::m_dX0},
};
constexpr LabelKeyword kLabelKeywords[] = {
    {"X_Dimension", &CQTXChannel::m_strXDimension},
    {"X_Unit_Label", &CQTXChannel::m_strXUnitLabel},
    {"Y_Dimension", &CQTXChannel::m_strYDimension},
    {"Y_Unit_Label", &CQTXChannel::m_strYUnitLabel},
};
const char* const kFillText = "0.0";
// The per-channel stamps, recorded as written; a channel beyond the line's
// last value gets none.
constexpr LabelKeyword kStampKeywords[] = {
    {"Date", &CQTXChannel::m_strDate},
    {"Time", &CQTXChannel::m_strTime},
};

// Applies a per-channel keyword line to the section; unknown keys change
// nothing, and Date and Time only the channels' recorded stamps.
void ApplyChannelLine(const CString& strKey, CQTXSection& section, CTokenizer& tokenizer, CString& strValue) {
  if (Is(strKey, "Samples")) {
    Distribute(section, tokenizer, strValue, "0", [](CQTXChannel& c, const CString& v) {
      c.m_nSamples = qtx::textio::ToUInt32(Atol(v.View()));
    });
    return;
  }
  for (const DecimalKeyword& k : kDecimalKeywords) {
    if (Is(strKey, k.keyword)) {
      const qtx::textio::DecimalConverter atof;
      Distribute(section, tokenizer, strValue, kFillText,
                 [&k, &atof](CQTXChannel& c, const CString& v) { c.*k.member = atof(v.View()); });
      return;
    }
  }
  for (const LabelKeyword& k : kLabelKeywords) {
    if (Is(strKey, k.keyword)) {
      Distribute(section, tokenizer, strValue, kFillText, [&k](CQTXChannel& c, const CString& v) { c.*k.member = v; });
      return;
    }
  }
  for (const LabelKeyword& k : kStampKeywords) {
    if (Is(strKey, k.keyword)) {
      Distribute(section, tokenizer, strValue, "", [&k](CQTXChannel& c, const CString& v) { c.*k.member = v; });
      return;
    }
  }
}

}  // namespace

CQTXSection* CQTXGeneral::QTX_ReadSectionHeader(std::uint32_t& nLine, CStdioFile* pFile) {
  m_bEndOfSectionHeader = false;
  CQTXSection* pSection = nullptr;  // the current section; owned by m_arrSections

  CString strLine;
  CString strKey;
  CString strValue;
  while (pFile->ReadString(strLine)) {
    // Section header lines may be indented; main header lines may not.
    strLine.Trim();
    if (!strLine.IsEmpty()) {
      CTokenizer tokenizer(strLine, m_strSeparator);
      if (tokenizer.Next(strKey)) {
        tokenizer.Next(strValue);
        if (m_bInSpecial) {
          // Blocks do not nest: the first end line closes it, and nothing
          // else inside it acts.
          if (Is(strKey, lpszEndSpecial)) m_bInSpecial = false;
        } else if (Is(strKey, "Channels")) {
          pSection = CreateSection(*this, Atoi(strValue.View()));
        } else if (Is(strKey, lpszEndOfHeader)) {
          m_bEndOfSectionHeader = true;
        } else if (Is(strKey, lpszStartSpecial)) {
          m_bInSpecial = true;
        } else if (pSection) {
          // Per-channel lines; passed over until a Channels line opened a section.
          ApplyChannelLine(strKey, *pSection, tokenizer, strValue);
        }
      }
    }
    ++nLine;
    if (m_bEndOfSectionHeader) break;
  }

  if (!pSection) return nullptr;

  // The headings line: taken as read, blank or not. At the end of the file
  // the failed read leaves it empty, so every heading comes out empty.
  pFile->ReadString(strLine);
  CTokenizer tokenizer(strLine, m_strSeparator);
  CString strXHeading;
  if (m_nXColumns == 1) {
    tokenizer.Next(strValue);
    strXHeading = strValue;
  }
  for (int i = 0; i < pSection->m_nChannels; ++i) {
    CQTXChannel& channel = *pSection->m_arrChannels.GetAt(i);
    switch (m_nXColumns) {
      case 0: channel.m_strXHeading = kNoXColumnHeading; break;
      case 1: channel.m_strXHeading = strXHeading; break;
      case 2:
        tokenizer.Next(strValue);
        channel.m_strXHeading = strValue;
        break;
      default: break;  // an X-column mode the file format does not know
    }
    tokenizer.Next(strValue);
    channel.m_strYHeading = strValue;
  }
  ++nLine;  // the headings line counts even when the file had ended
  return pSection;
}
