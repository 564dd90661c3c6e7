#include "qtx/Framework.h"
#include "qtx/StdioFile.h"

// Out of line so that the virtual tables of the root classes live in the library.
CObject::~CObject() = default;
CFile::~CFile() = default;
