// The list container.
#include "list.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

void* as_data(intptr_t v) { return reinterpret_cast<void*>(v); }
intptr_t as_int(void* p) { return reinterpret_cast<intptr_t>(p); }

std::vector<intptr_t> forward(const list_head* l) {
  std::vector<intptr_t> out;
  for (list_node* n = list_first_it(l); n != nullptr; n = list_next_it(n))
    out.push_back(as_int(list_get_element(n)));
  return out;
}

std::vector<intptr_t> backward(const list_head* l) {
  std::vector<intptr_t> out;
  for (list_node* n = list_last_it(l); n != nullptr; n = list_prec_it(n))
    out.push_back(as_int(list_get_element(n)));
  return out;
}

// The invariant: first/last null exactly when empty, both walks agree.
void check_invariant(const list_head* l) {
  auto f = forward(l);
  auto b = backward(l);
  EXPECT_EQ(static_cast<int>(f.size()), list_size(l));
  std::vector<intptr_t> rb(b.rbegin(), b.rend());
  EXPECT_EQ(f, rb);
  EXPECT_EQ(l->first == nullptr, l->count == 0);
  EXPECT_EQ(l->last == nullptr, l->count == 0);
}

int is_even(void* d) { return as_int(d) % 2 == 0; }
int is_big(void* d) { return as_int(d) > 100; }
std::vector<intptr_t> g_seen;
void record(void* d) { g_seen.push_back(as_int(d)); }
int cmp_ints(void* a, void* b) { return as_int(a) == as_int(b) ? 0 : 1; }
void* plus_ten(void* d) { return as_data(as_int(d) + 10); }

}  // namespace

TEST(List, NullListsAndNodes) {
  EXPECT_EQ(list_size(nullptr), -1);
  EXPECT_EQ(list_is_empty(nullptr), 1);
  EXPECT_EQ(list_push(nullptr, nullptr), 0);
  EXPECT_EQ(list_first_it(nullptr), nullptr);
  EXPECT_EQ(list_next_it(nullptr), nullptr);
  EXPECT_EQ(list_get_element(nullptr), nullptr);
  EXPECT_EQ(list_destroy(nullptr, nullptr), 0);
  EXPECT_EQ(list_map(nullptr, record), 0);
  EXPECT_EQ(list_deep_copy(nullptr, nullptr), nullptr);
  EXPECT_EQ(list_cmp(nullptr, nullptr, cmp_ints), -1);
  list_head* l = list_create();
  EXPECT_EQ(list_is_empty(l), 1);
  EXPECT_EQ(list_push(l, nullptr), 0);
  EXPECT_EQ(list_remove_element(l, nullptr), nullptr);
  EXPECT_EQ(list_map(l, nullptr), 0);
  EXPECT_EQ(list_map(l, record), 1);
  EXPECT_EQ(list_find_first(l, nullptr), nullptr);
  list_destroy(l, nullptr);
}

TEST(List, InsertPositions) {
  list_head* l = list_create();
  ASSERT_EQ(list_add_before(l, nullptr, list_node_create(as_data(2))), 1);
  EXPECT_EQ(l->first, l->last);
  check_invariant(l);
  list_add_after(l, nullptr, list_node_create(as_data(4)));         // tail
  list_add_before(l, nullptr, list_node_create(as_data(1)));        // head
  list_add_after(l, l->first->next, list_node_create(as_data(3)));  // after 2
  list_add_before(l, l->last, list_node_create(as_data(35)));       // before 4
  list_push(l, list_node_create(as_data(5)));
  EXPECT_EQ(forward(l), (std::vector<intptr_t>{1, 2, 3, 35, 4, 5}));
  check_invariant(l);
  EXPECT_EQ(as_int(list_remove_element(l, l->first->next->next->next)), 35);
  EXPECT_EQ(as_int(list_remove_element(l, l->first)), 1);
  EXPECT_EQ(as_int(list_remove_element(l, l->last)), 5);
  EXPECT_EQ(forward(l), (std::vector<intptr_t>{2, 3, 4}));
  check_invariant(l);
  list_destroy(l, nullptr);
}

TEST(List, RemovingTheOnlyNodeEmptiesTheList) {
  list_head* l = list_create();
  list_push(l, list_node_create(as_data(7)));
  EXPECT_EQ(as_int(list_remove_element(l, l->first)), 7);
  EXPECT_EQ(l->first, nullptr);
  EXPECT_EQ(l->last, nullptr);
  EXPECT_EQ(l->count, 0);
  list_destroy(l, nullptr);
}

TEST(List, SearchMapCopyCompare) {
  list_head* l = list_create();
  for (intptr_t v : {1, 2, 3, 4, 5, 6}) list_push(l, list_node_create(as_data(v)));
  list_node* n = list_find_first(l, is_even);
  EXPECT_EQ(as_int(list_get_element(n)), 2);
  n = list_find_next(n, is_even);
  EXPECT_EQ(as_int(list_get_element(n)), 4);
  n = list_find_last(l, is_even);
  EXPECT_EQ(as_int(list_get_element(n)), 6);
  n = list_find_prec(n, is_even);
  EXPECT_EQ(as_int(list_get_element(n)), 4);
  EXPECT_EQ(list_find_first(l, is_big), nullptr);

  g_seen.clear();
  list_rmap(l, record);
  EXPECT_EQ(g_seen, (std::vector<intptr_t>{6, 5, 4, 3, 2, 1}));

  list_head* same = list_deep_copy(l, nullptr);
  list_head* shifted = list_deep_copy(l, plus_ten);
  EXPECT_EQ(list_cmp(l, same, cmp_ints), 0);
  EXPECT_EQ(list_cmp(l, shifted, cmp_ints), 1);
  EXPECT_EQ(forward(shifted), (std::vector<intptr_t>{11, 12, 13, 14, 15, 16}));
  list_destroy(same, nullptr);
  list_destroy(shifted, nullptr);

  // Destroy visits the data from the tail.
  g_seen.clear();
  list_destroy(l, record);
  EXPECT_EQ(g_seen, (std::vector<intptr_t>{6, 5, 4, 3, 2, 1}));
}

TEST(List, CompareCounts) {
  list_head* a = list_create();
  list_head* b = list_create();
  EXPECT_EQ(list_cmp(a, b, cmp_ints), 0);
  for (intptr_t v : {1, 2}) list_push(a, list_node_create(as_data(v)));
  for (intptr_t v : {1, 2, 3}) list_push(b, list_node_create(as_data(v)));
  EXPECT_EQ(list_cmp(a, b, cmp_ints), 1);
  list_destroy(a, nullptr);
  list_destroy(b, nullptr);
}
