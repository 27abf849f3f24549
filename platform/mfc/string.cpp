// CString: storage, assignment, comparison and the editing members.
#include <climits>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "mfc/afxwin.h"
#include "win32/memory.h"
#include "win32/resources.h"

struct CString::Data {
  int nDataLength;   // units, without the terminator
  int nAllocLength;  // units the buffer holds, without the terminator
  WCHAR* Chars() { return reinterpret_cast<WCHAR*>(this + 1); }
};

namespace {

// The shared empty string: never written, never freed.
struct EmptyString {
  int nDataLength = 0;
  int nAllocLength = 0;
  WCHAR zero[4] = {};
};
EmptyString g_empty;

WCHAR* EmptyChars() { return g_empty.zero; }

// Longest string kept; longer requests fail as memory shortage does.
constexpr int kMaxLength = INT_MAX / 4;

size_t WideLength(const WCHAR* text) {
  size_t n = 0;
  while (text[n] != 0) ++n;
  return n;
}

WCHAR FoldLower(WCHAR c) {
  if ((c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) return c + 0x20;
  return c;
}

WCHAR FoldUpper(WCHAR c) {
  if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) return c - 0x20;
  return c;
}

bool IsSpace(WCHAR c) { return c == u' ' || (c >= 0x09 && c <= 0x0D); }

bool InSet(WCHAR c, LPCWSTR set) {
  if (set == nullptr) return false;
  for (; *set != 0; ++set) {
    if (*set == c) return true;
  }
  return false;
}

}  // namespace

CString::Data* CString::GetData() const {
  return m_pchData == EmptyChars() ? nullptr : reinterpret_cast<Data*>(m_pchData) - 1;
}

void CString::Release() {
  if (Data* data = GetData()) std::free(data);
  m_pchData = EmptyChars();
}

// Makes room for nLength units (and the terminator), keeping the text when
// `keep`; false (string emptied) when memory is short.
bool CString::Reserve(int nLength, bool keep) {
  if (nLength < 0 || nLength > kMaxLength) {
    Release();
    return false;
  }
  Data* data = GetData();
  if (data != nullptr && data->nAllocLength >= nLength) return true;
  if (nLength == 0) return true;  // the empty string holds nothing
  const size_t bytes = sizeof(Data) + (static_cast<size_t>(nLength) + 1) * sizeof(WCHAR);
  // Zeroed, so a buffer the caller fills without a terminator still ends.
  Data* fresh = static_cast<Data*>(std::calloc(1, bytes));
  if (fresh == nullptr) {
    Release();
    return false;
  }
  fresh->nAllocLength = nLength;
  fresh->nDataLength = 0;
  fresh->Chars()[0] = 0;
  if (keep && data != nullptr) {
    fresh->nDataLength = data->nDataLength;
    memcpy(fresh->Chars(), data->Chars(), (data->nDataLength + 1) * sizeof(WCHAR));
  }
  if (data != nullptr) std::free(data);
  m_pchData = fresh->Chars();
  return true;
}

void CString::Assign(const WCHAR* text, size_t length) {
  if (length == 0) {
    // Keep a buffer we have; just end the text.
    if (Data* data = GetData()) {
      data->nDataLength = 0;
      data->Chars()[0] = 0;
    }
    return;
  }
  if (length > static_cast<size_t>(kMaxLength)) {
    Release();
    return;
  }
  // The text may lie inside our own buffer: copy it out first if so.
  Data* data = GetData();
  if (data != nullptr && text >= data->Chars() && text <= data->Chars() + data->nAllocLength) {
    memmove(data->Chars(), text, length * sizeof(WCHAR));
    data->Chars()[length] = 0;
    data->nDataLength = static_cast<int>(length);
    return;
  }
  if (!Reserve(static_cast<int>(length), false)) return;
  data = GetData();
  memcpy(data->Chars(), text, length * sizeof(WCHAR));
  data->Chars()[length] = 0;
  data->nDataLength = static_cast<int>(length);
}

CString::CString() noexcept : m_pchData(EmptyChars()) {}

CString::CString(const CString& other) : m_pchData(EmptyChars()) {
  Assign(other.m_pchData, static_cast<size_t>(other.GetLength()));
}

CString::CString(CString&& other) noexcept : m_pchData(other.m_pchData) {
  other.m_pchData = EmptyChars();
}

CString::CString(LPCWSTR text) : m_pchData(EmptyChars()) {
  if (text != nullptr) Assign(text, WideLength(text));
}

CString::CString(LPCWSTR text, int nLength) : m_pchData(EmptyChars()) {
  if (text == nullptr || nLength <= 0) return;
  size_t length = 0;
  while (length < static_cast<size_t>(nLength) && text[length] != 0) ++length;
  Assign(text, length);
}

CString::CString(LPCSTR text) : m_pchData(EmptyChars()) { *this = text; }

CString::CString(WCHAR ch, int nRepeat) : m_pchData(EmptyChars()) {
  if (nRepeat <= 0 || !Reserve(nRepeat, false)) return;
  Data* data = GetData();
  for (int i = 0; i < nRepeat; ++i) data->Chars()[i] = ch;
  data->Chars()[nRepeat] = 0;
  data->nDataLength = nRepeat;
}

CString::~CString() { Release(); }

CString& CString::operator=(const CString& other) {
  if (this != &other) Assign(other.m_pchData, static_cast<size_t>(other.GetLength()));
  return *this;
}

CString& CString::operator=(CString&& other) noexcept {
  if (this != &other) {
    Release();
    m_pchData = other.m_pchData;
    other.m_pchData = EmptyChars();
  }
  return *this;
}

CString& CString::operator=(LPCWSTR text) {
  if (text == nullptr) {
    Empty();
  } else {
    Assign(text, WideLength(text));
  }
  return *this;
}

CString& CString::operator=(LPCSTR text) {
  Empty();
  if (text == nullptr || *text == '\0') return *this;
  const size_t bytes = strlen(text);
  if (bytes > static_cast<size_t>(kMaxLength)) return *this;
  // Code page 1252 maps each byte to one UTF-16 unit.
  LPWSTR buffer = GetBuffer(static_cast<int>(bytes));
  if (buffer == nullptr) return *this;
  const int units = MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(bytes), buffer,
                                        static_cast<int>(bytes));
  ReleaseBuffer(units > 0 ? units : 0);
  return *this;
}

CString& CString::operator=(WCHAR ch) {
  Assign(&ch, 1);
  return *this;
}

CString& CString::operator+=(const CString& other) {
  if (&other == this) {
    const CString copy(other);
    return *this += copy;
  }
  return *this += static_cast<LPCWSTR>(other);
}

CString& CString::operator+=(LPCWSTR text) {
  if (text == nullptr || *text == 0) return *this;
  const size_t add = WideLength(text);
  const size_t have = static_cast<size_t>(GetLength());
  if (add > static_cast<size_t>(kMaxLength) - have) {
    Release();
    return *this;
  }
  const int total = static_cast<int>(have + add);
  Data* data = GetData();
  if (data != nullptr && text >= data->Chars() && text <= data->Chars() + data->nAllocLength) {
    const CString copy(text);  // our own text: copy before the buffer moves
    return *this += static_cast<LPCWSTR>(copy);
  }
  // Grow geometrically so that repeated appends stay linear.
  int capacity = total;
  if (data != nullptr && total > data->nAllocLength) {
    const size_t doubled = static_cast<size_t>(data->nAllocLength) * 2;
    if (doubled > static_cast<size_t>(total) && doubled <= static_cast<size_t>(kMaxLength)) {
      capacity = static_cast<int>(doubled);
    }
  }
  if (!Reserve(capacity, true)) return *this;
  data = GetData();
  memcpy(data->Chars() + have, text, add * sizeof(WCHAR));
  data->Chars()[total] = 0;
  data->nDataLength = total;
  return *this;
}

CString& CString::operator+=(WCHAR ch) {
  const WCHAR text[2] = {ch, 0};
  if (ch == 0) return *this;
  return *this += text;
}

int CString::GetLength() const {
  const Data* data = GetData();
  return data == nullptr ? 0 : data->nDataLength;
}

void CString::Empty() { Release(); }

WCHAR CString::GetAt(int nIndex) const {
  return nIndex < 0 || nIndex >= GetLength() ? 0 : m_pchData[nIndex];
}

void CString::SetAt(int nIndex, WCHAR ch) {
  if (nIndex >= 0 && nIndex < GetLength()) m_pchData[nIndex] = ch;
}

int CString::Compare(LPCWSTR text) const {
  if (text == nullptr) text = EmptyChars();
  const WCHAR* a = m_pchData;
  while (*a != 0 && *a == *text) {
    ++a;
    ++text;
  }
  return static_cast<int>(*a) - static_cast<int>(*text);
}

int CString::CompareNoCase(LPCWSTR text) const {
  if (text == nullptr) text = EmptyChars();
  const WCHAR* a = m_pchData;
  while (*a != 0 && FoldLower(*a) == FoldLower(*text)) {
    ++a;
    ++text;
  }
  return static_cast<int>(FoldLower(*a)) - static_cast<int>(FoldLower(*text));
}

CString CString::Mid(int nFirst) const { return Mid(nFirst, GetLength()); }

CString CString::Mid(int nFirst, int nCount) const {
  const int length = GetLength();
  if (nFirst < 0) nFirst = 0;
  if (nCount < 0) nCount = 0;
  if (nFirst > length) nFirst = length;
  if (nCount > length - nFirst) nCount = length - nFirst;
  return CString(m_pchData + nFirst, nCount);
}

CString CString::Left(int nCount) const { return Mid(0, nCount); }

CString CString::Right(int nCount) const {
  const int length = GetLength();
  if (nCount < 0) nCount = 0;
  if (nCount > length) nCount = length;
  return Mid(length - nCount, nCount);
}

CString CString::SpanIncluding(LPCWSTR charSet) const {
  int n = 0;
  while (m_pchData[n] != 0 && InSet(m_pchData[n], charSet)) ++n;
  return Left(n);
}

CString CString::SpanExcluding(LPCWSTR charSet) const {
  int n = 0;
  while (m_pchData[n] != 0 && !InSet(m_pchData[n], charSet)) ++n;
  return Left(n);
}

void CString::MakeUpper() {
  for (int i = 0; i < GetLength(); ++i) m_pchData[i] = FoldUpper(m_pchData[i]);
}

void CString::MakeLower() {
  for (int i = 0; i < GetLength(); ++i) m_pchData[i] = FoldLower(m_pchData[i]);
}

void CString::MakeReverse() {
  for (int i = 0, j = GetLength() - 1; i < j; ++i, --j) {
    const WCHAR c = m_pchData[i];
    m_pchData[i] = m_pchData[j];
    m_pchData[j] = c;
  }
}

void CString::TrimLeft() {
  int n = 0;
  while (m_pchData[n] != 0 && IsSpace(m_pchData[n])) ++n;
  if (n > 0) Assign(m_pchData + n, static_cast<size_t>(GetLength() - n));
}

void CString::TrimRight() {
  Data* data = GetData();
  if (data == nullptr) return;
  int n = data->nDataLength;
  while (n > 0 && IsSpace(m_pchData[n - 1])) --n;
  data->nDataLength = n;
  m_pchData[n] = 0;
}

int CString::Find(WCHAR ch) const {
  if (ch == 0) return -1;
  for (int i = 0; m_pchData[i] != 0; ++i) {
    if (m_pchData[i] == ch) return i;
  }
  return -1;
}

int CString::Find(LPCWSTR sub) const {
  if (sub == nullptr) return -1;
  const size_t n = WideLength(sub);
  const size_t length = static_cast<size_t>(GetLength());
  if (n > length) return -1;
  for (size_t i = 0; i + n <= length; ++i) {
    if (memcmp(m_pchData + i, sub, n * sizeof(WCHAR)) == 0) return static_cast<int>(i);
  }
  return -1;
}

int CString::ReverseFind(WCHAR ch) const {
  for (int i = GetLength() - 1; i >= 0; --i) {
    if (m_pchData[i] == ch) return i;
  }
  return -1;
}

int CString::FindOneOf(LPCWSTR charSet) const {
  for (int i = 0; m_pchData[i] != 0; ++i) {
    if (InSet(m_pchData[i], charSet)) return i;
  }
  return -1;
}

BOOL CString::LoadString(UINT nID) {
  Empty();
  // A zero buffer size gives a read-only pointer to the table's own text.
  const WCHAR* text = nullptr;
  const int length = LoadStringW(AfxGetResourceHandle(), nID, reinterpret_cast<LPWSTR>(&text), 0);
  if (length <= 0 || text == nullptr) return FALSE;
  Assign(text, static_cast<size_t>(length));
  return GetLength() == length;
}

LPWSTR CString::GetBuffer(int nMinBufLength) {
  if (nMinBufLength < GetLength()) nMinBufLength = GetLength();
  if (nMinBufLength == 0) nMinBufLength = 1;  // a writable buffer, never the shared empty one
  if (!Reserve(nMinBufLength, true)) return nullptr;
  return m_pchData;
}

void CString::ReleaseBuffer(int nNewLength) {
  Data* data = GetData();
  if (data == nullptr) return;
  if (nNewLength < 0 || nNewLength > data->nAllocLength) {
    nNewLength = 0;
    while (nNewLength < data->nAllocLength && m_pchData[nNewLength] != 0) ++nNewLength;
  }
  data->nDataLength = nNewLength;
  m_pchData[nNewLength] = 0;
}

LPWSTR CString::GetBufferSetLength(int nNewLength) {
  if (nNewLength < 0) return nullptr;
  LPWSTR buffer = GetBuffer(nNewLength);
  if (buffer == nullptr) return nullptr;
  GetData()->nDataLength = nNewLength;
  buffer[nNewLength] = 0;
  return buffer;
}

void CString::FreeExtra() {
  Data* data = GetData();
  if (data == nullptr || data->nAllocLength == data->nDataLength) return;
  CString copy(*this);
  if (copy.GetLength() == GetLength()) *this = std::move(copy);
}

CString operator+(const CString& a, const CString& b) {
  CString result(a);
  result += b;
  return result;
}

CString operator+(const CString& a, LPCWSTR b) {
  CString result(a);
  result += b;
  return result;
}

CString operator+(LPCWSTR a, const CString& b) {
  CString result(a);
  result += b;
  return result;
}

CString operator+(const CString& a, WCHAR b) {
  CString result(a);
  result += b;
  return result;
}

CString operator+(WCHAR a, const CString& b) {
  CString result(a);
  result += b;
  return result;
}
