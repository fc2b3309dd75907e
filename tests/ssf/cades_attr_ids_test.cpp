// The attribute types of the CAdES layer are the objects the toolkit knows
// under these numbers: identifiers and short names as CAdES and ESS define them.
#include <gtest/gtest.h>
#include <openssl/objects.h>

#include <string>

#include "cades_attr_ids.h"
#include "cades_oid_globals.h"

namespace {

std::string oid_of(int nid) {
  const ASN1_OBJECT* obj = OBJ_nid2obj(nid);
  if (obj == nullptr) return {};
  char text[128];
  int n = OBJ_obj2txt(text, sizeof text, obj, 1);
  return n > 0 ? std::string(text) : std::string();
}

}  // namespace

TEST(CadesAttrIds, StockObjects) {
  struct Row {
    int nid;
    const char* sn;
    const char* oid;
  };
  const Row rows[] = {
      {cades::kNidSigningTime, "signingTime", "1.2.840.113549.1.9.5"},
      {cades::kNidSigningCertificate, "id-smime-aa-signingCertificate",
       "1.2.840.113549.1.9.16.2.12"},
      {cades::kNidSignatureTimeStamp, "id-smime-aa-timeStampToken", "1.2.840.113549.1.9.16.2.14"},
      {cades::kNidOtherSigCert, "id-smime-aa-ets-otherSigCert", "1.2.840.113549.1.9.16.2.19"},
      {cades::kNidCertificateRefs, "id-smime-aa-ets-CertificateRefs",
       "1.2.840.113549.1.9.16.2.21"},
      {cades::kNidRevocationRefs, "id-smime-aa-ets-RevocationRefs", "1.2.840.113549.1.9.16.2.22"},
      {cades::kNidCertValues, "id-smime-aa-ets-certValues", "1.2.840.113549.1.9.16.2.23"},
      {cades::kNidRevocationValues, "id-smime-aa-ets-revocationValues",
       "1.2.840.113549.1.9.16.2.24"},
      {cades::kNidEscTimeStamp, "id-smime-aa-ets-escTimeStamp", "1.2.840.113549.1.9.16.2.25"},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(oid_of(r.nid), r.oid) << r.sn;
    // The toolkit files "signingTime" as the long name of its object.
    const char* sn = OBJ_nid2sn(r.nid);
    const char* ln = OBJ_nid2ln(r.nid);
    EXPECT_TRUE((sn && std::string(sn) == r.sn) || (ln && std::string(ln) == r.sn)) << r.sn;
  }
}

TEST(CadesAttrIds, RegisteredObjects) {
  // The numbers start at 0 and are filled at start-up; a test resolves them
  // itself. The toolkit knows signingCertificateV2 under its own short name.
  EXPECT_EQ(g_nNID_id_smime_aa_ets_SigCertV2, 0);
  EXPECT_EQ(g_nNID_id_smime_aa_ets_ArchTsV2, 0);
  g_nNID_id_smime_aa_ets_SigCertV2 = OBJ_txt2nid(cades::kOidSigningCertificateV2);
  EXPECT_EQ(g_nNID_id_smime_aa_ets_SigCertV2, NID_id_smime_aa_signingCertificateV2);
  EXPECT_EQ(oid_of(g_nNID_id_smime_aa_ets_SigCertV2), cades::kOidSigningCertificateV2);
}
