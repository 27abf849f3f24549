// CString of the MFC run-time stand-in, Unicode build: a string of UTF-16
// units (WCHAR, char16_t here), NUL-terminated, with MFC's members.
//
// Layout: one pointer to the characters (as MFC's CString), preceded in memory
// by a private header. Copies are deep (no shared buffers), so two strings
// never share state. The empty string uses a static buffer: construction of an
// empty string never allocates.
//
// Memory: no member throws. When memory is short, an operation that needs a
// bigger buffer leaves the string empty; GetBuffer/GetBufferSetLength then
// return null and LoadString returns FALSE.
//
// 8-bit text: a `const char*` given to a constructor or assignment is ANSI
// text (code page 1252); OEM text (code page 437) converts with OemToCharW
// into GetBuffer (see docs/mfc.md).
//
// Format and FormatV take printf-style formats (see Format below); the
// formatting never reads outside its arguments when given through Format.
//
// Thread safety: one string is used by one thread at a time; distinct strings
// are independent.
#pragma once

#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>

#include <type_traits>

#include "mfc/afxver.h"

class CString;

namespace wlmfc {

// One argument of CString::Format, with its type kept, so that the formatter
// converts what it gets instead of reading raw memory.
struct WLMFC_API FormatArg {
  enum class Kind { kSigned, kUnsigned, kDouble, kWide, kNarrow, kPointer };
  Kind kind;
  union {
    int64_t i;
    uint64_t u;
    double d;
    const WCHAR* w;
    const char* n;
    const void* p;
  };
  FormatArg(char value) : kind(Kind::kSigned), i(value) {}
  FormatArg(signed char value) : kind(Kind::kSigned), i(value) {}
  FormatArg(short value) : kind(Kind::kSigned), i(value) {}
  FormatArg(int value) : kind(Kind::kSigned), i(value) {}
  FormatArg(long value) : kind(Kind::kSigned), i(value) {}
  FormatArg(long long value) : kind(Kind::kSigned), i(value) {}
  FormatArg(unsigned char value) : kind(Kind::kUnsigned), u(value) {}
  FormatArg(unsigned short value) : kind(Kind::kUnsigned), u(value) {}
  FormatArg(unsigned int value) : kind(Kind::kUnsigned), u(value) {}
  FormatArg(unsigned long value) : kind(Kind::kUnsigned), u(value) {}
  FormatArg(unsigned long long value) : kind(Kind::kUnsigned), u(value) {}
  FormatArg(char16_t value) : kind(Kind::kUnsigned), u(value) {}
  FormatArg(bool value) : kind(Kind::kSigned), i(value ? 1 : 0) {}
  FormatArg(double value) : kind(Kind::kDouble), d(value) {}
  FormatArg(float value) : kind(Kind::kDouble), d(value) {}
  FormatArg(const WCHAR* value) : kind(Kind::kWide), w(value) {}
  FormatArg(WCHAR* value) : kind(Kind::kWide), w(value) {}
  FormatArg(const char* value) : kind(Kind::kNarrow), n(value) {}
  FormatArg(char* value) : kind(Kind::kNarrow), n(value) {}
  FormatArg(const CString& value);
  // wchar_t is 32-bit here, not the UTF-16 WCHAR: refused at compile time.
  FormatArg(const wchar_t* value) = delete;
  FormatArg(wchar_t* value) = delete;
  FormatArg(std::nullptr_t) : kind(Kind::kPointer), p(nullptr) {}
  template <typename T, typename = std::enable_if_t<std::is_enum_v<T>>>
  FormatArg(T value) : FormatArg(static_cast<std::underlying_type_t<T>>(value)) {}
  template <typename T>
  FormatArg(T* value) : kind(Kind::kPointer), p(static_cast<const void*>(value)) {}
};

// Formats `format` with `count` typed arguments into `out` (see
// CString::Format). Returns FALSE when memory is short.
WLMFC_API BOOL FormatTyped(CString& out, LPCWSTR format, const FormatArg* args, size_t count);

}  // namespace wlmfc

class WLMFC_API CString {
 public:
  CString() noexcept;
  CString(const CString& other);
  CString(CString&& other) noexcept;
  CString(LPCWSTR text);               // null: empty
  CString(LPCWSTR text, int nLength);  // at most nLength units
  CString(LPCSTR text);                // ANSI (1252); null: empty
  CString(WCHAR ch, int nRepeat = 1);
  ~CString();

  CString& operator=(const CString& other);
  CString& operator=(CString&& other) noexcept;
  CString& operator=(LPCWSTR text);
  CString& operator=(LPCSTR text);
  CString& operator=(WCHAR ch);

  CString& operator+=(const CString& other);
  CString& operator+=(LPCWSTR text);
  CString& operator+=(WCHAR ch);

  int GetLength() const;
  BOOL IsEmpty() const { return GetLength() == 0; }
  void Empty();
  // A character by index; an index outside 0..GetLength()-1 gives 0.
  WCHAR GetAt(int nIndex) const;
  WCHAR operator[](int nIndex) const { return GetAt(nIndex); }
  // Ignored for an index outside the string.
  void SetAt(int nIndex, WCHAR ch);
  operator LPCWSTR() const { return m_pchData; }

  // Ordinal comparisons of UTF-16 units: <0, 0, >0. CompareNoCase folds
  // ASCII and Latin-1 letters to lower case first. Collate is Compare here.
  int Compare(LPCWSTR text) const;
  int CompareNoCase(LPCWSTR text) const;
  int Collate(LPCWSTR text) const { return Compare(text); }

  // Substrings; counts and positions are clamped to the string.
  CString Mid(int nFirst) const;
  CString Mid(int nFirst, int nCount) const;
  CString Left(int nCount) const;
  CString Right(int nCount) const;
  CString SpanIncluding(LPCWSTR charSet) const;
  CString SpanExcluding(LPCWSTR charSet) const;

  void MakeUpper();
  void MakeLower();
  void MakeReverse();
  void TrimLeft();  // white space: blank, tab, CR, LF, VT, FF
  void TrimRight();

  // Index of the first (last) occurrence, or -1.
  int Find(WCHAR ch) const;
  int Find(LPCWSTR sub) const;
  int ReverseFind(WCHAR ch) const;
  int FindOneOf(LPCWSTR charSet) const;

  // printf-style formatting into this string. Conversions: d i (signed),
  // u o x X (unsigned), c (a UTF-16 unit), C (an ANSI character), s and S
  // (strings), p (pointer), e E f g G (double), %% (a percent sign); flags
  // - + 0 blank #, a width and a precision (digits or *, at most 4096), and
  // the sizes h, l, ll, I32, I64, w. As on Windows, numbers are 32-bit
  // unless ll or I64 is given (l is 32-bit too: an unsigned long argument
  // prints by its low 32 bits).
  //
  // Strings: %s takes a wide string (WCHAR*, or a CString); %S and %hs take
  // an 8-bit ANSI string (char*); %ls and %ws a wide one. Because Format
  // keeps each argument's type, a string argument of the other width is
  // converted rather than misread, whatever the letter; a null pointer prints
  // "(null)"; a number where a string is expected prints "(null)", and a
  // string where a number is expected prints 0. Arguments missing for a
  // conversion print as 0 or "(null)"; an unknown conversion is copied as
  // written.
  template <typename... Args>
  void Format(LPCWSTR lpszFormat, const Args&... args) {
    const wlmfc::FormatArg packed[sizeof...(Args) + 1] = {wlmfc::FormatArg(args)..., 0};
    wlmfc::FormatTyped(*this, lpszFormat, packed, sizeof...(Args));
  }
  // The format is string nFormatID of the current module's string table.
  template <typename... Args>
  void Format(UINT nFormatID, const Args&... args) {
    CString format;
    if (!format.LoadString(nFormatID)) {
      Empty();
      return;
    }
    Format(static_cast<LPCWSTR>(format), args...);
  }
  // The same conversions over a va_list, read as C varargs: %s and %ls read
  // a const WCHAR*, %S and %hs a const char*; the caller guarantees the
  // arguments match the format (nothing can be checked).
  void FormatV(LPCWSTR lpszFormat, va_list argList);

  // String nID of the current module's string table (see afxwin.h,
  // AfxGetResourceHandle). FALSE, and the string empty, when it is absent.
  BOOL LoadString(UINT nID);

  // A writable buffer of at least nMinBufLength units plus the terminator,
  // holding the current text; null when memory is short. ReleaseBuffer sets
  // the length (-1: up to the first NUL, within the buffer).
  LPWSTR GetBuffer(int nMinBufLength);
  void ReleaseBuffer(int nNewLength = -1);
  LPWSTR GetBufferSetLength(int nNewLength);
  void FreeExtra();

 private:
  struct Data;
  Data* GetData() const;
  bool Reserve(int nLength, bool keep);
  void Assign(const WCHAR* text, size_t length);
  void Release();

  LPWSTR m_pchData;
};

inline wlmfc::FormatArg::FormatArg(const CString& value)
    : kind(Kind::kWide), w(static_cast<LPCWSTR>(value)) {}

WLMFC_API CString operator+(const CString& a, const CString& b);
WLMFC_API CString operator+(const CString& a, LPCWSTR b);
WLMFC_API CString operator+(LPCWSTR a, const CString& b);
WLMFC_API CString operator+(const CString& a, WCHAR b);
WLMFC_API CString operator+(WCHAR a, const CString& b);

inline bool operator==(const CString& a, const CString& b) { return a.Compare(b) == 0; }
inline bool operator==(const CString& a, LPCWSTR b) { return a.Compare(b) == 0; }
inline bool operator==(LPCWSTR a, const CString& b) { return b.Compare(a) == 0; }
inline bool operator!=(const CString& a, const CString& b) { return a.Compare(b) != 0; }
inline bool operator!=(const CString& a, LPCWSTR b) { return a.Compare(b) != 0; }
inline bool operator!=(LPCWSTR a, const CString& b) { return b.Compare(a) != 0; }
inline bool operator<(const CString& a, const CString& b) { return a.Compare(b) < 0; }
inline bool operator<(const CString& a, LPCWSTR b) { return a.Compare(b) < 0; }
inline bool operator<(LPCWSTR a, const CString& b) { return b.Compare(a) > 0; }
inline bool operator>(const CString& a, const CString& b) { return a.Compare(b) > 0; }
inline bool operator>(const CString& a, LPCWSTR b) { return a.Compare(b) > 0; }
inline bool operator>(LPCWSTR a, const CString& b) { return b.Compare(a) < 0; }
inline bool operator<=(const CString& a, const CString& b) { return a.Compare(b) <= 0; }
inline bool operator<=(const CString& a, LPCWSTR b) { return a.Compare(b) <= 0; }
inline bool operator<=(LPCWSTR a, const CString& b) { return b.Compare(a) >= 0; }
inline bool operator>=(const CString& a, const CString& b) { return a.Compare(b) >= 0; }
inline bool operator>=(const CString& a, LPCWSTR b) { return a.Compare(b) >= 0; }
inline bool operator>=(LPCWSTR a, const CString& b) { return b.Compare(a) <= 0; }
