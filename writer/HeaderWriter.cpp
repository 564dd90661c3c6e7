// The header writer: main header, Date/Time block and section headers, with
// the exact characters the readers expect. Every line ends with std::endl
// (newline, then flush).
#include "writer/HeaderWriter.h"

#include <fstream>
#include <iomanip>
#include <ostream>

namespace qtx::writer {
namespace {

// The section keywords; unlike the main header's, they are not exported.
constexpr const char* kChannels = "Channels";
constexpr const char* kSamples = "Samples";
constexpr const char* kYDimension = "Y_Dimension";
constexpr const char* kYUnitLabel = "Y_Unit_Label";
constexpr const char* kXDimension = "X_Dimension";
constexpr const char* kXUnitLabel = "X_Unit_Label";
constexpr const char* kX0 = "X0";
constexpr const char* kDeltaX = "Delta_X";
constexpr const char* kComment = "Comment";

// Channel i of the section, through the list's bounds check. A null entry is
// no channel either and raises the same error.
const CQTXChannel& ChannelAt(const CQTXSection& section, int i) {
  const CQTXChannel* channel = section.m_arrChannels.GetAt(i);
  if (channel == nullptr) AfxThrowInvalidArgException();
  return *channel;
}

// A per-channel line: the keyword; for each of the section's m_nChannels
// channels, "\t\t" and what writeValue inserts; then "\t".
template <class WriteValue>
void ChannelLine(std::ostream& stream, const CQTXSection& section, const char* keyword, WriteValue writeValue) {
  stream << keyword;
  for (int i = 0; i < section.m_nChannels; ++i) {
    const CQTXChannel& channel = ChannelAt(section, i);
    writeValue(channel);
  }
  stream << "\t" << std::endl;
}

// A label line: each channel's string character for character.
void LabelLine(std::ostream& stream, const CQTXSection& section, const char* keyword,
               CString CQTXChannel::*member) {
  ChannelLine(stream, section, keyword,
              [&](const CQTXChannel& channel) { stream << "\t\t" << (channel.*member).View(); });
}

// X0 or Delta_X: scientific with precision 6, set before every value and left
// set on the stream.
void NumberLine(std::ostream& stream, const CQTXSection& section, const char* keyword, double CQTXChannel::*member) {
  ChannelLine(stream, section, keyword, [&](const CQTXChannel& channel) {
    stream << std::setiosflags(std::ios_base::scientific) << std::setprecision(6) << "\t\t" << channel.*member;
  });
}

}  // namespace

void WriteTimeDate(std::ostream& stream, int n, Clock clock) {
  const LocalTimeTexts now = clock();  // one reading for both lines and every copy
  stream << CQTXGeneral::lpszDate;
  for (int i = 0; i < n; ++i) stream << "\t\t" << now.date;
  stream << "\t" << std::endl;
  stream << CQTXGeneral::lpszTime;
  for (int i = 0; i < n; ++i) stream << "\t\t" << now.time;
  stream << "\t" << std::endl;
}

void WriteStamps(std::ostream& stream, const CQTXSection& section, Clock clock) {
  LocalTimeTexts now;
  bool read = false;
  auto stamp = [&](const CString& kept, std::string LocalTimeTexts::*part) -> std::string {
    if (!kept.IsEmpty()) return std::string(kept.View());
    if (!read) {
      now = clock();  // one reading for every stamp the channels lack
      read = true;
    }
    return now.*part;
  };
  ChannelLine(stream, section, CQTXGeneral::lpszDate,
              [&](const CQTXChannel& channel) { stream << "\t\t" << stamp(channel.m_strDate, &LocalTimeTexts::date); });
  ChannelLine(stream, section, CQTXGeneral::lpszTime,
              [&](const CQTXChannel& channel) { stream << "\t\t" << stamp(channel.m_strTime, &LocalTimeTexts::time); });
}

void WriteMainHeader(std::ostream& stream, int mode, Clock clock) {
  WriteMainHeader(stream, mode, clock, MainHeaderTexts{});
}

void WriteMainHeader(std::ostream& stream, int mode, Clock clock, const MainHeaderTexts& texts) {
  stream << CQTXGeneral::lpszQuorsetMeasurement << "\t" << std::endl;
  stream << CQTXGeneral::lpszWriterVersion << "\t0.92" << std::endl;
  stream << CQTXGeneral::lpszReaderVersion << "\t1" << std::endl;
  stream << CQTXGeneral::lpszSeparator << "\t" << CQTXGeneral::lpszTab << std::endl;
  stream << CQTXGeneral::lpszMultiHeadings << "\t" << CQTXGeneral::lpszYes << std::endl;
  const char* modeName = nullptr;
  switch (mode) {
    case 0: modeName = CQTXGeneral::lpszNo; break;
    case 1: modeName = CQTXGeneral::lpszOne; break;
    case 2: modeName = CQTXGeneral::lpszMulti; break;
    default: break;  // no X_Columns line at all
  }
  if (modeName != nullptr) stream << CQTXGeneral::lpszXColumns << "\t" << modeName << std::endl;
  auto text = [](const CString& given, const char* fallback) { return given.IsEmpty() ? fallback : given.GetString(); };
  stream << CQTXGeneral::lpszTimePref << "\t" << text(texts.timePref, CQTXGeneral::lpszRel) << std::endl;
  stream << CQTXGeneral::lpszDescription << "\t" << text(texts.description, CQTXGeneral::lpszGeneratedBy)
         << std::endl;
  if (texts.date.IsEmpty() || texts.time.IsEmpty()) {
    const LocalTimeTexts now = clock();
    stream << CQTXGeneral::lpszDate << "\t\t" << text(texts.date, now.date.c_str()) << "\t" << std::endl;
    stream << CQTXGeneral::lpszTime << "\t\t" << text(texts.time, now.time.c_str()) << "\t" << std::endl;
  } else {
    stream << CQTXGeneral::lpszDate << "\t\t" << texts.date.View() << "\t" << std::endl;
    stream << CQTXGeneral::lpszTime << "\t\t" << texts.time.View() << "\t" << std::endl;
  }
  stream << CQTXGeneral::lpszEndOfHeader << "\t" << std::endl;
  stream << std::endl;
}

void WriteSectionHeader(std::ostream& stream, const CQTXSection& section, int mode, Clock clock) {
  WriteSectionHeader(stream, section, mode, clock, false);
}

void WriteSectionHeader(std::ostream& stream, const CQTXSection& section, int mode, Clock clock, bool keepStamps) {
  const int n = section.m_nChannels;
  stream << kChannels << "\t" << n;
  for (int i = 0; i < n; ++i) stream << "\t";
  stream << std::endl;

  ChannelLine(stream, section, kSamples,
              [&](const CQTXChannel& channel) { stream << "\t\t" << channel.m_nSamples; });
  if (keepStamps)
    WriteStamps(stream, section, clock);
  else
    WriteTimeDate(stream, n, clock);
  LabelLine(stream, section, kYDimension, &CQTXChannel::m_strYDimension);
  LabelLine(stream, section, kYUnitLabel, &CQTXChannel::m_strYUnitLabel);
  LabelLine(stream, section, kXDimension, &CQTXChannel::m_strXDimension);
  LabelLine(stream, section, kXUnitLabel, &CQTXChannel::m_strXUnitLabel);
  NumberLine(stream, section, kX0, &CQTXChannel::m_dX0);
  NumberLine(stream, section, kDeltaX, &CQTXChannel::m_dDeltaX);
  stream << CQTXGeneral::lpszEndOfHeader << "\t" << std::endl;

  // The headings line, in the column layout of the mode.
  switch (mode) {
    case 0:
      for (int i = 0; i < n; ++i) stream << ChannelAt(section, i).m_strYHeading.View() << '\t';
      break;
    case 1:
      // Channel 0's X heading is the shared one, whatever n says.
      stream << ChannelAt(section, 0).m_strXHeading.View() << '\t';
      for (int i = 0; i < n; ++i) stream << ChannelAt(section, i).m_strYHeading.View() << '\t';
      break;
    case 2:
      for (int i = 0; i < n; ++i) {
        const CQTXChannel& channel = ChannelAt(section, i);
        stream << channel.m_strXHeading.View() << '\t' << channel.m_strYHeading.View() << '\t';
      }
      break;
    default:
      break;  // "Comment" alone
  }
  stream << kComment << std::endl;
}

}  // namespace qtx::writer

void CQTXGeneral::QTX_WriteTimeDate(std::ofstream& stream, int n) {
  qtx::writer::WriteTimeDate(stream, n, &qtx::writer::ReadLocalTime);
}

void CQTXGeneral::QTX_WriteMainHeader(std::ofstream& stream, int nMode) {
  qtx::writer::WriteMainHeader(stream, nMode, &qtx::writer::ReadLocalTime);
}

void CQTXSection::WriteSectionHeader(std::ofstream& stream, int nMode) {
  qtx::writer::WriteSectionHeader(stream, *this, nMode, &qtx::writer::ReadLocalTime);
}

void CQTXGeneral::QTX_WriteMainHeaderStamped(std::ofstream& stream, int nMode) const {
  qtx::writer::WriteMainHeader(stream, nMode, &qtx::writer::ReadLocalTime,
                               {m_strDescription, m_strTimePref, m_strDate, m_strTime});
}

void CQTXSection::WriteSectionHeaderStamped(std::ofstream& stream, int nMode) {
  qtx::writer::WriteSectionHeader(stream, *this, nMode, &qtx::writer::ReadLocalTime, true);
}
