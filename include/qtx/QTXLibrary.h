// QTXLibrary: read and write measurement files in the QTX text format.
//
// A QTX file is a main header of keyword lines, then sections: a section
// header (one keyword and one value per channel on each line), one headings
// line and rows of numbers. A CQTXGeneral holds the file's settings and owns
// its sections; a CQTXSection owns its channels; a CQTXChannel holds labels,
// headings, X origin and step, sample count and, once read, X and Y values.
//
// Reading a file takes two passes: a scan that builds the model and records
// where each section's rows begin, then the values of a section on request:
//
//   CQTXGeneral qtx;
//   if (!qtx.ReadQTXFile("run.qtx")) return;          // no file, or no whole main header
//   CStdioFile file;                                  // the caller's own, for the values
//   file.Open("run.qtx", CFile::modeRead | CFile::shareDenyWrite | CFile::typeText);
//   CQTXSection* pSection = qtx.m_arrSections[0];
//   std::uint32_t nLine = pSection->m_nDataLine;      // line counter, owned by the caller
//   qtx.QTX_ReadData(nLine, &file, pSection, 1, -1);  // read values of all channels
//   // pSection->m_arrChannels[0]->m_strYHeading, ->m_pXValues[r], ->m_pYValues[r] ...
//
// Writing a file (the host writes the data rows itself):
//
//   std::ofstream out("run.qtx");
//   CQTXGeneral::QTX_WriteMainHeader(out, 1);         // X_Columns One
//   CQTXSection section;                              // owns what it lists
//   section.m_nChannels = 1;
//   CQTXChannel* pChannel = new CQTXChannel;          // labels, X0, Delta_X, ...
//   pChannel->m_nSamples = 2;
//   pChannel->m_strXHeading = "Time";                 // every heading: an empty one
//   pChannel->m_strYHeading = "In1";                  // shifts the others
//   section.m_arrChannels.Add(pChannel);
//   section.WriteSectionHeader(out, 1);               // same mode
//   out << "0\t0.5\n" << "0.001\t0.6\n";              // X, then Y per channel
//
// Labels and headings read back as written when they are not empty and hold
// no tab (and the last channel's labels no trailing white space).
//
// All data members are public and read directly. Sections and channels are
// owned by their CQTXGeneral and CQTXSection and freed with them.
#ifndef QTX_QTXLIBRARY_H
#define QTX_QTXLIBRARY_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iosfwd>

#include "qtx/Framework.h"
#include "qtx/QTXExport.h"
#include "qtx/StdioFile.h"
#include "qtx/Tokenizer.h"

// One channel of a section: labels, headings, X grid and, once the data reader
// has run, its values.
class QTXLIB_API CQTXChannel : public CObject {
 public:
  CQTXChannel();
  ~CQTXChannel() override;  // releases m_pXValues, then m_pYValues

  CString m_strXUnitLabel;  // "X_Unit_Label" value
  CString m_strXDimension;  // "X_Dimension" value
  CString m_strYUnitLabel;  // "Y_Unit_Label" value
  CString m_strYDimension;  // "Y_Dimension" value
  CString m_strXHeading;    // heading of the X column; "X_Value" when the file has none
  CString m_strYHeading;    // heading of the Y column
  double m_dX0;             // "X0": X of the first row
  double m_dDeltaX;         // "Delta_X": X step between rows
  int m_nIndex;             // position within the section, -1 until placed
  int m_nAux;               // for the caller
  std::uint32_t m_nSamples; // "Samples": number of data rows of the channel
  double* m_pXValues;       // owned array (new[]) of X values, one per data row
  double* m_pYValues;       // owned array (new[]) of Y values, one per data row
  double m_dAux0;           // for the caller
  double m_dAux1;           // for the caller
  // The channel's "Date" and "Time" values as written, recorded by the
  // section header reader beside the members above (nothing else depends on
  // them); empty when the header has none for this channel.
  CString m_strDate;
  CString m_strTime;
};

// A row whose file position the scan noted (see CQTXSection::m_arrRowMarks).
struct QTXRowMark {
  std::uint32_t nRow;       // row number within the section
  std::uint64_t nPosition;  // file position of the row's first byte
};

// Bytes of rows between two row marks, at least: a mark costs 16 bytes per
// 64 KiB of rows (0.03% of the file), and a range read passes over at most
// this many bytes, plus one row, before its first row.
inline constexpr std::uint64_t QTX_ROW_MARK_SPACING = std::uint64_t{1} << 16;

// What a range read stores for a field its row lacks (a short row, an empty
// line): a quiet NaN with a payload of its own, so that a caller can tell a
// missing field from a NaN the file holds. QTX_ReadData stores 0.0 there.
inline constexpr std::uint64_t QTX_MISSING_VALUE_BITS = 0x7FF8000000000A11ull;
inline double QTX_MissingValue() noexcept {
  double value;
  std::memcpy(&value, &QTX_MISSING_VALUE_BITS, sizeof value);
  return value;
}
inline bool QTX_IsMissingValue(double value) noexcept {
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits == QTX_MISSING_VALUE_BITS;
}

// Where a range read stores one channel's values: entry i of pX and pY for
// row nFirst + i. Either pointer may be null, and that array is then not
// written.
struct QTXChannelTarget {
  int nChannel;  // index in the section
  double* pX;
  double* pY;
};

// What a range read did: rows stored from the first asked for on, and the
// rows asked for that the file does not hold (past its end, or past the
// section's row count); nRows + nMissing is the count asked for.
struct QTXRowsRead {
  std::uint32_t nRows;
  std::uint32_t nMissing;
};

// What QTX_RowsBetween found.
enum QTXRowsBetweenStatus {
  QTX_ROWS_FOUND = 0,        // the rows are in nFirst and nCount
  QTX_ROWS_NO_SHARED_X = 1,  // mode Multi, or mode No with channels of different X0 or Delta_X
  QTX_ROWS_X_DECREASES = 2   // the X it looked at decreases
};

// One section: its channels and where its data rows begin.
class QTXLIB_API CQTXSection : public CObject {
 public:
  CQTXSection();
  // Releases channel i and block i for each listed channel in turn, then the
  // block array.
  ~CQTXSection() override;

  int m_nChannels;                   // count of the "Channels" line, as converted
  CArray<CQTXChannel*> m_arrChannels;  // owned channels, channel 0 first
  // For the caller: an array (new[]) with one block (new) per channel, owned
  // and released by the section. The library never reads it.
  CObject** m_ppChannelBlocks;
  std::uint32_t m_nDataLine;       // line counter where the data rows begin
  std::uint64_t m_nDataPosition;   // file position of the first data row

  // What the scan found of the rows, for the row-range reads. A section that
  // did not come through the scan has m_bRowsCounted false; a range read then
  // counts lines from m_nDataPosition instead.
  bool m_bRowsCounted;             // the two members below come from a scan
  std::uint32_t m_nRowsInFile;     // rows the file holds: the row count, or fewer where the file ends first
  // The file ends before the row count in a line without a line end: the
  // row being written when the file was cut off or copied. It is no row of
  // m_nRowsInFile, and no range read gives its made-up values. (A section
  // that holds its whole row count keeps a last row without a line end.)
  bool m_bLastLineCutOff;
  // Row marks: a row's number and its file position, for the first row at or
  // past every QTX_ROW_MARK_SPACING bytes of the section's rows, ascending.
  // A range read starts at the last mark at or before its first row.
  CArray<QTXRowMark> m_arrRowMarks;

  // The largest Samples among the channels: the section's row count.
  std::uint32_t RowCount() const;

  // Writes the section header of m_nChannels channels (Channels, Samples,
  // Date, Time, the four label lines, X0, Delta_X), its
  // "***End_of_Header***" line and the headings line of X-column mode nMode,
  // which ends with "Comment". Give it the mode given to QTX_WriteMainHeader,
  // then write the section's data rows yourself in that mode's layout.
  // Each per-channel value follows two tabs; X0 and Delta_X are written in
  // scientific format with precision 6, and with at least one channel the
  // stream is left in that format (set your own before inserting doubles).
  // Channel i is fetched from m_arrChannels when its first value is due: an
  // index outside the list (m_nChannels above its size; mode 1 with an empty
  // list) or a null entry raises CInvalidArgException, with what was written
  // before left in the stream. Every line ends with std::endl.
  void WriteSectionHeader(std::ofstream& stream, int nMode);

  // The same header, with each channel's m_strDate and m_strTime on the Date
  // and Time lines instead of the clock's reading; a channel whose text is
  // empty gets the clock's (read once). Writes a copy of a header that was
  // read, with its stamps kept.
  void WriteSectionHeaderStamped(std::ofstream& stream, int nMode);
};

// What an open through the index file did (QTX_OpenIndexed).
enum QTXIndexNotice {
  QTX_INDEX_USED = 0,        // the index matched the file and was used
  QTX_INDEX_EXTENDED = 1,    // used up to where it ended; the bytes added since were scanned
  QTX_INDEX_MISSING = 2,     // no index file: the file was scanned
  QTX_INDEX_IGNORED = 3,     // asked to scan, or the object had read a file before
  QTX_INDEX_UNREADABLE = 4,  // the index file could not be read
  QTX_INDEX_CORRUPT = 5,     // not an index, another format version, a bad checksum or impossible counts
  QTX_INDEX_STALE = 6,       // the data file is shorter, or its main header or last indexed bytes changed
  QTX_INDEX_MISMATCH = 7     // a row mark or a section header is not where the index says
};

struct QTXIndexUse {
  bool bUsed = false;  // rows and marks came from the index
  int nNotice = QTX_INDEX_MISSING;
  CString strText;     // one line saying why, empty when the index was used as it stood
};

// What QTX_Refresh found.
enum QTXRefreshStatus {
  QTX_REFRESH_OK = 0,        // up to date; the counts say what was added
  QTX_REFRESH_REPLACED = 1,  // shorter, or bytes already read changed: nothing was taken from it
  QTX_REFRESH_FAILED = 2     // the file could not be opened or read, or the object was not opened for it
};

struct QTXRefresh {
  int nStatus = QTX_REFRESH_OK;
  CArray<std::uint32_t> arrNewRows;  // per section, those added included: rows counted by this call
  std::uint32_t nNewSections = 0;    // sections appended by this call
  CString strText;                   // why it failed, naming the file
};

// What an open through the index keeps for writing the index and for
// following the file; owned by the CQTXGeneral.
struct QTXScanState {
  virtual ~QTXScanState() = default;
};

// A QTX file: the main header's settings and the owned sections.
class QTXLIB_API CQTXGeneral {
 public:
  CQTXGeneral();
  ~CQTXGeneral();  // releases the sections in list order

  // Keyword constants of the format.
  static const char* const lpszQuorsetMeasurement;  // "Quorset Measurement"
  static const char* const lpszWriterVersion;       // "Writer_Version"
  static const char* const lpszReaderVersion;       // "Reader_Version"
  static const char* const lpszSeparator;           // "Separator"
  static const char* const lpszTab;                 // "Tab"
  static const char* const lpszComma;               // "Comma"
  static const char* const lpszMultiHeadings;       // "Multi_Headings"
  static const char* const lpszYes;                 // "Yes"
  static const char* const lpszNo;                  // "No"
  static const char* const lpszXColumns;            // "X_Columns"
  static const char* const lpszMulti;               // "Multi"
  static const char* const lpszOne;                 // "One"
  static const char* const lpszTimePref;            // "Time_Pref"
  static const char* const lpszAbs;                 // "Absolute"
  static const char* const lpszRel;                 // "Relative"
  static const char* const lpszDescription;         // "Description"
  static const char* const lpszGeneratedBy;         // "Generated from Tessaron"
  static const char* const lpszTime;                // "Time"
  static const char* const lpszDate;                // "Date"
  static const char* const lpszEndOfHeader;         // "***End_of_Header***"
  static const char* const lpszStartSpecial;        // "***Start_Special***"
  static const char* const lpszEndSpecial;          // "***End_Special***"

  // Reads the main header from the current line of pFile through its
  // "***End_of_Header***" line and stores the settings. Adds 1 to nLine per
  // line read. Returns true once the end line has been read (by this call or
  // an earlier one, in which case nothing is read); false when the file ends
  // first.
  bool QTX_ReadMainHeader(std::uint32_t& nLine, CStdioFile* pFile);

  // Reads one section header and its headings line, creating and linking in
  // the section and its channels. Returns the section (owned by this object),
  // or nullptr when no "Channels" line was met. Adds 1 to nLine per header
  // line read and 1 for the headings line.
  CQTXSection* QTX_ReadSectionHeader(std::uint32_t& nLine, CStdioFile* pFile);

  // Scans the file at `path`: the main header, every section header, and for
  // each section the line counter and file position where its data rows
  // begin (m_nDataLine, m_nDataPosition). The rows are skipped, not parsed.
  // Returns false when the file cannot be opened or ends before the main
  // header's end line; sections found stay in m_arrSections either way.
  bool ReadQTXFile(CString path);

  // Seeks pFile to the section's first data row. With readValues 0 skips the
  // section's rows; otherwise reads them into new X and Y arrays (one entry
  // per row, R entries for R the section's largest Samples) of channel
  // `channel`, or of every channel when `channel` is negative. Adds the
  // lines read to nLine. Always returns true; a channel index beyond the
  // list raises CInvalidArgException before anything is allocated or read.
  bool QTX_ReadData(std::uint32_t& nLine, CStdioFile* pFile, CQTXSection* pSection, int readValues, int channel);

  // Row-range read: rows [nFirst, nFirst + nCount) of pSection from pFile,
  // a file open on the scanned file, into the caller's arrays: one target
  // per channel wanted, each channel at most once, in any order. Values are
  // those QTX_ReadData gives at the same rows, bit for bit, in every
  // X-column mode (in mode No X = X0 + r * Delta_X with r the row's number
  // in the section). Rows the file does not hold are counted as missing and
  // their entries left untouched. Starts at the nearest row mark, so that a
  // range deep in a large file costs no more than a short one; without marks
  // it counts lines from the data start. A target's channel out of range, or
  // listed twice, raises CInvalidArgException before anything is read; a
  // failed read raises CFileException. Allocates nothing per row.
  QTXRowsRead QTX_ReadRows(CStdioFile* pFile, const CQTXSection* pSection, std::uint32_t nFirst,
                           std::uint32_t nCount, const QTXChannelTarget* pTargets, std::size_t nTargets) const;

  // The same read split over nThreads threads (0: one per core) at row
  // boundaries from the row marks, each thread with its own slice of the
  // arrays and a file handle of its own on the file pFile has open (a second
  // handle on the same open file, so even a path that now names another
  // file is no matter); the first share is read through pFile on the
  // caller's thread. Every thread count stores the same bits. Joins every
  // thread before returning; the first exception thrown in one is rethrown
  // here.
  QTXRowsRead QTX_ReadRowsParallel(CStdioFile* pFile, const CQTXSection* pSection, std::uint32_t nFirst,
                                   std::uint32_t nCount, const QTXChannelTarget* pTargets, std::size_t nTargets,
                                   unsigned nThreads) const;
  // The same for a host without an open file: every thread opens `path`
  // itself, which must still name the file that was scanned.
  QTXRowsRead QTX_ReadRowsParallel(const CString& path, const CQTXSection* pSection, std::uint32_t nFirst,
                                   std::uint32_t nCount, const QTXChannelTarget* pTargets, std::size_t nTargets,
                                   unsigned nThreads) const;

  // The rows [nFirst, nFirst + nCount) whose X lies in [dLow, dHigh], for
  // an X that every channel shares and that does not decrease, among the
  // rows the file holds. Mode No computes X from X0 and Delta_X; mode One
  // reads the whole X column and checks that it rises over every row, since
  // the answer rests on every row. Returns
  // QTX_ROWS_NO_SHARED_X or QTX_ROWS_X_DECREASES, with nFirst and nCount 0,
  // when there is no such X; a NaN bound finds no rows.
  int QTX_RowsBetween(CStdioFile* pFile, const CQTXSection* pSection, double dLow, double dHigh,
                      std::uint32_t& nFirst, std::uint32_t& nCount) const;

  // Writes a main header on a stream the host opened: the magic line,
  // Writer_Version 0.92, Reader_Version 1, Separator Tab, Multi_Headings Yes,
  // X_Columns No/One/Multi for nMode 0/1/2 (any other mode leaves this line
  // out), Time_Pref Relative, Description, the Date and Time of now, the end
  // line and an empty line. Every line ends with std::endl; no format flag or
  // precision of the stream changes.
  static void QTX_WriteMainHeader(std::ofstream& stream, int nMode);

  // The same main header with this object's m_strTimePref, m_strDescription,
  // m_strDate and m_strTime as the values of those lines; an empty one gets
  // what QTX_WriteMainHeader writes (Relative, its description, the clock's
  // reading). Lines come out as written only for texts that are not empty
  // and hold no separator or line end.
  void QTX_WriteMainHeaderStamped(std::ofstream& stream, int nMode) const;

  // Writes the "Date" and "Time" lines, each with n copies (none for n <= 0)
  // of the local date (yyyy/MM/dd) or time (HH:mm:ss, 24-hour clock) of one
  // reading of the clock, each after two tabs, then a tab and std::endl.
  static void QTX_WriteTimeDate(std::ofstream& stream, int n);

  // The mean step of nCount samples from dStart to dEnd: (dEnd - dStart) /
  // nCount, the count itself as divisor (10 samples over 0..10 give 1.0).
  // Returns -1.0 when nCount < 2, when dStart is not below dEnd (a NaN end
  // included) or when an end is infinite. pValues is not read and may be
  // null. Allocates nothing.
  static double EstimateTimeStep(double* pValues, std::uint32_t nCount, double dStart, double dEnd);

  // Resamples the curve through the points (pX[i], pY[i]), i < nCount, onto
  // the grid dStart, dStart + dStep, dStart + dStep + dStep, ... (each
  // abscissa the previous one plus dStep, not dStart + k * dStep) by linear
  // interpolation between neighbouring points:
  // - grid abscissas before pX[0] follow the line of the first segment; none
  //   at or beyond the last point's abscissa is produced;
  // - an abscissa within 2^-1022 of a point takes that point's Y exactly;
  // - a point within 2^-1022 of the one before it is passed over;
  // - the grid never goes back: a segment that ends at or below the current
  //   abscissa produces nothing.
  // On entry nCapacity is the room in pOut; the walk stops once that many
  // values are stored, and on return nCapacity is the number stored. When
  // nCapacity > 0, pOut[0] holds pY[0] if no value was produced; with
  // nCapacity 0 nothing is written at all. pY is only read.
  //
  // Returns false, with pOut and nCapacity untouched, when nCount < 2, dStep
  // is not above 2^-1022 or not finite, pX, pY or pOut is null, or dStart is
  // not finite. Returns false also when adding dStep no longer changes the
  // grid abscissa (a step too small for the abscissas' magnitude); the values
  // stored until then stay in pOut and nCapacity is left as on entry.
  // Allocates nothing; the work grows with nCount plus the values stored.
  static bool QTX_InterpolateData(double dStart, double dStep, const double* pX, double* pY, std::uint32_t nCount,
                                  std::uint32_t& nCapacity, double* pOut);

  CArray<CQTXSection*> m_arrSections;  // owned sections, in the order read
  bool m_bQTXFile;               // the magic line was met
  double m_dReaderVersion;       // "Reader_Version", 0.92 until read
  double m_dWriterVersion;       // "Writer_Version", 0.92 until read
  bool m_bEndOfHeader;           // the main header's end line has been read
  bool m_bEndOfSectionHeader;    // the current section header's end line has been read
  bool m_bMultiHeadings;         // "Multi_Headings" said "Yes"
  CString m_strSeparator;        // delimiters of every later line; a tab until read
  CString m_strSeparatorName;    // the "Separator" value as written; "Tab" until read
  int m_nXColumns;               // X-column mode: 0 "No", 1 "One", 2 "Multi"
  bool m_bInSpecial;             // inside a ***Start_Special*** block
  // The main header's metadata as written (the value after the keyword),
  // recorded by the main header reader; no setting above depends on them.
  // Empty when the header has no such line.
  CString m_strDescription;      // "Description"
  CString m_strDate;             // "Date" of the main header
  CString m_strTime;             // "Time" of the main header
  CString m_strTimePref;         // "Time_Pref": "Relative", "Absolute", or what the file says

  // The file scan with an index file `path` + ".qtxi" beside the data. With
  // nMode 0 a valid index gives the sections' rows and marks without reading
  // the rows: the main header and each section header are read at their
  // recorded places by the readers above, so the object is member for
  // member what ReadQTXFile makes of the file. A file that only grew since
  // is scanned from where the index ended. Any index that does not match is
  // not used, and the file is scanned; nMode 1 always scans; nMode 2 scans
  // as a follower does (QTX_Refresh): a last line without its line end, or a
  // last section header without its headings line, waits for a later look,
  // and the file is open to writers. pUse (may be null) says which and why. Returns what ReadQTXFile returns. Keeps what
  // QTX_WriteIndex and QTX_Refresh need.
  bool QTX_OpenIndexed(const CString& path, QTXIndexUse* pUse, int nMode = 0);
  // Writes (or replaces) the index of the file this object opened through
  // QTX_OpenIndexed; `path` names the data file. False, with one line naming
  // the index in pError (may be null), when it cannot be written.
  bool QTX_WriteIndex(const CString& path, CString* pError) const;
  // Brings the object up to date with the file at `path` as it grows, by
  // reading only the bytes added since the last look: rows of the last
  // section counted once their line end is written, sections appended once
  // their header and headings line are. A file that shrank or whose bytes
  // already read changed is reported replaced, and nothing of it is taken.
  bool QTX_Refresh(const CString& path, QTXRefresh* pResult);
  // The index file's name for a data file: path + ".qtxi".
  static CString QTX_IndexPath(const CString& path);

  QTXScanState* m_pScanState;    // owned; set by QTX_OpenIndexed
};


// ---- Wall-clock time of a channel -----------------------------------------
// A channel starts at its own Date and Time when its section header gives it
// both, else at the main header's. Dates are read as "yyyy/MM/dd" and times
// as "HH:mm:ss" with at most 9 fractional digits after a '.', strictly: no
// other form, no white space, no out-of-range field. The start is a point of
// the proleptic Gregorian calendar without zone: seconds since 1970-01-01
// 00:00:00 and nanoseconds. Nothing is guessed: what is missing or cannot
// be read is a status.
enum QTXTimeStatus {
  QTX_TIME_OK = 0,
  QTX_TIME_NO_DATE = 1,        // no Date, neither the channel's nor the main header's
  QTX_TIME_NO_TIME = 2,        // a Date without a Time
  QTX_TIME_BAD_DATE = 3,       // a Date that is not yyyy/MM/dd of a calendar day
  QTX_TIME_BAD_TIME = 4,       // a Time that is not HH:mm:ss[.f...] of a day
  QTX_TIME_NO_UNIT = 5,        // an empty X_Unit_Label
  QTX_TIME_NOT_A_TIME_UNIT = 6 // an X_Unit_Label that is no unit of time
};

struct QTXStartTime {
  std::int64_t nSeconds;       // since 1970-01-01 00:00:00, no zone
  std::uint32_t nNanoseconds;  // 0 .. 999999999
};

// Days since 1970-01-01 of "yyyy/MM/dd".
QTXLIB_API int QTX_ParseDate(const char* pszDate, std::int64_t& nDays);
// Seconds and nanoseconds since midnight of "HH:mm:ss[.f...]".
QTXLIB_API int QTX_ParseTimeOfDay(const char* pszTime, std::int64_t& nSeconds, std::uint32_t& nNanoseconds);
// The start of a Date and a Time text (either may be empty or null).
QTXLIB_API int QTX_ParseStartTime(const char* pszDate, const char* pszTime, QTXStartTime& start);
// The start of a channel of this file: its own Date and Time, else the main header's.
QTXLIB_API int QTX_ChannelStartTime(const CQTXGeneral& qtx, const CQTXChannel& channel, QTXStartTime& start);

// Nanoseconds per unit of an X_Unit_Label: s and sec 10^9, ms 10^6, us and
// "\xC2\xB5s" (UTF-8 micro sign) 10^3, ns 1, min 6 * 10^10, h 3.6 * 10^12;
// the whole label, letters in any case. Any other label is no unit of time.
QTXLIB_API int QTX_ParseXUnit(const char* pszLabel, std::int64_t& nNanosecondsPerUnit);
QTXLIB_API int QTX_ChannelXUnit(const CQTXChannel& channel, std::int64_t& nNanosecondsPerUnit);

// x units of nNanosecondsPerUnit as whole nanoseconds, rounded to the
// nearest (halves away from zero), computed in long double so that an X of
// a regular grid over days lands on its nanosecond. False for an X that is
// not finite or a result outside 64 bits.
QTXLIB_API bool QTX_XToNanoseconds(double x, std::int64_t nNanosecondsPerUnit, std::int64_t& nNanoseconds);
// start + nNanoseconds, normalised. False when the seconds would overflow.
QTXLIB_API bool QTX_AddNanoseconds(const QTXStartTime& start, std::int64_t nNanoseconds, QTXStartTime& result);

// "yyyy-MM-ddTHH:mm:ss" with nDigits (0..9) fractional digits, truncated
// after the last digit asked for, into pBuffer of nSize bytes (32 suffice).
// Returns the length, or 0 when it does not fit or the year is outside
// 0..9999.
QTXLIB_API std::size_t QTX_FormatIso8601(const QTXStartTime& time, int nDigits, char* pBuffer, std::size_t nSize);
// Reads "yyyy-MM-dd[Thh:mm[:ss[.f...]]]" (a space for the T too; at most 9
// fractional digits) with no zone. False for anything else.
QTXLIB_API bool QTX_ParseIso8601(const char* pszText, QTXStartTime& time);

#endif  // QTX_QTXLIBRARY_H
