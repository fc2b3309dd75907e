#include "objects/ssf_objects.h"

#include <openssl/objects.h>

#include "objects/algorithm_pairs.h"
#include "objects/object_resolve.h"
#include "x509v3/ext_methods.h"

namespace {

constexpr SsfObjectRow kRows[] = {
#define SSF_OBJECT_ROW(id, sn, ln, oid, flags) {sn, ln, oid, flags},
    SSF_OBJECT_ROWS(SSF_OBJECT_ROW)
#undef SSF_OBJECT_ROW
};
static_assert(sizeof(kRows) / sizeof(kRows[0]) == kSsfObjectCount);
static_assert(kSsfObjectCount == 70, "the system adds seventy objects");

// Written at start-up (or on first use), read-only afterwards.
int g_nids[kSsfObjectCount] = {};
bool g_registered = false;
bool g_registering = false;

}  // namespace

const SsfObjectRow& ssf_object_row(SsfObject row) { return kRows[static_cast<std::size_t>(row)]; }

int ssf_register_objects() {
  if (g_registered) return 1;
  g_registering = true;
  bool ok = true;
  for (std::size_t i = 0; i < kSsfObjectCount; ++i) {
    if (g_nids[i] == NID_undef) g_nids[i] = ssf_resolve_object_row(kRows[i]);
    if (g_nids[i] == NID_undef) ok = false;
  }
  // The pairs and methods need only their own rows: a conflicting row
  // elsewhere does not hold them back.
  if (ssf_register_algorithm_pairs() != 1) ok = false;
  if (ssf_register_x509v3_methods() != 1) ok = false;
  g_registering = false;
  g_registered = ok;
  return ok ? 1 : 0;
}

int ssf_object_nid(SsfObject row) {
  std::size_t i = static_cast<std::size_t>(row);
  if (i >= kSsfObjectCount) return NID_undef;
  if (g_nids[i] == NID_undef && !g_registering) ssf_register_objects();
  return g_nids[i];
}
