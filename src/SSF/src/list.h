// A doubly linked list of untyped pointers. The list does not own the data
// pointers; a node pointer serves as iterator.
#ifndef ORVEL_SSF_LIST_H
#define ORVEL_SSF_LIST_H

struct list_node {
  list_node* next;
  list_node* prev;
  void* data;
};

struct list_head {
  list_node* first;
  list_node* last;
  int count;
};

typedef int (*list_predicate)(void* data);
typedef void (*list_free_func)(void* data);
typedef void (*list_map_func)(void* data);
typedef void* (*list_copy_func)(void* data);
typedef int (*list_cmp_func)(void* a, void* b);

list_node* list_node_create(void* data);
list_head* list_create();
int list_is_empty(const list_head* list);
int list_push(list_head* list, list_node* node);
int list_add_before(list_head* list, list_node* pos, list_node* node);
int list_add_after(list_head* list, list_node* pos, list_node* node);
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
int list_destroy(list_head* list, list_free_func free_func);
int list_map(list_head* list, list_map_func func);
int list_rmap(list_head* list, list_map_func func);
int list_size(const list_head* list);
list_head* list_deep_copy(const list_head* list, list_copy_func copy);
int list_cmp(const list_head* a, const list_head* b, list_cmp_func cmp);

#endif
