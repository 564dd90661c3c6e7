// The header writer's operations on any output stream, with the source of the
// clock reading handed in. The exported operations of CQTXGeneral and
// CQTXSection call these with the file stream the host opened and the real
// clock (ReadLocalTime); tests call them with a string stream and a fixed
// reading, so that they can compare every byte.
#ifndef QTX_WRITER_HEADERWRITER_H
#define QTX_WRITER_HEADERWRITER_H

#include <iosfwd>

#include "qtx/QTXLibrary.h"
#include "writer/LocalTime.h"

namespace qtx::writer {

// Gives one clock reading, formatted. Called once per Date/Time block.
using Clock = LocalTimeTexts (*)();

// The "Date" and "Time" lines, each with n copies of the text of one reading.
void WriteTimeDate(std::ostream& stream, int n, Clock clock);

// The main header: eleven key lines (ten when the mode is not 0, 1 or 2) and
// an empty line.
void WriteMainHeader(std::ostream& stream, int mode, Clock clock);

// The main header's metadata to write; an empty text gets the default
// (Relative, the generator's description, the clock's date and time).
struct MainHeaderTexts {
  CString description;
  CString timePref;
  CString date;
  CString time;
};

// The same main header with the given metadata; the clock is read only for a
// date or time not given.
void WriteMainHeader(std::ostream& stream, int mode, Clock clock, const MainHeaderTexts& texts);

// The section header through its end line, then the headings line of `mode`.
// Channel i is fetched from the list when its first value is written; an index
// outside the list, or a null entry, raises CInvalidArgException there, with
// everything inserted before left in the stream.
void WriteSectionHeader(std::ostream& stream, const CQTXSection& section, int mode, Clock clock);

// With keepStamps, each channel's m_strDate and m_strTime on the Date and
// Time lines, the clock's reading (one) for a channel without them.
void WriteSectionHeader(std::ostream& stream, const CQTXSection& section, int mode, Clock clock, bool keepStamps);

}  // namespace qtx::writer

#endif  // QTX_WRITER_HEADERWRITER_H
