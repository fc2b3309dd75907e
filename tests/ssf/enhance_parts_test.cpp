// The building blocks of enhancement: the ES-C input, certificate validity
// at a time, the working list, CRL identifiers, the empty revocation
// structures, trusted roots, the CA file and the certificate values.
#include <gtest/gtest.h>

#include "cades_attr_ids.h"
#include "enhance_material.h"
#include "enhance_seq_types.h"
#include "enhance_util.h"
#include "enhance_values.h"
#include "keys_test_env.h"
#include "settings.h"
#include "sign_enhance.h"
#include "verify_enh_certs.h"

namespace enhance_test {
namespace {

using orvel_test::StartedLibrary;

Bytes seq(size_t content_len, unsigned char fill) {
  const Bytes content(content_len, fill);
  if (content_len < 0x80) return orvel_test::tlv(0x30, content);
  const Bytes header = {0x30, 0x82, static_cast<unsigned char>(content_len >> 8),
                        static_cast<unsigned char>(content_len & 0xff)};
  return orvel_test::cat({header, content});
}

Bytes attribute_der(PKCS7_SIGNER_INFO* si, int nid) {
  X509_ATTRIBUTE* a = X509at_get_attr(si->unauth_attr, X509at_get_attr_by_NID(si->unauth_attr, nid, -1));
  return orvel_test::to_der(a, i2d_X509_ATTRIBUTE);
}

class EnhanceParts : public ::testing::Test {
 protected:
  StartedLibrary lib_;
  Chain pki_;
};

TEST_F(EnhanceParts, EscDataIsSignatureThenThreeAttributesWithOrWithoutHeaders) {
  orvel::Pkcs7Ptr p7 = sign(pki_.leaf, "document");
  PKCS7_SIGNER_INFO* si = first_signer(p7.get());
  std::vector<unsigned char> esc;
  EXPECT_EQ(get_esc_data(si, true, &esc), 0);  // nothing to cover yet
  set_attr(si, cades::kNidRevocationRefs, seq(3, 0x33));
  set_attr(si, cades::kNidSignatureTimeStamp, seq(300, 0x25));  // long-form length
  set_attr(si, cades::kNidCertificateRefs, seq(10, 0x32));
  ASSERT_EQ(get_esc_data(si, true, &esc), 1);
  Bytes expected(ASN1_STRING_get0_data(si->enc_digest),
                 ASN1_STRING_get0_data(si->enc_digest) + ASN1_STRING_length(si->enc_digest));
  Bytes bare = expected;
  for (int nid :
       {cades::kNidSignatureTimeStamp, cades::kNidCertificateRefs, cades::kNidRevocationRefs}) {
    const Bytes a = attribute_der(si, nid);
    expected.insert(expected.end(), a.begin(), a.end());
    const int skip = get_disp(a.data(), static_cast<int>(a.size()));
    bare.insert(bare.end(), a.begin() + skip, a.end());
  }
  EXPECT_EQ(Bytes(esc.begin(), esc.end()), expected);
  ASSERT_EQ(get_esc_data(si, false, &esc), 1);
  EXPECT_EQ(Bytes(esc.begin(), esc.end()), bare);
  // The attributes' outer headers: 4 octets for the long one, 2 otherwise.
  EXPECT_EQ(expected.size() - bare.size(), 4u + 2u + 2u);
}

TEST(EnhanceDisp, HeaderLengths) {
  const unsigned char short_form[] = {0x30, 0x05};
  const unsigned char long_form[] = {0x30, 0x82, 0x01, 0x00};
  const unsigned char truncated[] = {0x30, 0x84, 0x01};
  EXPECT_EQ(get_disp(short_form, 2), 2);
  EXPECT_EQ(get_disp(long_form, 4), 4);
  EXPECT_EQ(get_disp(truncated, 3), 0);
  EXPECT_EQ(get_disp(short_form, 1), 0);
  EXPECT_EQ(get_disp(nullptr, 0), 0);
}

TEST_F(EnhanceParts, CertificatesValidAtTheirBoundsOnly) {
  X509* leaf = pki_.leaf.cert.get();
  const time_t nb = cert_time(X509_get0_notBefore(leaf));
  const time_t na = cert_time(X509_get0_notAfter(leaf));
  orvel::X509StackPtr certs = stack_of({leaf});
  EXPECT_EQ(check_certs_validity(certs.get(), nb), 1);
  EXPECT_EQ(check_certs_validity(certs.get(), na), 1);
  EXPECT_EQ(check_certs_validity(certs.get(), nb - 1), 0);
  EXPECT_EQ(check_certs_validity(certs.get(), na + 1), 0);
  EXPECT_TRUE(lib_.logged("check_certs_validity() 2 : certificate for '"));
  EXPECT_EQ(check_certs_validity(nullptr, nb), 0);
  EXPECT_TRUE(lib_.logged("check_certs_validity() 1 : bad args"));
}

TEST_F(EnhanceParts, WorkingListHoldsEachCertificateOnce) {
  orvel::X509StackPtr list(sk_X509_new_null());
  orvel::X509Ptr copy(X509_dup(pki_.leaf.cert.get()));
  EXPECT_EQ(add_cert(list.get(), pki_.leaf.cert.get()), 1);
  EXPECT_EQ(add_cert(list.get(), copy.get()), 1);  // equal content
  EXPECT_EQ(add_cert(list.get(), pki_.root.cert()), 1);
  ASSERT_EQ(sk_X509_num(list.get()), 2);
  EXPECT_EQ(sk_X509_value(list.get(), 0), pki_.leaf.cert.get());
  EXPECT_EQ(sk_X509_value(list.get(), 1), pki_.root.cert());
}

TEST_F(EnhanceParts, CrlIssuedFrom2050OnIsNamedByItsHashAlone) {
  // thisUpdate in 2051 is a GeneralizedTime, which the identifier's UTCTime
  // cannot hold: the reference names the CRL by its hash only, stays valid
  // DER and still matches the CRL.
  pki::CrlOptions o;
  o.last_update = 25L * 366 * 86400;
  orvel::X509CrlPtr crl = pki_.root.crl(o);
  ASSERT_EQ(ASN1_STRING_type(X509_CRL_get0_lastUpdate(crl.get())), V_ASN1_GENERALIZEDTIME);
  orvel::CrlValidatedIdPtr id(make_crl_id(crl.get(), EVP_sha256()));
  ASSERT_TRUE(id);
  EXPECT_EQ(id->crlIdentifier, nullptr);
  const Bytes der = orvel_test::to_der(id.get(), i2d_CRL_VALIDATED_ID);
  const unsigned char* p = der.data();
  orvel::CrlValidatedIdPtr back(d2i_CRL_VALIDATED_ID(nullptr, &p, static_cast<long>(der.size())));
  ASSERT_TRUE(back);
  EXPECT_EQ(crlid_and_crl_match(back.get(), crl.get()), 1);
}

TEST_F(EnhanceParts, CrlIdentifierNamesTheCrl) {
  pki::CrlOptions o;
  o.crl_number = 42;
  orvel::X509CrlPtr crl = pki_.root.crl(o);
  orvel::CrlValidatedIdPtr id(make_crl_id(crl.get(), EVP_sha256()));
  ASSERT_TRUE(id);
  ASSERT_TRUE(id->crlIdentifier);
  EXPECT_EQ(OBJ_obj2nid(id->crlHash->hashAlgorithm->algorithm), NID_sha256);
  unsigned char md[32];
  unsigned int n = 0;
  X509_CRL_digest(crl.get(), EVP_sha256(), md, &n);
  EXPECT_EQ(Bytes(ASN1_STRING_get0_data(id->crlHash->hashValue),
                  ASN1_STRING_get0_data(id->crlHash->hashValue) +
                      ASN1_STRING_length(id->crlHash->hashValue)),
            Bytes(md, md + n));
  EXPECT_EQ(X509_NAME_cmp(id->crlIdentifier->crlIssuer, X509_CRL_get_issuer(crl.get())), 0);
  EXPECT_EQ(ASN1_INTEGER_get(id->crlIdentifier->crlNumber), 42);
  EXPECT_EQ(crlid_and_crl_match(id.get(), crl.get()), 1);
  // Another CRL of the same issuer does not match; the round trip keeps it.
  pki::CrlOptions o2;
  o2.crl_number = 43;
  orvel::X509CrlPtr other = pki_.root.crl(o2);
  EXPECT_EQ(crlid_and_crl_match(id.get(), other.get()), 0);
  const Bytes der = orvel_test::to_der(id.get(), i2d_CRL_VALIDATED_ID);
  const unsigned char* p = der.data();
  orvel::CrlValidatedIdPtr back(d2i_CRL_VALIDATED_ID(nullptr, &p, static_cast<long>(der.size())));
  ASSERT_TRUE(back);
  EXPECT_EQ(crlid_and_crl_match(back.get(), crl.get()), 1);
  EXPECT_EQ(make_crl_id(nullptr, EVP_sha256()), nullptr);
}

TEST(EnhanceEmptyStructures, BothListsAreEncoded) {
  orvel::RevocationValuesPtr v(ssf_REVOCATION_VALUES_new());
  orvel::CompleteRevocationRefsPtr r(ssf_COMPLETE_REVOCATION_REFS_new());
  ASSERT_TRUE(v && r);
  EXPECT_EQ(orvel_test::to_der(v.get(), i2d_REVOCATION_VALUES),
            (Bytes{0x30, 0x08, 0xa0, 0x02, 0x30, 0x00, 0xa1, 0x02, 0x30, 0x00}));
  EXPECT_EQ(orvel_test::to_der(r.get(), i2d_COMPLETE_REVOCATION_REFS),
            (Bytes{0x30, 0x0e, 0x30, 0x0c, 0xa0, 0x04, 0x30, 0x02, 0x30, 0x00, 0xa1, 0x04, 0x30,
                   0x02, 0x30, 0x00}));
}

TEST_F(EnhanceParts, TrustedRootNeedsTheIssuerInTheStoreAndTheCertificateInTheList) {
  orvel::X509StorePtr store = store_of({pki_.root.cert()});
  X509* root = pki_.root.cert();
  EXPECT_EQ(find_certificate_in_trusted_root(root, store.get(), nullptr), 1);
  orvel::X509StackPtr listed = stack_of({root});
  EXPECT_EQ(find_certificate_in_trusted_root(root, store.get(), listed.get()), 1);
  orvel::X509StackPtr other = stack_of({pki_.inter.cert()});
  EXPECT_EQ(find_certificate_in_trusted_root(root, store.get(), other.get()), 0);
  EXPECT_TRUE(lib_.logged("find_certificate_in_trusted_root() 6 : certificate not found in pab_certs"));
  EXPECT_EQ(sk_X509_num(other.get()), 1);
  orvel::X509StorePtr empty(X509_STORE_new());
  EXPECT_EQ(find_certificate_in_trusted_root(root, empty.get(), nullptr), 0);
  EXPECT_TRUE(
      lib_.logged("find_certificate_in_trusted_root() 5 : certificate not found in trusted root store"));
}

TEST_F(EnhanceParts, CaFileLoadsIntoTheStore) {
  orvel_test::TempDir dir;
  orvel::X509StorePtr store(X509_STORE_new());
  char* saved = CA_FILE;
  CA_FILE = nullptr;
  EXPECT_EQ(AddCACertsToStore(nullptr, store.get()), 0);
  EXPECT_TRUE(lib_.logged("AddCACertsToStore() : CA file not specified"));
  std::string missing = dir.file("missing.pem");
  CA_FILE = missing.data();
  EXPECT_EQ(AddCACertsToStore(nullptr, store.get()), -1);
  EXPECT_TRUE(lib_.logged("AddCACertsToStore() 3 : X509_LOOKUP_load_file( " + missing + " ) failed"));
  std::string pem = dir.file("ca.pem");
  orvel_test::write_file(pem, pki::to_pem(pki_.root.cert()) + pki::to_pem(pki_.inter.cert()));
  CA_FILE = pem.data();
  EXPECT_EQ(AddCACertsToStore(nullptr, store.get()), 0);
  CA_FILE = saved;
  EXPECT_EQ(sk_X509_OBJECT_num(X509_STORE_get0_objects(store.get())), 2);
}

TEST_F(EnhanceParts, CertValuesHoldTheChainsAndReferencesAllButTheSigner) {
  orvel::Pkcs7Ptr p7 = sign(pki_.leaf, "document");
  PKCS7_SIGNER_INFO* si = first_signer(p7.get());
  orvel::X509StorePtr store = store_of({pki_.root.cert(), pki_.inter.cert()});
  orvel::X509StackPtr given = stack_of({pki_.tsa.cert.get(), pki_.leaf.cert.get()});
  STACK_OF(X509)* col = nullptr;
  ASSERT_EQ(add_certValues_attribute(si, EVP_sha256(), given.get(), store.get(), &col), 1);
  orvel::X509StackPtr collected(col);
  // tsa, root, then leaf, inter (root already there).
  ASSERT_EQ(sk_X509_num(collected.get()), 4);
  EXPECT_EQ(X509_cmp(sk_X509_value(collected.get(), 0), pki_.tsa.cert.get()), 0);
  EXPECT_EQ(X509_cmp(sk_X509_value(collected.get(), 1), pki_.root.cert()), 0);
  EXPECT_EQ(X509_cmp(sk_X509_value(collected.get(), 2), pki_.leaf.cert.get()), 0);
  EXPECT_EQ(X509_cmp(sk_X509_value(collected.get(), 3), pki_.inter.cert()), 0);

  const ASN1_STRING* refs = enhance_sequence_value(
      get_raw_attribute(si->unauth_attr, cades::kNidCertificateRefs));
  orvel::OtherCertIdStackPtr ids(ssf_d2i_other_cert_ids(refs));
  ASSERT_TRUE(ids);
  EXPECT_EQ(sk_OTHERCERTID_num(ids.get()), 3);  // not the signer's
  EXPECT_EQ(check_rev_and_cert_refs_and_vals(si), 0);

  STACK_OF(X509)* l = nullptr;
  X509_STORE* s = nullptr;
  X509* signer = nullptr;
  ASSERT_EQ(LoadCertificates(&l, &s, &signer, si), 1);
  orvel::X509StackPtr loaded(l);
  orvel::X509StorePtr loaded_store(s);
  orvel::X509Ptr signer_owner(signer);
  EXPECT_EQ(sk_X509_num(loaded.get()), 4);
  ASSERT_NE(signer, nullptr);
  EXPECT_EQ(X509_cmp(signer, pki_.leaf.cert.get()), 0);

  // A reference whose certificate is missing from the values.
  set_attr(si, cades::kNidCertValues, certificates_der({pki_.leaf.cert.get(), pki_.root.cert()}));
  EXPECT_EQ(check_rev_and_cert_refs_and_vals(si), 119);
  EXPECT_TRUE(lib_.logged("check_rev_and_cert_refs_and_vals() 9 : certificate not found for certid #"));

  // A certificate whose chain does not verify in the store.
  orvel::X509StorePtr bare = store_of({pki_.root.cert()});
  EXPECT_EQ(add_certValues_attribute(si, EVP_sha256(), given.get(), bare.get(), &col), -1);
  EXPECT_TRUE(lib_.logged("add_certValues_attribute() 5 : X509_verify_cert() failed for '"));
}

TEST_F(EnhanceParts, LoadCertificatesWantsDecodableCertValues) {
  orvel::Pkcs7Ptr p7 = sign(pki_.leaf, "document");
  PKCS7_SIGNER_INFO* si = first_signer(p7.get());
  STACK_OF(X509)* l = nullptr;
  X509_STORE* s = nullptr;
  X509* signer = nullptr;
  EXPECT_EQ(LoadCertificates(&l, &s, &signer, si), 116);
  EXPECT_TRUE(lib_.logged("LoadCertificates() 1 : attribute 'id_smime_aa_ets_certValues' not found"));
  set_attr(si, cades::kNidCertValues, Bytes{0x30, 0x03, 0x02, 0x01, 0x01});
  EXPECT_EQ(LoadCertificates(&l, &s, &signer, si), 116);
  // Values without the signer: loaded, signer null.
  set_attr(si, cades::kNidCertValues, certificates_der({pki_.root.cert()}));
  ASSERT_EQ(LoadCertificates(&l, &s, &signer, si), 1);
  orvel::X509StackPtr loaded(l);
  orvel::X509StorePtr store(s);
  EXPECT_EQ(signer, nullptr);
}

}  // namespace
}  // namespace enhance_test
