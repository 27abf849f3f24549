// CObList: a doubly linked list of CObject pointers over blocks of nodes.
#include <cstdlib>
#include <new>

#include "mfc/afxcoll.h"

IMPLEMENT_DYNAMIC(CObList, CObject)

// One allocation of nodes; the blocks of a list are chained for freeing.
struct CObList::CBlock {
  CBlock* pNext;
  CNode* Nodes() { return reinterpret_cast<CNode*>(this + 1); }
};

namespace {

inline POSITION ToPosition(void* node) { return reinterpret_cast<POSITION>(node); }

}  // namespace

CObList::CObList(int nBlockSize) : m_nBlockSize(nBlockSize > 0 ? nBlockSize : 10) {}

CObList::~CObList() { RemoveAll(); }

CObList::CNode* CObList::NewNode(CNode* pPrev, CNode* pNext) {
  if (m_pNodeFree == nullptr) {
    const size_t count = static_cast<size_t>(m_nBlockSize);
    void* memory = std::malloc(sizeof(CBlock) + count * sizeof(CNode));
    if (memory == nullptr) return nullptr;
    CBlock* block = static_cast<CBlock*>(memory);
    block->pNext = m_pBlocks;
    m_pBlocks = block;
    // Chain the new nodes into the free list, last first, so the first node
    // of the block is handed out first.
    CNode* nodes = block->Nodes();
    for (size_t i = count; i-- > 0;) {
      CNode* node = new (&nodes[i]) CNode{m_pNodeFree, nullptr, nullptr};
      m_pNodeFree = node;
    }
  }
  CNode* node = m_pNodeFree;
  m_pNodeFree = node->pNext;
  node->pPrev = pPrev;
  node->pNext = pNext;
  node->data = nullptr;
  ++m_nCount;
  return node;
}

void CObList::FreeNode(CNode* pNode) {
  pNode->pNext = m_pNodeFree;
  pNode->pPrev = nullptr;
  pNode->data = nullptr;
  m_pNodeFree = pNode;
  // The last node gone: give every block back, as MFC does.
  if (--m_nCount == 0) RemoveAll();
}

void CObList::RemoveAll() {
  m_pNodeHead = m_pNodeTail = nullptr;
  m_nCount = 0;
  m_pNodeFree = nullptr;
  while (m_pBlocks != nullptr) {
    CBlock* next = m_pBlocks->pNext;
    std::free(m_pBlocks);
    m_pBlocks = next;
  }
}

CObject*& CObList::GetHead() {
  m_pNullSlot = nullptr;
  return m_pNodeHead == nullptr ? m_pNullSlot : m_pNodeHead->data;
}

CObject* CObList::GetHead() const { return m_pNodeHead == nullptr ? nullptr : m_pNodeHead->data; }

CObject*& CObList::GetTail() {
  m_pNullSlot = nullptr;
  return m_pNodeTail == nullptr ? m_pNullSlot : m_pNodeTail->data;
}

CObject* CObList::GetTail() const { return m_pNodeTail == nullptr ? nullptr : m_pNodeTail->data; }

CObject* CObList::RemoveHead() {
  if (m_pNodeHead == nullptr) return nullptr;
  CNode* old = m_pNodeHead;
  CObject* element = old->data;
  m_pNodeHead = old->pNext;
  if (m_pNodeHead != nullptr) {
    m_pNodeHead->pPrev = nullptr;
  } else {
    m_pNodeTail = nullptr;
  }
  FreeNode(old);
  return element;
}

CObject* CObList::RemoveTail() {
  if (m_pNodeTail == nullptr) return nullptr;
  CNode* old = m_pNodeTail;
  CObject* element = old->data;
  m_pNodeTail = old->pPrev;
  if (m_pNodeTail != nullptr) {
    m_pNodeTail->pNext = nullptr;
  } else {
    m_pNodeHead = nullptr;
  }
  FreeNode(old);
  return element;
}

POSITION CObList::AddHead(CObject* newElement) {
  CNode* node = NewNode(nullptr, m_pNodeHead);
  if (node == nullptr) return nullptr;
  node->data = newElement;
  if (m_pNodeHead != nullptr) {
    m_pNodeHead->pPrev = node;
  } else {
    m_pNodeTail = node;
  }
  m_pNodeHead = node;
  return ToPosition(node);
}

POSITION CObList::AddTail(CObject* newElement) {
  CNode* node = NewNode(m_pNodeTail, nullptr);
  if (node == nullptr) return nullptr;
  node->data = newElement;
  if (m_pNodeTail != nullptr) {
    m_pNodeTail->pNext = node;
  } else {
    m_pNodeHead = node;
  }
  m_pNodeTail = node;
  return ToPosition(node);
}

BOOL CObList::AddHead(CObList* pNewList) {
  if (pNewList == nullptr) return TRUE;
  // From the other list's tail, so that its order is kept at our head.
  POSITION pos = pNewList->GetTailPosition();
  while (pos != nullptr) {
    if (AddHead(pNewList->GetPrev(pos)) == nullptr) return FALSE;
  }
  return TRUE;
}

BOOL CObList::AddTail(CObList* pNewList) {
  if (pNewList == nullptr) return TRUE;
  POSITION pos = pNewList->GetHeadPosition();
  while (pos != nullptr) {
    if (AddTail(pNewList->GetNext(pos)) == nullptr) return FALSE;
  }
  return TRUE;
}

CObject*& CObList::GetNext(POSITION& rPosition) {
  CNode* node = reinterpret_cast<CNode*>(rPosition);
  if (node == nullptr) {
    m_pNullSlot = nullptr;
    return m_pNullSlot;
  }
  rPosition = ToPosition(node->pNext);
  return node->data;
}

CObject* CObList::GetNext(POSITION& rPosition) const {
  const CNode* node = reinterpret_cast<const CNode*>(rPosition);
  if (node == nullptr) return nullptr;
  rPosition = ToPosition(node->pNext);
  return node->data;
}

CObject*& CObList::GetPrev(POSITION& rPosition) {
  CNode* node = reinterpret_cast<CNode*>(rPosition);
  if (node == nullptr) {
    m_pNullSlot = nullptr;
    return m_pNullSlot;
  }
  rPosition = ToPosition(node->pPrev);
  return node->data;
}

CObject* CObList::GetPrev(POSITION& rPosition) const {
  const CNode* node = reinterpret_cast<const CNode*>(rPosition);
  if (node == nullptr) return nullptr;
  rPosition = ToPosition(node->pPrev);
  return node->data;
}

CObject*& CObList::GetAt(POSITION position) {
  CNode* node = reinterpret_cast<CNode*>(position);
  if (node == nullptr) {
    m_pNullSlot = nullptr;
    return m_pNullSlot;
  }
  return node->data;
}

CObject* CObList::GetAt(POSITION position) const {
  const CNode* node = reinterpret_cast<const CNode*>(position);
  return node == nullptr ? nullptr : node->data;
}

void CObList::SetAt(POSITION pos, CObject* newElement) {
  CNode* node = reinterpret_cast<CNode*>(pos);
  if (node != nullptr) node->data = newElement;
}

void CObList::RemoveAt(POSITION position) {
  CNode* old = reinterpret_cast<CNode*>(position);
  if (old == nullptr) return;
  if (old == m_pNodeHead) {
    m_pNodeHead = old->pNext;
  } else {
    old->pPrev->pNext = old->pNext;
  }
  if (old == m_pNodeTail) {
    m_pNodeTail = old->pPrev;
  } else {
    old->pNext->pPrev = old->pPrev;
  }
  FreeNode(old);
}

POSITION CObList::InsertBefore(POSITION position, CObject* newElement) {
  if (position == nullptr) return AddHead(newElement);
  CNode* old = reinterpret_cast<CNode*>(position);
  CNode* node = NewNode(old->pPrev, old);
  if (node == nullptr) return nullptr;
  node->data = newElement;
  if (old->pPrev != nullptr) {
    old->pPrev->pNext = node;
  } else {
    m_pNodeHead = node;
  }
  old->pPrev = node;
  return ToPosition(node);
}

POSITION CObList::InsertAfter(POSITION position, CObject* newElement) {
  if (position == nullptr) return AddTail(newElement);
  CNode* old = reinterpret_cast<CNode*>(position);
  CNode* node = NewNode(old, old->pNext);
  if (node == nullptr) return nullptr;
  node->data = newElement;
  if (old->pNext != nullptr) {
    old->pNext->pPrev = node;
  } else {
    m_pNodeTail = node;
  }
  old->pNext = node;
  return ToPosition(node);
}

POSITION CObList::Find(CObject* searchValue, POSITION startAfter) const {
  const CNode* node = reinterpret_cast<const CNode*>(startAfter);
  node = node == nullptr ? m_pNodeHead : node->pNext;
  for (; node != nullptr; node = node->pNext) {
    if (node->data == searchValue) return ToPosition(const_cast<CNode*>(node));
  }
  return nullptr;
}

POSITION CObList::FindIndex(int nIndex) const {
  if (nIndex < 0 || nIndex >= m_nCount) return nullptr;
  CNode* node = m_pNodeHead;
  while (nIndex-- > 0) node = node->pNext;
  return ToPosition(node);
}
