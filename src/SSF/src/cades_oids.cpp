#include "cades_oids.h"

#include <openssl/err.h>
#include <openssl/objects.h>

#include "cades_attr_ids.h"
#include "log.h"

namespace {

struct CadesOid {
  const char* oid;
  const char* short_name;
  const char* what;  // names the identifier in the failure line
  const char* global_name;
  int* nid;
};

int register_one(const char* func, const CadesOid& o) {
  int nid = OBJ_txt2nid(o.oid);
  if (nid == NID_undef) {
    log_write("%s() registering OID %s ...", func, o.oid);
    ERR_set_mark();
    nid = OBJ_create(o.oid, o.short_name, "");
    if (nid == NID_undef) {
      log_err("%s() : OBJ_create( %s ) failed", func, o.what);
      print_brekssl_errors();
      return -1;
    }
    ERR_pop_to_mark();
    log_write("%s() : OK", func);
  }
  *o.nid = nid;
  log_write("%s() : %s = %d", func, o.global_name, nid);
  return 0;
}

}  // namespace

int SSF_register_additional_OIDS() {
  const CadesOid oids[] = {
      {cades::kOidSigningCertificateV2, cades::kSnSigningCertificateV2, "SigningCertificateV2OID",
       "g_nNID_id_smime_aa_ets_SigCertV2", &g_nNID_id_smime_aa_ets_SigCertV2},
      {cades::kOidArchiveTimestampV2, cades::kSnArchiveTimestampV2, "ArchiveTimestampV2OID",
       "g_nNID_id_smime_aa_ets_ArchTsV2", &g_nNID_id_smime_aa_ets_ArchTsV2},
  };
  for (const auto& o : oids)
    if (register_one(__func__, o) != 0) return -1;
  return 0;
}
