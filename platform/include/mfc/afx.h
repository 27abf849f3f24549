// The object base of the MFC run-time stand-in: CRuntimeClass, CObject and
// the run-time class macros, with the dump context. Includes the string
// (afxstr.h) as MFC's afx.h does.
//
// CObject's virtual functions are, in this order: GetRuntimeClass, the
// destructor, Serialize, AssertValid, Dump (with the Itanium C++ ABI of this
// platform the destructor takes two vtable slots, the complete and the
// deleting destructor, where MSVC's ABI has one).
//
// Allocation: `new` of any CObject-derived class uses CObject's operator new,
// which returns null when memory is short (it never throws), so the
// new-expression yields null and runs no constructor; callers check for null.
// Objects cannot be copied (copy constructor and assignment are deleted, as
// MFC makes them private).
// Thread safety: an object is used by one thread at a time; the run-time
// class records are constant.
#pragma once

#include <stddef.h>
#include <stdio.h>

#include "mfc/afxstr.h"
#include "mfc/afxver.h"

class CObject;
class CArchive;
class CDumpContext;

// The run-time class of a class declared with DECLARE_DYNAMIC (or
// DECLARE_DYNCREATE): its name, size, schema number, creator (null unless
// DYNCREATE) and base class.
struct WLMFC_API CRuntimeClass {
  LPCSTR m_lpszClassName;
  int m_nObjectSize;
  UINT m_wSchema;  // 0xFFFF: not serialisable
  CObject* (*m_pfnCreateObject)();
  CRuntimeClass* m_pBaseClass;

  // A new object of the class, or null (no creator, or memory short).
  CObject* CreateObject();
  // TRUE when this class is pBaseClass or derives from it.
  BOOL IsDerivedFrom(const CRuntimeClass* pBaseClass) const;
};

class WLMFC_API CObject {
 public:
  virtual CRuntimeClass* GetRuntimeClass() const;
  virtual ~CObject();

  // Never throws; null when memory is short (see the file comment).
  static void* operator new(size_t nSize) noexcept;
  static void* operator new(size_t, void* p) noexcept { return p; }
  static void operator delete(void* p) noexcept;
  static void operator delete(void*, void*) noexcept {}

  // CObject's own serialisation does nothing.
  virtual void Serialize(CArchive& ar);
  // A release build checks nothing.
  virtual void AssertValid() const;
  // Writes "a <class name> at $<address>" and a line break.
  virtual void Dump(CDumpContext& dc) const;

  BOOL IsSerializable() const;
  BOOL IsKindOf(const CRuntimeClass* pClass) const;

  CObject(const CObject&) = delete;
  CObject& operator=(const CObject&) = delete;

  static CRuntimeClass classCObject;

 protected:
  CObject() = default;
};

// Text output for Dump: written to a stdio stream (UTF-8), standard error by
// default. A null stream discards the output.
class WLMFC_API CDumpContext {
 public:
  explicit CDumpContext(FILE* stream = stderr) : m_pStream(stream) {}
  CDumpContext& operator<<(LPCSTR text);
  CDumpContext& operator<<(LPCWSTR text);
  CDumpContext& operator<<(const CString& text) { return *this << static_cast<LPCWSTR>(text); }
  CDumpContext& operator<<(const void* pointer);
  CDumpContext& operator<<(int value);
  CDumpContext& operator<<(UINT value);
  CDumpContext& operator<<(long value);
  CDumpContext& operator<<(unsigned long value);
  void Flush();

 private:
  FILE* m_pStream;
};

// The process's dump context (standard error).
extern WLMFC_API CDumpContext afxDump;

#define RUNTIME_CLASS(class_name) (&class_name::class##class_name)

#define DECLARE_DYNAMIC(class_name)       \
 public:                                  \
  static CRuntimeClass class##class_name; \
  CRuntimeClass* GetRuntimeClass() const override;

#define DECLARE_DYNCREATE(class_name) \
  DECLARE_DYNAMIC(class_name)         \
  static CObject* CreateObject();

#define IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, wSchema, pfnNew)                       \
  CRuntimeClass class_name::class##class_name = {#class_name, sizeof(class_name), wSchema, pfnNew, \
                                                 RUNTIME_CLASS(base_class_name)};                  \
  CRuntimeClass* class_name::GetRuntimeClass() const { return RUNTIME_CLASS(class_name); }

#define IMPLEMENT_DYNAMIC(class_name, base_class_name) \
  IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, 0xFFFF, nullptr)

#define IMPLEMENT_DYNCREATE(class_name, base_class_name)         \
  CObject* class_name::CreateObject() { return new class_name; } \
  IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, 0xFFFF, class_name::CreateObject)
