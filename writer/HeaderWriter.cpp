// The header writer: main header, Date/Time block and section headers.
#include "qtx/QTXLibrary.h"
