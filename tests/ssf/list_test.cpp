// The list container.
#include "list.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
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

// AddressSanitizer's allocator does not run out under an address-space
// limit: the test that exhausts the heap is skipped there.
#if defined(__SANITIZE_ADDRESS__)
#define ORVEL_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ORVEL_TEST_ASAN 1
#endif
#endif

#ifndef ORVEL_TEST_ASAN
// Takes every node-sized block the heap can still give; the blocks are
// chained through their first word.
void* g_hoard = nullptr;
void hoard_all() {
  for (;;) {
    auto* block = static_cast<void**>(malloc(sizeof(list_node)));
    if (block == nullptr) return;
    *block = g_hoard;
    g_hoard = block;
  }
}
int g_copies = 0;
// Counts its copies; after the second no memory is left for another node.
void* copy_then_starve(void* d) {
  if (++g_copies == 2) hoard_all();
  return d;
}
#endif

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

TEST(List, DeepCopyMakesNoCopyWithoutANode) {
#ifdef ORVEL_TEST_ASAN
  GTEST_SKIP() << "needs the C library's allocator";
#else
  list_head* l = list_create();
  for (intptr_t v : {1, 2, 3, 4}) list_push(l, list_node_create(as_data(v)));
  long pages = 0;
  FILE* statm = fopen("/proc/self/statm", "r");
  ASSERT_NE(statm, nullptr);
  ASSERT_EQ(fscanf(statm, "%ld", &pages), 1);
  fclose(statm);
  fflush(nullptr);
  const pid_t pid = fork();
  ASSERT_NE(pid, -1);
  if (pid == 0) {
    // The child's address space is capped a little above its present size,
    // so its heap runs out when the copy function takes what is left.
    rlimit lim;
    lim.rlim_cur = lim.rlim_max = rlim_t(pages) * rlim_t(sysconf(_SC_PAGESIZE)) + (16u << 20);
    if (setrlimit(RLIMIT_AS, &lim) != 0) _exit(4);
    list_head* copy = list_deep_copy(l, copy_then_starve);
    if (copy == nullptr) _exit(3);
    if (list_size(copy) == list_size(l)) _exit(2);
    _exit(g_copies == list_size(copy) ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  // 1: a datum was copied for a node that could not be made (and leaked);
  // 2: memory never ran out; 3: no list; 4: no limit.
  EXPECT_EQ(WEXITSTATUS(status), 0);
  list_destroy(l, nullptr);
#endif
}
