// CObList of the MFC run-time stand-in: a doubly linked list of CObject
// pointers, walked with POSITION values.
//
// Nodes are taken from blocks of nBlockSize nodes (the block size given at
// construction, 10 by default); a removed node goes back to the list's free
// chain, and every block is freed when the list becomes empty (RemoveAll, the
// last removal, destruction). The list does not own the objects it points to:
// whoever removes a pointer deletes the object if it should.
//
// A POSITION is a node of the list, valid until that node is removed; null
// means "none" (before the head, after the tail). Walking while removing: keep
// the position of the node just passed before GetNext moves on, and remove by
// that one (RemoveAt leaves every other position valid).
//
// Calls that need a node on an empty list, or a null position (GetHead,
// GetTail, RemoveHead, RemoveTail, GetNext, GetPrev, GetAt, SetAt, RemoveAt),
// are mistakes in MFC; here they do nothing and give null (RemoveHead and
// RemoveTail on an empty list return null; GetNext with a null position
// returns a null slot).
//
// Memory: the adding calls return the new node's position, or null when no
// node block could be allocated (the list is unchanged). Never throws.
// Thread safety: one list is used by one thread at a time.
#pragma once

#include "mfc/afx.h"

struct __POSITION {};
typedef __POSITION* POSITION;

class WLMFC_API CObList : public CObject {
  DECLARE_DYNAMIC(CObList)

 public:
  explicit CObList(int nBlockSize = 10);
  ~CObList() override;

  int GetCount() const { return m_nCount; }
  BOOL IsEmpty() const { return m_nCount == 0; }

  CObject*& GetHead();
  CObject* GetHead() const;
  CObject*& GetTail();
  CObject* GetTail() const;

  CObject* RemoveHead();
  CObject* RemoveTail();

  POSITION AddHead(CObject* newElement);
  POSITION AddTail(CObject* newElement);
  // Adds a copy of every pointer of another list (not the list itself).
  // FALSE when memory ran short part way (the pointers added so far stay).
  BOOL AddHead(CObList* pNewList);
  BOOL AddTail(CObList* pNewList);

  void RemoveAll();

  POSITION GetHeadPosition() const { return reinterpret_cast<POSITION>(m_pNodeHead); }
  POSITION GetTailPosition() const { return reinterpret_cast<POSITION>(m_pNodeTail); }
  // The element at rPosition; rPosition moves to the next (previous) node, or
  // null at the end.
  CObject*& GetNext(POSITION& rPosition);
  CObject* GetNext(POSITION& rPosition) const;
  CObject*& GetPrev(POSITION& rPosition);
  CObject* GetPrev(POSITION& rPosition) const;

  CObject*& GetAt(POSITION position);
  CObject* GetAt(POSITION position) const;
  void SetAt(POSITION pos, CObject* newElement);
  void RemoveAt(POSITION position);

  // A null position inserts at the head (InsertBefore) or the tail
  // (InsertAfter), as MFC does.
  POSITION InsertBefore(POSITION position, CObject* newElement);
  POSITION InsertAfter(POSITION position, CObject* newElement);

  // The first node holding searchValue after startAfter (from the head when
  // null), or null.
  POSITION Find(CObject* searchValue, POSITION startAfter = nullptr) const;
  // The node at zero-based index nIndex, or null when out of range.
  POSITION FindIndex(int nIndex) const;

  CObList(const CObList&) = delete;
  CObList& operator=(const CObList&) = delete;

 protected:
  struct CNode {
    CNode* pNext;
    CNode* pPrev;
    CObject* data;
  };
  struct CBlock;

  CNode* NewNode(CNode* pPrev, CNode* pNext);
  void FreeNode(CNode* pNode);

  CNode* m_pNodeHead = nullptr;
  CNode* m_pNodeTail = nullptr;
  int m_nCount = 0;
  CNode* m_pNodeFree = nullptr;
  CBlock* m_pBlocks = nullptr;
  int m_nBlockSize;
  CObject* m_pNullSlot = nullptr;  // what the reference getters give for no node
};
