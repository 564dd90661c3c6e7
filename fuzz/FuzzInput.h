// Turns a fuzzer's bytes into a file the readers can open.
#ifndef QTX_FUZZ_FUZZINPUT_H
#define QTX_FUZZ_FUZZINPUT_H

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "tests/support/TempFile.h"

namespace qtx::fuzz {

// A temporary file holding the bytes, removed on destruction.
class InputFile : public qtx::test::TempFile {
 public:
  InputFile(const std::uint8_t* data, std::size_t size)
      : TempFile(std::string_view(reinterpret_cast<const char*>(data), size)) {}
  const char* Path() const { return c_str(); }
};

// Inputs that declare absurd sizes only measure the machine's memory: a run
// of more than five digits anywhere skips the input.
inline bool DeclaresHugeNumbers(const std::uint8_t* data, std::size_t size) {
  std::size_t run = 0;
  for (std::size_t i = 0; i < size; ++i) {
    run = (data[i] >= '0' && data[i] <= '9') ? run + 1 : 0;
    if (run > 5) return true;
  }
  return false;
}

// Inputs that open sections of more than a few thousand channels in all, by
// any spelling of "Channels". The count is not simply the first number after
// the keyword: a run of separators may stand between (the tokenizer passes
// over empty fields) and a separator may itself hold digits. So every number
// on the rest of the line counts, and the counts of all such lines add up,
// since each opens a section of its own.
inline bool DeclaresManyChannels(const std::uint8_t* data, std::size_t size) {
  constexpr std::uint64_t kBudget = 4096;
  static const char kKeyword[] = "channels";
  constexpr std::size_t kLength = sizeof kKeyword - 1;
  std::uint64_t total = 0;
  for (std::size_t i = 0; i + kLength <= size; ++i) {
    std::size_t k = 0;
    while (k < kLength && (data[i + k] | 0x20) == kKeyword[k]) ++k;
    if (k < kLength) continue;
    std::uint64_t number = 0;
    for (std::size_t p = i + kLength; p < size && data[p] != '\n'; ++p) {
      if (data[p] >= '0' && data[p] <= '9') {
        number = number * 10 + (data[p] - '0');
        if (total + number > kBudget) return true;
      } else {
        total += number;
        number = 0;
      }
    }
    total += number;
  }
  return false;
}

}  // namespace qtx::fuzz

#endif  // QTX_FUZZ_FUZZINPUT_H
