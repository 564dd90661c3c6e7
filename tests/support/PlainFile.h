// Files through the platform layer alone, for tests that drive a line source
// directly, and the system's error codes the tests expect.
#ifndef QTX_TESTS_SUPPORT_PLAINFILE_H
#define QTX_TESTS_SUPPORT_PLAINFILE_H

#include <cerrno>
#include <cstdint>

#include "framework/Platform.h"
#include "qtx/StdioFile.h"

namespace qtx::test {

#ifdef _WIN32
constexpr std::int32_t kFileNotFoundError = 2;  // ERROR_FILE_NOT_FOUND
constexpr std::int32_t kDirectoryError = 336;   // ERROR_DIRECTORY_NOT_SUPPORTED
constexpr bool kMandatorySharing = true;        // every other opener is held off, asked or not
#else
constexpr std::int32_t kFileNotFoundError = ENOENT;
constexpr std::int32_t kDirectoryError = EISDIR;
constexpr bool kMandatorySharing = false;
#endif

inline qtx::platform::NativeFile OpenPlain(const char* path) {
  qtx::platform::FileError error;
  return qtx::platform::OpenForReading(path, CFile::shareDenyNone, error);
}

}  // namespace qtx::test

#endif  // QTX_TESTS_SUPPORT_PLAINFILE_H
