// A CRL as a distribution point serves it, checked as the revocation check
// checks one: its signature and times against the fixture CA (given, and
// looked up in a store), its scope for the fixture leaf, its critical
// extensions and delta indicator, and the leaf's status by it alone.
#include "crl_delta.h"
#include "crl_scope.h"
#include "crl_stored.h"
#include "crl_verify.h"
#include "fuzz_common.h"

using namespace orvel_fuzz;

namespace {

const std::vector<std::string> kSoughtAt = {"http://127.0.0.1:9/crl"};

}  // namespace

int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const orvel::X509Ptr ca = fixture_cert("tsa/ca.pem");
  static const orvel::X509Ptr leaf = fixture_cert("tsa/leaf.pem");
  const Run run;
  const unsigned char* p = data;
  orvel::X509CrlPtr crl(d2i_X509_CRL(nullptr, &p, static_cast<long>(size)));
  if (!crl) return 0;
  verify_crl_by_issuer(crl.get(), ca.get(), 0);
  orvel::X509StorePtr store = ca_store();
  orvel::X509StoreCtxPtr ctx(X509_STORE_CTX_new());
  if (ctx && X509_STORE_CTX_init(ctx.get(), store.get(), leaf.get(), nullptr)) {
    verify_crl(crl.get(), ctx.get(), 0);
    X509* signer = nullptr;
    if (X509_STORE_get_ca_cert_for_crl(ctx.get(), crl.get(), &signer) == 1) X509_free(signer);
  }
  crl_scope_for(crl.get(), leaf.get(), kSoughtAt);
  crl_unprocessed_critical(crl.get());
  is_delta_crl(crl.get());
  revoked_by_crls(X509_get0_serialNumber(leaf.get()), crl.get(), {crl.get()}, true);
  orvel::X509CrlStackPtr crls(sk_X509_CRL_new_null());
  if (!crls || !X509_CRL_up_ref(crl.get())) return 0;
  if (!sk_X509_CRL_push(crls.get(), crl.get())) {
    X509_CRL_free(crl.get());
    return 0;
  }
  check_revoked_crl(leaf.get(), crls.get(), store.get(), 0, ca.get());
  check_revoked_crl(leaf.get(), crls.get(), store.get(), 0, nullptr);
  return 0;
}
