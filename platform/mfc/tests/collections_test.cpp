// CObject and CObList: walks, removal while walking, slot order, allocation
// failure.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "mfc/afxcoll.h"

// Huge allocations must fail by returning null, also under the sanitizers.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1"; }

namespace {

class CItem : public CObject {
 public:
  explicit CItem(int value) : m_value(value) { ++alive; }
  ~CItem() override { --alive; }
  int m_value;
  static int alive;
};
int CItem::alive = 0;

class CNamed : public CObject {
  DECLARE_DYNAMIC(CNamed)
};
IMPLEMENT_DYNAMIC(CNamed, CObject)

std::vector<int> Forward(const CObList& list) {
  std::vector<int> values;
  for (POSITION pos = list.GetHeadPosition(); pos != nullptr;) {
    values.push_back(static_cast<const CItem*>(list.GetNext(pos))->m_value);
  }
  return values;
}

std::vector<int> Backward(const CObList& list) {
  std::vector<int> values;
  for (POSITION pos = list.GetTailPosition(); pos != nullptr;) {
    values.push_back(static_cast<const CItem*>(list.GetPrev(pos))->m_value);
  }
  return values;
}

void DeleteAll(CObList& list) {
  while (!list.IsEmpty()) delete list.RemoveHead();
}

TEST(CObListTest, AddsInsertsAndWalksBothWays) {
  CObList list(2);  // a small block size: several blocks in use
  EXPECT_TRUE(list.IsEmpty());
  EXPECT_EQ(list.GetHeadPosition(), nullptr);
  list.AddTail(new CItem(3));
  list.AddHead(new CItem(1));
  const POSITION five = list.AddTail(new CItem(5));
  list.InsertBefore(five, new CItem(4));
  list.InsertAfter(list.GetHeadPosition(), new CItem(2));
  list.InsertAfter(five, new CItem(6));
  list.InsertBefore(nullptr, new CItem(0));  // null: at the head
  list.InsertAfter(nullptr, new CItem(7));   // null: at the tail
  EXPECT_EQ(list.GetCount(), 8);
  EXPECT_EQ(Forward(list), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}));
  EXPECT_EQ(Backward(list), (std::vector<int>{7, 6, 5, 4, 3, 2, 1, 0}));
  EXPECT_EQ(static_cast<CItem*>(list.GetAt(list.FindIndex(3)))->m_value, 3);
  EXPECT_EQ(list.FindIndex(8), nullptr);
  EXPECT_EQ(list.FindIndex(-1), nullptr);
  EXPECT_EQ(list.Find(list.GetAt(five)), five);
  EXPECT_EQ(list.Find(list.GetAt(five), five), nullptr);
  EXPECT_EQ(static_cast<CItem*>(list.GetHead())->m_value, 0);
  EXPECT_EQ(static_cast<CItem*>(list.GetTail())->m_value, 7);

  CObList other;
  other.AddTail(list.GetHead());
  other.AddTail(list.GetTail());
  CObList copy;
  EXPECT_TRUE(copy.AddTail(&other));
  EXPECT_TRUE(copy.AddHead(&other));
  EXPECT_EQ(Forward(copy), (std::vector<int>{0, 7, 0, 7}));
  copy.RemoveAll();
  other.RemoveAll();
  EXPECT_TRUE(copy.IsEmpty());

  DeleteAll(list);
  EXPECT_EQ(CItem::alive, 0);
  // The emptied list gave its blocks back and works again.
  list.AddTail(new CItem(9));
  EXPECT_EQ(Forward(list), (std::vector<int>{9}));
  DeleteAll(list);
}

TEST(CObListTest, RemovalWhileWalkingKeepsTheWalkGoing) {
  CObList list(3);
  for (int i = 1; i <= 10; ++i) list.AddTail(new CItem(i));
  // Remove the even values, walking with the position of the node passed.
  POSITION pos = list.GetHeadPosition();
  while (pos != nullptr) {
    const POSITION current = pos;
    CItem* item = static_cast<CItem*>(list.GetNext(pos));
    if (item->m_value % 2 == 0) {
      list.RemoveAt(current);
      delete item;
    }
  }
  EXPECT_EQ(Forward(list), (std::vector<int>{1, 3, 5, 7, 9}));
  EXPECT_EQ(Backward(list), (std::vector<int>{9, 7, 5, 3, 1}));
  // Head and tail removal, then insertion into the freed nodes.
  delete list.RemoveHead();
  EXPECT_EQ(Forward(list).front(), 3);
  POSITION tail = list.GetTailPosition();
  CObject* last = list.GetAt(tail);
  list.RemoveAt(tail);
  delete last;
  list.InsertAfter(list.FindIndex(0), new CItem(4));
  EXPECT_EQ(Forward(list), (std::vector<int>{3, 4, 5, 7}));
  while (!list.IsEmpty()) delete list.RemoveTail();
  EXPECT_EQ(CItem::alive, 0);
}

TEST(CObListTest, MisuseOnAnEmptyListGivesNull) {
  CObList list;
  EXPECT_EQ(list.RemoveHead(), nullptr);
  EXPECT_EQ(list.RemoveTail(), nullptr);
  EXPECT_EQ(list.GetHead(), nullptr);
  POSITION none = nullptr;
  EXPECT_EQ(list.GetNext(none), nullptr);
  list.RemoveAt(nullptr);
  list.SetAt(nullptr, nullptr);
  EXPECT_EQ(list.GetCount(), 0);
}

// The vtable slots, in the Itanium C++ ABI: a pointer to a virtual member
// function holds 1 + the slot's byte offset.
template <typename F>
size_t Slot(F function) {
  struct Raw {
    uintptr_t ptr;
    ptrdiff_t adj;
  } raw;
  static_assert(sizeof(F) == sizeof(Raw));
  std::memcpy(&raw, &function, sizeof raw);
  return (raw.ptr - 1) / sizeof(void*);
}

TEST(CObjectTest, VirtualsInSlotOrderAndRunTimeClasses) {
  EXPECT_EQ(Slot(&CObject::GetRuntimeClass), 0u);
  // Slots 1 and 2: the complete and the deleting destructor.
  EXPECT_EQ(Slot(&CObject::Serialize), 3u);
  EXPECT_EQ(Slot(&CObject::AssertValid), 4u);
  EXPECT_EQ(Slot(&CObject::Dump), 5u);

  CNamed named;
  CItem item(1);
  EXPECT_TRUE(named.IsKindOf(RUNTIME_CLASS(CNamed)));
  EXPECT_TRUE(named.IsKindOf(RUNTIME_CLASS(CObject)));
  EXPECT_FALSE(item.IsKindOf(RUNTIME_CLASS(CNamed)));
  EXPECT_STREQ(named.GetRuntimeClass()->m_lpszClassName, "CNamed");
  EXPECT_FALSE(named.IsSerializable());
  CObList list;
  EXPECT_TRUE(list.IsKindOf(RUNTIME_CLASS(CObject)));

  char* text = nullptr;
  size_t size = 0;
  FILE* stream = open_memstream(&text, &size);
  ASSERT_NE(stream, nullptr);
  CDumpContext dc(stream);
  named.Dump(dc);
  std::fclose(stream);
  EXPECT_EQ(std::string(text).rfind("a CNamed at $", 0), 0u) << text;
  free(text);
}

struct CHuge : public CObject {
  CHuge() { constructed = true; }
  char bytes[1ull << 46];
  static bool constructed;
};
bool CHuge::constructed = false;

TEST(CObjectTest, AllocationFailureGivesNullWithoutConstruction) {
  CHuge* huge = new CHuge;
  EXPECT_EQ(huge, nullptr);
  EXPECT_FALSE(CHuge::constructed);
}

}  // namespace
