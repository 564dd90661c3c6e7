// The format's keyword texts, exported so that a host writing the data rows
// uses the same words as the reader and the writer.
#include "qtx/QTXLibrary.h"

const char* const CQTXGeneral::lpszQuorsetMeasurement = "Quorset Measurement";
const char* const CQTXGeneral::lpszWriterVersion = "Writer_Version";
const char* const CQTXGeneral::lpszReaderVersion = "Reader_Version";
const char* const CQTXGeneral::lpszSeparator = "Separator";
const char* const CQTXGeneral::lpszTab = "Tab";
const char* const CQTXGeneral::lpszComma = "Comma";
const char* const CQTXGeneral::lpszMultiHeadings = "Multi_Headings";
const char* const CQTXGeneral::lpszYes = "Yes";
const char* const CQTXGeneral::lpszNo = "No";
const char* const CQTXGeneral::lpszXColumns = "X_Columns";
const char* const CQTXGeneral::lpszMulti = "Multi";
const char* const CQTXGeneral::lpszOne = "One";
const char* const CQTXGeneral::lpszTimePref = "Time_Pref";
const char* const CQTXGeneral::lpszAbs = "Absolute";
const char* const CQTXGeneral::lpszRel = "Relative";
const char* const CQTXGeneral::lpszDescription = "Description";
const char* const CQTXGeneral::lpszGeneratedBy = "Generated from Tessaron";
const char* const CQTXGeneral::lpszTime = "Time";
const char* const CQTXGeneral::lpszDate = "Date";
const char* const CQTXGeneral::lpszEndOfHeader = "***End_of_Header***";
const char* const CQTXGeneral::lpszStartSpecial = "***Start_Special***";
const char* const CQTXGeneral::lpszEndSpecial = "***End_Special***";
