// Portable stand-ins for the application framework types that the QTX classes
// are declared with: CObject, CString, CArray and the framework's exceptions.
//
// They carry the framework's names so that a host's code reads the same on
// every platform, and only the behaviour the library and its hosts rely on.
#ifndef QTX_FRAMEWORK_H
#define QTX_FRAMEWORK_H

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "qtx/QTXExport.h"

// Root class of the model objects and lists: virtual destructor, no copies.
// A copy would put an owned object under two owners.
class QTXLIB_API CObject {
 public:
  virtual ~CObject();

  CObject(const CObject&) = delete;
  CObject& operator=(const CObject&) = delete;

 protected:
  CObject() = default;
};

// 8-bit character string. Holds any bytes, NUL included; GetString() is
// always zero-terminated.
class QTXLIB_API CString {
 public:
  CString() = default;
  CString(const char* psz) : m_str(psz ? psz : "") {}  // NOLINT: implicit like the framework's
  CString(const char* pch, std::size_t nLength) : m_str(pch, nLength) {}
  CString(std::string str) : m_str(std::move(str)) {}  // NOLINT
  explicit CString(std::string_view sv) : m_str(sv) {}

  CString& operator=(const char* psz) {
    m_str.assign(psz ? psz : "");
    return *this;
  }
  CString& operator=(const std::string& str) {
    m_str.assign(str);
    return *this;
  }
  CString& operator=(std::string_view sv) {
    m_str.assign(sv.data(), sv.size());
    return *this;
  }

  // Replaces the content, reusing the storage already held.
  void Assign(const char* pch, std::size_t nLength) { m_str.assign(pch, nLength); }
  void Append(const char* pch, std::size_t nLength) { m_str.append(pch, nLength); }
  CString& operator+=(const CString& str) {
    m_str += str.m_str;
    return *this;
  }
  CString& operator+=(char ch) {
    m_str += ch;
    return *this;
  }
  // Makes the string empty and keeps its storage for the next use.
  void Empty() noexcept { m_str.clear(); }
  // Keeps the first nNewLength characters (no effect when already shorter).
  void Truncate(int nNewLength) {
    if (nNewLength >= 0 && static_cast<std::size_t>(nNewLength) < m_str.size())
      m_str.resize(static_cast<std::size_t>(nNewLength));
  }

  // 0 when equal ignoring ASCII case; otherwise negative or positive as the
  // first differing byte (folded to lower case) compares.
  int CompareNoCase(const char* psz) const noexcept;
  int CompareNoCase(const CString& str) const noexcept { return CompareNoCase(str.View()); }
  int CompareNoCase(std::string_view sv) const noexcept;

  // Drops leading and trailing white space (the C isspace set: space, \t, \n, \v, \f, \r).
  CString& Trim();

  bool IsEmpty() const noexcept { return m_str.empty(); }
  int GetLength() const noexcept { return static_cast<int>(m_str.size()); }
  const char* GetString() const noexcept { return m_str.c_str(); }
  operator const char*() const noexcept { return m_str.c_str(); }  // NOLINT: implicit like the framework's
  std::string_view View() const noexcept { return m_str; }
  const std::string& Str() const noexcept { return m_str; }

  friend bool operator==(const CString& a, const CString& b) noexcept { return a.m_str == b.m_str; }
  friend bool operator==(const CString& a, const char* b) noexcept { return a.m_str == (b ? b : ""); }
  friend bool operator==(const char* a, const CString& b) noexcept { return b == a; }
  friend bool operator!=(const CString& a, const CString& b) noexcept { return !(a == b); }
  friend bool operator!=(const CString& a, const char* b) noexcept { return !(a == b); }
  friend bool operator!=(const char* a, const CString& b) noexcept { return !(b == a); }

 private:
  std::string m_str;
};

// The framework's invalid-argument error, raised for an index outside a list.
class QTXLIB_API CInvalidArgException : public std::invalid_argument {
 public:
  CInvalidArgException();
  ~CInvalidArgException() override;
};

// Throws a CInvalidArgException by value.
[[noreturn]] QTXLIB_API void AfxThrowInvalidArgException();

// Error record of a file operation. Open() fills one handed to it; read and
// seek errors are thrown as one.
class QTXLIB_API CFileException : public std::exception {
 public:
  enum {
    none = 0,
    genericException = 1,
    fileNotFound = 2,
    badPath = 3,
    tooManyOpenFiles = 4,
    accessDenied = 5,
    invalidFile = 6,
    removeCurrentDir = 7,
    directoryFull = 8,
    badSeek = 9,
    hardIO = 10,
    sharingViolation = 11,
    lockViolation = 12,
    diskFull = 13,
    endOfFile = 14
  };

  explicit CFileException(int cause = none, std::int32_t lOsError = -1,
                          const char* lpszFileName = nullptr);
  ~CFileException() override;

  // A line naming the file and the cause, e.g. "data.qtx: No such file or directory".
  const char* what() const noexcept override;

  int m_cause;
  std::int32_t m_lOsError;
  CString m_strFileName;

 private:
  mutable std::string m_strWhat;
};

// Growable array that keeps its elements in the order they were added. Every
// indexed access is checked against the current size; outside it the
// invalid-argument error is raised and the array is unchanged. An array of
// pointers never deletes what its pointers point to: that is the owner's job.
template <class TYPE, class ARG_TYPE = const TYPE&>
class CArray : public CObject {
 public:
  CArray() = default;
  ~CArray() override = default;

  std::ptrdiff_t GetSize() const noexcept { return static_cast<std::ptrdiff_t>(m_data.size()); }
  std::ptrdiff_t GetCount() const noexcept { return GetSize(); }
  bool IsEmpty() const noexcept { return m_data.empty(); }

  // Appends at the end and returns the new element's index.
  std::ptrdiff_t Add(ARG_TYPE newElement) {
    m_data.push_back(newElement);
    return GetSize() - 1;
  }

  const TYPE& GetAt(std::ptrdiff_t nIndex) const { return m_data[Checked(nIndex)]; }
  TYPE& ElementAt(std::ptrdiff_t nIndex) { return m_data[Checked(nIndex)]; }
  const TYPE& operator[](std::ptrdiff_t nIndex) const { return GetAt(nIndex); }
  TYPE& operator[](std::ptrdiff_t nIndex) { return ElementAt(nIndex); }

  // Empties the array and releases its storage; the elements' targets are untouched.
  void RemoveAll() noexcept { std::vector<TYPE>().swap(m_data); }

 private:
  std::size_t Checked(std::ptrdiff_t nIndex) const {
    if (nIndex < 0 || nIndex >= GetSize()) AfxThrowInvalidArgException();
    return static_cast<std::size_t>(nIndex);
  }

  std::vector<TYPE> m_data;
};

#endif  // QTX_FRAMEWORK_H
