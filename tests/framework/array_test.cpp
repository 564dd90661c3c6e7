// CArray and the invalid-argument error its checked indexing raises.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <type_traits>
#include <utility>

#include "qtx/Framework.h"

namespace {

static_assert(!std::is_copy_constructible_v<CArray<int*>> && !std::is_copy_assignable_v<CArray<int*>>);
static_assert(std::is_base_of_v<std::invalid_argument, CInvalidArgException>);

TEST(CArray, AddAppendsInOrderAndReturnsIndex) {
  CArray<int> array;
  EXPECT_TRUE(array.IsEmpty());
  for (int i = 0; i < 5; ++i) EXPECT_EQ(array.Add(10 * i), i);
  EXPECT_EQ(array.GetSize(), 5);
  EXPECT_EQ(array.GetCount(), 5);
  array.ElementAt(1) = 7;
  array[2] = 8;
  const int expected[] = {0, 7, 8, 30, 40};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(array.GetAt(i), expected[i]);
    EXPECT_EQ(std::as_const(array)[i], expected[i]);
  }
}

TEST(CArray, IndexOutsideThrowsAndLeavesArrayUnchanged) {
  CArray<int> array;
  EXPECT_THROW(array.GetAt(0), CInvalidArgException);  // empty: no index is valid
  for (int v : {1, 2, 3}) array.Add(v);
  const CArray<int>& constArray = array;
  for (const std::ptrdiff_t index : {std::ptrdiff_t{-1}, std::ptrdiff_t{3}, std::ptrdiff_t{4}, PTRDIFF_MIN}) {
    EXPECT_THROW(constArray.GetAt(index), CInvalidArgException) << index;
    EXPECT_THROW(constArray[index], CInvalidArgException) << index;
    EXPECT_THROW(array.ElementAt(index), CInvalidArgException) << index;
    EXPECT_THROW(array[index], std::invalid_argument) << index;
  }
  ASSERT_EQ(array.GetSize(), 3);
  EXPECT_EQ(array[0] * 100 + array[1] * 10 + array[2], 123);
}

// Counts its own destructions, so that a deletion by the array would show.
struct Tracked {
  explicit Tracked(int& destroyed) : m_destroyed(destroyed) {}
  ~Tracked() { ++m_destroyed; }
  int& m_destroyed;
};

TEST(CArray, RemoveAllNeverDeletesPointees) {
  int destroyed = 0;
  Tracked* objects[] = {new Tracked(destroyed), new Tracked(destroyed), new Tracked(destroyed)};
  {
    CArray<Tracked*> array;
    for (Tracked* p : objects) array.Add(p);
    array.RemoveAll();
    EXPECT_EQ(destroyed, 0);
    EXPECT_EQ(array.GetSize(), 0);
    EXPECT_THROW(array.GetAt(0), CInvalidArgException);
    EXPECT_EQ(array.Add(objects[2]), 0);  // usable again
  }
  EXPECT_EQ(destroyed, 0);  // nor does destroying the array delete them
  for (Tracked* p : objects) delete p;
  EXPECT_EQ(destroyed, 3);
}

TEST(FrameworkErrors, AfxThrowInvalidArgThrowsByValue) {
  try {
    AfxThrowInvalidArgException();
    FAIL() << "no exception";
  } catch (const CInvalidArgException& e) {
    EXPECT_STRNE(e.what(), "");
  }
}

}  // namespace
