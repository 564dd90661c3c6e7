// Splitting a line into fields, without files and without allocation.
#ifndef QTX_TEXTIO_FIELDSPLITTER_H
#define QTX_TEXTIO_FIELDSPLITTER_H

#include <cstddef>
#include <string_view>

namespace qtx::textio {

// Finds the next field of `line` at or after `pos`. Every character of
// `delimiters` is a delimiter and a run of them is one boundary, so no empty
// field is ever produced. On success stores the field in `field`, moves `pos`
// past it and returns true; returns false when only delimiters remain.
inline bool NextField(std::string_view line, std::string_view delimiters, std::size_t& pos,
                      std::string_view& field) noexcept {
  std::size_t first;
  std::size_t last;
  if (delimiters.size() == 1) {  // the usual case: one tab or one comma
    first = line.find_first_not_of(delimiters[0], pos);
    if (first == std::string_view::npos) {
      pos = line.size();
      return false;
    }
    last = line.find(delimiters[0], first);
  } else {
    first = line.find_first_not_of(delimiters, pos);
    if (first == std::string_view::npos) {
      pos = line.size();
      return false;
    }
    last = line.find_first_of(delimiters, first);
  }
  if (last == std::string_view::npos) last = line.size();
  field = line.substr(first, last - first);
  pos = last;
  return true;
}

}  // namespace qtx::textio

#endif  // QTX_TEXTIO_FIELDSPLITTER_H
