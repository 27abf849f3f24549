// CObject, CRuntimeClass and CDumpContext.
#include <cstdlib>
#include <string>

#include "mfc/afx.h"
#include "win32/memory.h"

CRuntimeClass CObject::classCObject = {"CObject", sizeof(CObject), 0xFFFF, nullptr, nullptr};

CObject* CRuntimeClass::CreateObject() {
  return m_pfnCreateObject == nullptr ? nullptr : m_pfnCreateObject();
}

BOOL CRuntimeClass::IsDerivedFrom(const CRuntimeClass* pBaseClass) const {
  for (const CRuntimeClass* c = this; c != nullptr; c = c->m_pBaseClass) {
    if (c == pBaseClass) return TRUE;
  }
  return FALSE;
}

CRuntimeClass* CObject::GetRuntimeClass() const { return &classCObject; }

CObject::~CObject() = default;

void* CObject::operator new(size_t nSize) noexcept { return std::malloc(nSize == 0 ? 1 : nSize); }

void CObject::operator delete(void* p) noexcept { std::free(p); }

void CObject::Serialize(CArchive&) {}

void CObject::AssertValid() const {}

void CObject::Dump(CDumpContext& dc) const {
  dc << "a " << GetRuntimeClass()->m_lpszClassName << " at " << static_cast<const void*>(this)
     << "\n";
}

BOOL CObject::IsSerializable() const { return GetRuntimeClass()->m_wSchema != 0xFFFF; }

BOOL CObject::IsKindOf(const CRuntimeClass* pClass) const {
  return GetRuntimeClass()->IsDerivedFrom(pClass);
}

CDumpContext afxDump;

CDumpContext& CDumpContext::operator<<(LPCSTR text) {
  if (m_pStream != nullptr) std::fputs(text == nullptr ? "(null)" : text, m_pStream);
  return *this;
}

CDumpContext& CDumpContext::operator<<(LPCWSTR text) {
  if (m_pStream == nullptr) return *this;
  if (text == nullptr) return *this << "(null)";
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return *this;
  std::string utf8(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8.data(), bytes, nullptr, nullptr);
  return *this << utf8.c_str();
}

CDumpContext& CDumpContext::operator<<(const void* pointer) {
  if (m_pStream != nullptr) std::fprintf(m_pStream, "$%p", pointer);
  return *this;
}

CDumpContext& CDumpContext::operator<<(int value) {
  if (m_pStream != nullptr) std::fprintf(m_pStream, "%d", value);
  return *this;
}

CDumpContext& CDumpContext::operator<<(UINT value) {
  if (m_pStream != nullptr) std::fprintf(m_pStream, "%u", value);
  return *this;
}

CDumpContext& CDumpContext::operator<<(long value) {
  if (m_pStream != nullptr) std::fprintf(m_pStream, "%ld", value);
  return *this;
}

CDumpContext& CDumpContext::operator<<(unsigned long value) {
  if (m_pStream != nullptr) std::fprintf(m_pStream, "%lu", value);
  return *this;
}

void CDumpContext::Flush() {
  if (m_pStream != nullptr) std::fflush(m_pStream);
}
