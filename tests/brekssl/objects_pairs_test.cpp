// Signature-algorithm pairs and PBE PRF rows of GOST R 34.10/34.11-2012:
// looked up in both directions, and used for a certificate that GnuTLS
// signed with GOST R 34.10-2012.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include "objects/ssf_objects.h"
#include "ossl_ptr.h"
#include "test_util.h"

namespace {

TEST(ObjectsPairs, SignaturePairsResolveBothWays) {
  ASSERT_EQ(ssf_register_objects(), 1);
  struct {
    int sig, md, key;
  } pairs[] = {
      {ssf_nid_id_tc26_signwithdigest_gost3410_2012_256(), ssf_nid_md_gost12_256(),
       ssf_nid_gost2012_256()},
      {ssf_nid_id_tc26_signwithdigest_gost3410_2012_512(), ssf_nid_md_gost12_512(),
       ssf_nid_gost2012_512()},
      // The GOST 2001 pairs of the toolkit stay.
      {NID_id_GostR3411_94_with_GostR3410_2001, NID_id_GostR3411_94, NID_id_GostR3410_2001},
      {NID_id_GostR3411_94_with_GostR3410_94, NID_id_GostR3411_94, NID_id_GostR3410_94},
  };
  for (const auto& p : pairs) {
    SCOPED_TRACE(OBJ_nid2sn(p.sig));
    int md = NID_undef, key = NID_undef, sig = NID_undef;
    ASSERT_EQ(OBJ_find_sigid_algs(p.sig, &md, &key), 1);
    EXPECT_EQ(md, p.md);
    EXPECT_EQ(key, p.key);
    ASSERT_EQ(OBJ_find_sigid_by_algs(&sig, p.md, p.key), 1);
    EXPECT_EQ(sig, p.sig);
  }
}

TEST(ObjectsPairs, PrfRowsGiveTheDigests) {
  ASSERT_EQ(ssf_register_objects(), 1);
  struct {
    int prf, md;
  } rows[] = {
      {ssf_nid_id_tc26_hmac_gost_3411_2012_256(), ssf_nid_md_gost12_256()},
      {ssf_nid_id_tc26_hmac_gost_3411_2012_512(), ssf_nid_md_gost12_512()},
      {NID_id_HMACGostR3411_94, NID_id_GostR3411_94},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(OBJ_nid2sn(r.prf));
    int md = NID_undef;
    ASSERT_EQ(EVP_PBE_find(EVP_PBE_TYPE_PRF, r.prf, nullptr, &md, nullptr), 1);
    EXPECT_EQ(md, r.md);
  }
}

TEST(ObjectsPairs, GnutlsGostCertificateResolvesToDigestAndKeyType) {
  ASSERT_EQ(ssf_register_objects(), 1);
  std::string pem = orvel_test::read_file(orvel_test::data_dir() + "/pkcs12/gost2012_256.pem");
  orvel::BioPtr bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  orvel::X509Ptr cert(PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr));
  ASSERT_TRUE(cert);
  const X509_ALGOR* alg = nullptr;
  X509_get0_signature(nullptr, &alg, cert.get());
  const ASN1_OBJECT* obj = nullptr;
  X509_ALGOR_get0(&obj, nullptr, nullptr, alg);
  char dotted[64];
  ASSERT_GT(OBJ_obj2txt(dotted, sizeof(dotted), obj, 1), 0);
  EXPECT_STREQ(dotted, "1.2.643.7.1.1.3.2");
  int sig = X509_get_signature_nid(cert.get());
  EXPECT_EQ(sig, ssf_nid_id_tc26_signwithdigest_gost3410_2012_256());
  int md = NID_undef, key = NID_undef;
  ASSERT_EQ(OBJ_find_sigid_algs(sig, &md, &key), 1);
  EXPECT_EQ(md, ssf_nid_md_gost12_256());
  EXPECT_EQ(key, ssf_nid_gost2012_256());
  ASN1_OBJECT* key_obj = nullptr;
  ASSERT_EQ(
      X509_PUBKEY_get0_param(&key_obj, nullptr, nullptr, nullptr, X509_get_X509_PUBKEY(cert.get())),
      1);
  EXPECT_EQ(OBJ_obj2nid(key_obj), ssf_nid_gost2012_256());
}

}  // namespace
