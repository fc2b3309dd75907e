#include "list.h"

#include <cstdlib>

list_node* list_node_create(void* data) {
  auto* node = static_cast<list_node*>(malloc(sizeof(list_node)));
  if (node == nullptr) return nullptr;
  node->next = nullptr;
  node->prev = nullptr;
  node->data = data;
  return node;
}

list_head* list_create() {
  auto* list = static_cast<list_head*>(malloc(sizeof(list_head)));
  if (list == nullptr) return nullptr;
  list->first = nullptr;
  list->last = nullptr;
  list->count = 0;
  return list;
}

int list_is_empty(const list_head* list) { return list == nullptr || list->count == 0 ? 1 : 0; }

// Only fresh nodes are pushed: the node's own next is left as it is.
int list_push(list_head* list, list_node* node) {
  if (list == nullptr || node == nullptr) return 0;
  node->prev = list->last;
  if (list->last != nullptr)
    list->last->next = node;
  else
    list->first = node;
  list->last = node;
  ++list->count;
  return 1;
}

int list_add_before(list_head* list, list_node* position, list_node* node) {
  if (list == nullptr || node == nullptr) return 0;
  if (position == nullptr) position = list->first;
  if (position == nullptr) {  // empty list
    node->next = nullptr;
    node->prev = nullptr;
    list->first = list->last = node;
    ++list->count;
    return 1;
  }
  node->next = position;
  node->prev = position->prev;
  if (position->prev != nullptr)
    position->prev->next = node;
  else
    list->first = node;
  position->prev = node;
  ++list->count;
  return 1;
}

int list_add_after(list_head* list, list_node* position, list_node* node) {
  if (list == nullptr || node == nullptr) return 0;
  if (position == nullptr) {
    node->next = nullptr;
    return list_push(list, node);
  }
  node->prev = position;
  node->next = position->next;
  if (position->next != nullptr)
    position->next->prev = node;
  else
    list->last = node;
  position->next = node;
  ++list->count;
  return 1;
}

void* list_get_element(const list_node* node) { return node ? node->data : nullptr; }

void* list_remove_element(list_head* list, list_node* node) {
  if (node == nullptr || list == nullptr) return nullptr;
  if (node->prev != nullptr)
    node->prev->next = node->next;
  else
    list->first = node->next;
  if (node->next != nullptr)
    node->next->prev = node->prev;
  else
    list->last = node->prev;
  --list->count;
  void* data = node->data;
  free(node);
  return data;
}

list_node* list_first_it(const list_head* list) { return list ? list->first : nullptr; }
list_node* list_last_it(const list_head* list) { return list ? list->last : nullptr; }
list_node* list_next_it(const list_node* node) { return node ? node->next : nullptr; }
list_node* list_prec_it(const list_node* node) { return node ? node->prev : nullptr; }

namespace {

list_node* search_forward(list_node* from, list_predicate pred) {
  for (list_node* n = from; n != nullptr; n = n->next)
    if (pred(n->data)) return n;
  return nullptr;
}

list_node* search_backward(list_node* from, list_predicate pred) {
  for (list_node* n = from; n != nullptr; n = n->prev)
    if (pred(n->data)) return n;
  return nullptr;
}

}  // namespace

list_node* list_find_first(const list_head* list, list_predicate pred) {
  if (list == nullptr || pred == nullptr) return nullptr;
  return search_forward(list->first, pred);
}

list_node* list_find_next(const list_node* node, list_predicate pred) {
  if (node == nullptr || pred == nullptr) return nullptr;
  return search_forward(node->next, pred);
}

list_node* list_find_last(const list_head* list, list_predicate pred) {
  if (list == nullptr || pred == nullptr) return nullptr;
  return search_backward(list->last, pred);
}

list_node* list_find_prec(const list_node* node, list_predicate pred) {
  if (node == nullptr || pred == nullptr) return nullptr;
  return search_backward(node->prev, pred);
}

int list_destroy(list_head* list, list_free_fn free_fn) {
  if (list == nullptr) return 0;
  list_node* n = list->last;
  while (n != nullptr) {
    list_node* prev = n->prev;
    if (free_fn != nullptr) free_fn(n->data);
    free(n);
    n = prev;
  }
  list->first = list->last = nullptr;
  list->count = 0;
  free(list);
  return 1;
}

int list_map(const list_head* list, list_map_fn fn) {
  if (list == nullptr || fn == nullptr) return 0;
  for (list_node* n = list->first; n != nullptr; n = n->next) fn(n->data);
  return 1;
}

int list_rmap(const list_head* list, list_map_fn fn) {
  if (list == nullptr || fn == nullptr) return 0;
  for (list_node* n = list->last; n != nullptr; n = n->prev) fn(n->data);
  return 1;
}

int list_size(const list_head* list) { return list ? list->count : -1; }

list_head* list_deep_copy(const list_head* list, list_copy_fn copy_fn) {
  if (list == nullptr) return nullptr;
  list_head* copy = list_create();
  if (copy == nullptr) return nullptr;
  // The node comes first: a datum is copied only when there is a node to
  // hold it, so a failed node leaves no copy behind.
  for (list_node* n = list->first; n != nullptr; n = n->next) {
    list_node* node = list_node_create(nullptr);
    if (node == nullptr) break;
    node->data = copy_fn ? copy_fn(n->data) : n->data;
    list_push(copy, node);
  }
  return copy;
}

int list_cmp(const list_head* a, const list_head* b, list_compare_fn cmp) {
  if (a == nullptr || b == nullptr || cmp == nullptr) return -1;
  if (a->count != b->count) return 1;
  const list_node* na = a->first;
  const list_node* nb = b->first;
  for (; na != nullptr && nb != nullptr; na = na->next, nb = nb->next)
    if (cmp(na->data, nb->data) != 0) return 1;
  return 0;
}
