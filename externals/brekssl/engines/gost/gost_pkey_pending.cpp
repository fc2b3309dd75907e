// Bare methods until the key types are built: they carry no slots but the
// copy slot the toolkit calls without a check.
#include "engines/gost/gost_pkey.h"

namespace {
int pending_copy(EVP_PKEY_CTX*, const EVP_PKEY_CTX*) { return 1; }
}  // namespace

int register_ameth_vkc(int nid, EVP_PKEY_ASN1_METHOD** ameth, const char* pemstr, const char* info) {
  *ameth = EVP_PKEY_asn1_new(nid, ASN1_PKEY_SIGPARAM_NULL, pemstr, info);
  return *ameth != nullptr;
}

int register_pmeth_vkc(int nid, EVP_PKEY_METHOD** pmeth, int flags) {
  *pmeth = EVP_PKEY_meth_new(nid, flags);
  if (*pmeth == nullptr) return 0;
  EVP_PKEY_meth_set_copy(*pmeth, pending_copy);
  return 1;
}
