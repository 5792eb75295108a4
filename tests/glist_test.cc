#include "quarvel/glist.h"

#include <cstdint>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "testing/test_util.h"

namespace {

using quarvel::testing::CaptureFd;

struct ListDeleter {
  void operator()(glist *list) const { glist_destroy(list); }
};
using ListPtr = std::unique_ptr<glist, ListDeleter>;

// The capacity after each put, for a list created with capacity and grow_by.
std::vector<int32_t> CapacitiesAfterPuts(int32_t capacity, int32_t grow_by, int puts) {
  ListPtr list(glist_create(capacity, grow_by));
  std::vector<int32_t> seen;
  int dummy = 0;
  for (int i = 0; i < puts; ++i) {
    EXPECT_EQ(glist_put(list.get(), &dummy), i);
    seen.push_back(list->capacity);
  }
  return seen;
}

TEST(GlistGrowthTest, GrowsAdditivelyBeforeTheLastSlotIsTaken) {
  std::vector<int32_t> caps = CapacitiesAfterPuts(13, 5, 23);
  EXPECT_EQ(caps[11], 13);  // 12 puts
  EXPECT_EQ(caps[12], 18);  // the 13th put grows
  EXPECT_EQ(caps[16], 18);
  EXPECT_EQ(caps[17], 23);  // the 18th
  EXPECT_EQ(caps[22], 28);  // the 23rd

  caps = CapacitiesAfterPuts(5, 3, 8);
  EXPECT_EQ(caps[3], 5);
  EXPECT_EQ(caps[4], 8);
  EXPECT_EQ(caps[7], 11);

  EXPECT_EQ(CapacitiesAfterPuts(0, 0, 4), (std::vector<int32_t>{1, 2, 3, 4}));
}

TEST(GlistGrowthTest, GrowsByNWhenNExceedsTheStep) {
  ListPtr list(glist_create(2, 3));
  glist_check_capacity(list.get(), 1);
  EXPECT_EQ(list->capacity, 2);
  glist_check_capacity(list.get(), 2);
  EXPECT_EQ(list->capacity, 5);
  glist_check_capacity(list.get(), 10);
  EXPECT_EQ(list->capacity, 15);
  EXPECT_EQ(list->length, 0);
}

TEST(GlistGrowthTest, ImpossibleGrowthLeavesTheListUnchanged) {
  // The first put would need capacity 1 + INT32_MAX.
  ListPtr list(glist_create(1, INT32_MAX));
  ASSERT_NE(list, nullptr);
  void **slots = list->elems;
  int element = 0;
  CaptureFd err(2);
  EXPECT_EQ(glist_put(list.get(), &element), -1);
  EXPECT_EQ(err.Take(), "realloc failure in glist_check_capacity()\n");
  EXPECT_EQ(list->length, 0);
  EXPECT_EQ(list->capacity, 1);
  EXPECT_EQ(list->elems, slots);
  EXPECT_EQ(glist_get(list.get(), 0), nullptr);
  // A destroy loop over such a list still ends.
  EXPECT_EQ(glist_size(list.get()), 0);

  ListPtr small(glist_create(4, 1));
  int a = 1;
  glist_put(small.get(), &a);
  CaptureFd err2(2);
  glist_check_capacity(small.get(), INT32_MAX);
  EXPECT_EQ(err2.Take(), "realloc failure in glist_check_capacity()\n");
  EXPECT_EQ(small->capacity, 4);
  EXPECT_EQ(glist_get(small.get(), 0), &a);
}

TEST(GlistCreateTest, RejectsNegativeSizes) {
  EXPECT_EQ(glist_create(-1, 5), nullptr);
  EXPECT_EQ(glist_create(5, -1), nullptr);
  ListPtr empty(glist_create(0, 0));
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty->capacity, 0);
  EXPECT_EQ(empty->length, 0);
  EXPECT_EQ(glist_get(empty.get(), 0), nullptr);
  EXPECT_EQ(glist_remove(empty.get(), 0), nullptr);
}

TEST(GlistAccessTest, RemoveClosesTheGapInOrder) {
  ListPtr list(glist_create(13, 5));
  int a = 0, b = 0, c = 0;
  glist_put(list.get(), &a);
  glist_put(list.get(), &b);
  EXPECT_EQ(glist_put(list.get(), &c), 2);
  EXPECT_EQ(glist_remove(list.get(), 0), &a);
  EXPECT_EQ(glist_size(list.get()), 2);
  EXPECT_EQ(glist_get(list.get(), 0), &b);
  EXPECT_EQ(glist_get(list.get(), 1), &c);
  EXPECT_EQ(glist_get(list.get(), -1), nullptr);
  EXPECT_EQ(glist_get(list.get(), 2), nullptr);
  EXPECT_EQ(glist_remove(list.get(), 2), nullptr);
  EXPECT_EQ(glist_remove(list.get(), -1), nullptr);
  EXPECT_EQ(glist_size(list.get()), 2);
  EXPECT_EQ(list->capacity, 13);
}

TEST(GlistAccessTest, KeepsNullAndDuplicateElements) {
  ListPtr list(glist_create(1, 1));
  int a = 0;
  EXPECT_EQ(glist_put(list.get(), nullptr), 0);
  EXPECT_EQ(glist_put(list.get(), &a), 1);
  EXPECT_EQ(glist_put(list.get(), &a), 2);
  EXPECT_EQ(glist_get(list.get(), 0), nullptr);
  EXPECT_EQ(glist_get(list.get(), 2), &a);
  EXPECT_EQ(glist_size(list.get()), 3);
}

TEST(GlistAccessTest, NullListIsNeutral) {
  int a = 0;
  EXPECT_EQ(glist_size(nullptr), -1);
  EXPECT_EQ(glist_put(nullptr, &a), -1);
  EXPECT_EQ(glist_get(nullptr, 0), nullptr);
  EXPECT_EQ(glist_remove(nullptr, 0), nullptr);
  glist_check_capacity(nullptr, 1);
  glist_destroy(nullptr);
}

}  // namespace
