// A doubly linked list of untyped pointers. The list owns its nodes, never
// the data they point to.
#ifndef ORVEL_SSF_LIST_H
#define ORVEL_SSF_LIST_H

#include <cstdint>

struct list_node {
  list_node* next;
  list_node* prev;
  void* data;
};

struct list_head {
  list_node* first;
  list_node* last;
  int32_t count;
};

using list_predicate = int (*)(void* data);
using list_free_fn = void (*)(void* data);
using list_map_fn = void (*)(void* data);
using list_copy_fn = void* (*)(void* data);
using list_compare_fn = int (*)(void* a, void* b);

list_node* list_node_create(void* data);
list_head* list_create();
int list_is_empty(const list_head* list);
int list_push(list_head* list, list_node* node);
int list_add_before(list_head* list, list_node* position, list_node* node);
int list_add_after(list_head* list, list_node* position, list_node* node);
void* list_get_element(const list_node* node);
void* list_remove_element(list_head* list, list_node* node);
list_node* list_first_it(const list_head* list);
list_node* list_last_it(const list_head* list);
list_node* list_next_it(const list_node* node);
list_node* list_prec_it(const list_node* node);
list_node* list_find_first(const list_head* list, list_predicate pred);
list_node* list_find_next(const list_node* node, list_predicate pred);
list_node* list_find_last(const list_head* list, list_predicate pred);
list_node* list_find_prec(const list_node* node, list_predicate pred);
int list_destroy(list_head* list, list_free_fn free_fn);
int list_map(const list_head* list, list_map_fn fn);
int list_rmap(const list_head* list, list_map_fn fn);
int list_size(const list_head* list);
list_head* list_deep_copy(const list_head* list, list_copy_fn copy_fn);
int list_cmp(const list_head* a, const list_head* b, list_compare_fn cmp);

#endif
