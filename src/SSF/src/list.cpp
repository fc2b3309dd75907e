#include "list.h"

#include <cstdlib>

list_node* list_node_create(void* data) {
  auto* n = static_cast<list_node*>(malloc(sizeof(list_node)));
  if (n == nullptr) return nullptr;
  n->next = nullptr;
  n->prev = nullptr;
  n->data = data;
  return n;
}

list_head* list_create() {
  auto* l = static_cast<list_head*>(malloc(sizeof(list_head)));
  if (l == nullptr) return nullptr;
  l->first = nullptr;
  l->last = nullptr;
  l->count = 0;
  return l;
}

int list_is_empty(const list_head* list) { return (list == nullptr || list->count == 0) ? 1 : 0; }

int list_push(list_head* list, list_node* node) {
  if (list == nullptr || node == nullptr) return 0;
  node->prev = list->last;
  if (list->last != nullptr)
    list->last->next = node;
  else
    list->first = node;
  list->last = node;
  list->count++;
  return 1;
}

int list_add_before(list_head* list, list_node* pos, list_node* node) {
  if (list == nullptr || node == nullptr) return 0;
  if (pos == nullptr) pos = list->first;
  if (pos == nullptr) {
    node->next = nullptr;
    node->prev = nullptr;
    list->first = list->last = node;
  } else {
    node->next = pos;
    node->prev = pos->prev;
    if (pos->prev != nullptr)
      pos->prev->next = node;
    else
      list->first = node;
    pos->prev = node;
  }
  list->count++;
  return 1;
}

int list_add_after(list_head* list, list_node* pos, list_node* node) {
  if (list == nullptr || node == nullptr) return 0;
  if (pos == nullptr) return list_push(list, node);
  node->prev = pos;
  node->next = pos->next;
  if (pos->next != nullptr)
    pos->next->prev = node;
  else
    list->last = node;
  pos->next = node;
  list->count++;
  return 1;
}

void* list_get_element(const list_node* node) { return node ? node->data : nullptr; }

void* list_remove_element(list_head* list, list_node* node) {
  if (node == nullptr) return nullptr;
  if (node->prev != nullptr)
    node->prev->next = node->next;
  else
    list->first = node->next;
  if (node->next != nullptr)
    node->next->prev = node->prev;
  else
    list->last = node->prev;
  list->count--;
  void* data = node->data;
  free(node);
  return data;
}

list_node* list_first_it(const list_head* list) { return list ? list->first : nullptr; }
list_node* list_last_it(const list_head* list) { return list ? list->last : nullptr; }
list_node* list_next_it(const list_node* node) { return node ? node->next : nullptr; }
list_node* list_prec_it(const list_node* node) { return node ? node->prev : nullptr; }

namespace {

list_node* find_forward(list_node* n, list_predicate pred) {
  for (; n != nullptr; n = n->next)
    if (pred(n->data)) return n;
  return nullptr;
}

list_node* find_backward(list_node* n, list_predicate pred) {
  for (; n != nullptr; n = n->prev)
    if (pred(n->data)) return n;
  return nullptr;
}

}  // namespace

list_node* list_find_first(const list_head* list, list_predicate pred) {
  if (list == nullptr || pred == nullptr) return nullptr;
  return find_forward(list->first, pred);
}

list_node* list_find_next(const list_node* node, list_predicate pred) {
  if (node == nullptr || pred == nullptr) return nullptr;
  return find_forward(node->next, pred);
}

list_node* list_find_last(const list_head* list, list_predicate pred) {
  if (list == nullptr || pred == nullptr) return nullptr;
  return find_backward(list->last, pred);
}

list_node* list_find_prec(const list_node* node, list_predicate pred) {
  if (node == nullptr || pred == nullptr) return nullptr;
  return find_backward(node->prev, pred);
}

int list_destroy(list_head* list, list_free_func free_func) {
  if (list == nullptr) return 0;
  list_node* n = list->last;
  while (n != nullptr) {
    list_node* prev = n->prev;
    if (free_func != nullptr) free_func(n->data);
    free(n);
    n = prev;
  }
  list->first = list->last = nullptr;
  list->count = 0;
  free(list);
  return 1;
}

int list_map(list_head* list, list_map_func func) {
  if (list == nullptr || func == nullptr) return 0;
  for (list_node* n = list->first; n != nullptr; n = n->next) func(n->data);
  return 1;
}

int list_rmap(list_head* list, list_map_func func) {
  if (list == nullptr || func == nullptr) return 0;
  for (list_node* n = list->last; n != nullptr; n = n->prev) func(n->data);
  return 1;
}

int list_size(const list_head* list) { return list ? list->count : -1; }

list_head* list_deep_copy(const list_head* list, list_copy_func copy) {
  if (list == nullptr) return nullptr;
  list_head* out = list_create();
  if (out == nullptr) return nullptr;
  for (list_node* n = list->first; n != nullptr; n = n->next) {
    list_node* c = list_node_create(copy ? copy(n->data) : n->data);
    if (c == nullptr) break;
    list_push(out, c);
  }
  return out;
}

int list_cmp(const list_head* a, const list_head* b, list_cmp_func cmp) {
  if (a == nullptr || b == nullptr) return -1;
  if (a->count != b->count) return 1;
  for (list_node *x = a->first, *y = b->first; x != nullptr && y != nullptr; x = x->next, y = y->next)
    if (cmp(x->data, y->data)) return 1;
  return 0;
}
