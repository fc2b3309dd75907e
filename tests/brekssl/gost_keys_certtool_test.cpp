// Interoperability with GnuTLS: keys and certificates that certtool makes
// load through the toolkit and verify; certificates, keys and PKCS#7
// signatures made here are accepted by certtool, and certtool's PKCS#7
// signatures verify here.
#include <gtest/gtest.h>
#include <openssl/pem.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>

#include <cstring>
#include <string>
#include <vector>

#include "engines/gost/gost_keypair.h"
#include "engines/gost/gost_pkey_nids.h"
#include "gost_keys_test_util.h"
#include "test_util.h"

using namespace gost_keys_test;
using orvel_test::run_command;
using orvel_test::TempDir;

namespace {

const char* const kFixtures[] = {"gost12-256_TC26-256-B", "gost12-256_CryptoPro-A",
                                 "gost12-256_CryptoPro-XchA", "gost12-512_TC26-512-A",
                                 "gost01_CryptoPro-A", "gost01_CryptoPro-A-zero-top"};

std::string fixture(const std::string& name) {
  return orvel_test::data_dir() + "/gost_keys/" + name;
}

class GostKeysCerttool : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(setup()); }
};

std::vector<unsigned char> cert_der(X509* cert) {
  unsigned char* der = nullptr;
  int len = i2d_X509(cert, &der);
  std::vector<unsigned char> out;
  if (len > 0) out.assign(der, der + len);
  OPENSSL_free(der);
  return out;
}

// A self-signed CA certificate for pkey, signed through X509_sign.
orvel::X509Ptr make_certificate(EVP_PKEY* pkey) {
  orvel::X509Ptr cert(X509_new());
  if (!cert) return nullptr;
  X509_set_version(cert.get(), 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), 7);
  X509_NAME* name = X509_get_subject_name(cert.get());
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>("GOST key under test"), -1, -1,
                             0);
  X509_set_issuer_name(cert.get(), name);
  X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
  X509_gmtime_adj(X509_getm_notAfter(cert.get()), 3600L * 24 * 365);
  X509V3_CTX v3;
  X509V3_set_ctx(&v3, cert.get(), cert.get(), nullptr, nullptr, 0);
  X509_EXTENSION* bc = X509V3_EXT_conf_nid(nullptr, &v3, NID_basic_constraints, "critical,CA:TRUE");
  X509_EXTENSION* ku =
      X509V3_EXT_conf_nid(nullptr, &v3, NID_key_usage, "critical,digitalSignature,keyCertSign");
  if (bc == nullptr || ku == nullptr || !X509_add_ext(cert.get(), bc, -1) ||
      !X509_add_ext(cert.get(), ku, -1)) {
    X509_EXTENSION_free(bc);
    X509_EXTENSION_free(ku);
    return nullptr;
  }
  X509_EXTENSION_free(bc);
  X509_EXTENSION_free(ku);
  if (!X509_set_pubkey(cert.get(), pkey) || X509_sign(cert.get(), pkey, key_digest(pkey)) <= 0)
    return nullptr;
  return cert;
}

// GnuTLS counts GOST R 34.11-94 as broken: GOST R 34.10-2001 signatures
// verify only when that is allowed.
std::string certtool_for(int key_nid) {
  return key_nid == gost_nid_key_2001() ? "certtool --verify-allow-broken " : "certtool ";
}

bool write_pem_cert(X509* cert, const std::string& path) {
  orvel::BioPtr bio(BIO_new_file(path.c_str(), "w"));
  return bio && PEM_write_bio_X509(bio.get(), cert) == 1;
}

bool write_pem_key(EVP_PKEY* pkey, const std::string& path) {
  orvel::BioPtr bio(BIO_new_file(path.c_str(), "w"));
  return bio && PEM_write_bio_PrivateKey(bio.get(), pkey, nullptr, nullptr, 0, nullptr, nullptr);
}

TEST_F(GostKeysCerttool, CerttoolKeysAndCertificatesLoadAndVerify) {
  for (const char* name : kFixtures) {
    SCOPED_TRACE(name);
    orvel::EvpPkeyPtr key = read_private_pem(fixture(std::string(name) + ".key"));
    ASSERT_TRUE(key);
    orvel::X509Ptr cert = read_cert_pem(fixture(std::string(name) + ".pem"));
    ASSERT_TRUE(cert);
    EVP_PKEY* pub = X509_get0_pubkey(cert.get());
    ASSERT_NE(pub, nullptr);
    EXPECT_TRUE(gost_is_signing_key_nid(EVP_PKEY_get_base_id(pub)));
    // certtool's own signature over its certificate.
    EXPECT_EQ(X509_verify(cert.get(), pub), 1);
    EXPECT_EQ(X509_check_private_key(cert.get(), key.get()), 1);
    EXPECT_EQ(EVP_PKEY_eq(key.get(), pub), 1);

    // certtool's key file through d2i.
    {
      orvel::BioPtr bio(BIO_new_file(fixture(std::string(name) + ".key").c_str(), "r"));
      char* pem_name = nullptr;
      char* header = nullptr;
      unsigned char* data = nullptr;
      long len = 0;
      ASSERT_EQ(PEM_read_bio(bio.get(), &pem_name, &header, &data, &len), 1);
      const unsigned char* p = data;
      orvel::EvpPkeyPtr from_der(d2i_AutoPrivateKey(nullptr, &p, len));
      OPENSSL_free(pem_name);
      OPENSSL_free(header);
      OPENSSL_clear_free(data, static_cast<size_t>(len));
      ASSERT_TRUE(from_der);
      EXPECT_EQ(EVP_PKEY_eq(from_der.get(), key.get()), 1);
    }

    // The same certificate through DER.
    std::vector<unsigned char> der = cert_der(cert.get());
    const unsigned char* p = der.data();
    orvel::X509Ptr again(d2i_X509(nullptr, &p, static_cast<long>(der.size())));
    ASSERT_TRUE(again);
    EXPECT_EQ(X509_verify(again.get(), X509_get0_pubkey(again.get())), 1);

    // A signature with certtool's key checks with its certificate.
    std::vector<unsigned char> sig = digest_sign(key.get(), "signed with a certtool key");
    ASSERT_FALSE(sig.empty());
    EXPECT_EQ(digest_verify(pub, "signed with a certtool key", sig), 1);
  }
}

TEST_F(GostKeysCerttool, MissingDigestParameterSetReadAsTheKeySizeImplies) {
  // certtool leaves the digest parameter set out for the TC26 256-bit sets.
  orvel::X509Ptr cert = read_cert_pem(fixture("gost12-256_TC26-256-B.pem"));
  ASSERT_TRUE(cert);
  EVP_PKEY* pub = X509_get0_pubkey(cert.get());
  ASSERT_NE(pub, nullptr);
  const VK_GOST2012_KEYPAIR* kp = gost_keypair_of(pub);
  ASSERT_NE(kp, nullptr);
  EXPECT_EQ(kp->param_nid, OBJ_txt2nid("1.2.643.7.1.2.1.1.2"));
  EXPECT_EQ(kp->pub_key_len, 64u);
  // Written again, the parameters carry the digest set of the key size.
  std::vector<unsigned char> spki = spki_der(pub);
  const unsigned char md_oid[] = {0x06, 0x08, 0x2A, 0x85, 0x03, 0x07, 0x01, 0x01, 0x02, 0x02};
  EXPECT_NE(std::search(spki.begin(), spki.end(), md_oid, md_oid + sizeof(md_oid)), spki.end());
  orvel::EvpPkeyPtr key = read_private_pem(fixture("gost12-256_TC26-256-B.key"));
  ASSERT_TRUE(key);
  EXPECT_EQ(EVP_PKEY_eq(key.get(), pub), 1);
}

struct OurKey {
  const char* name;
  int (*nid)();
  const char* paramset;
};

// The curves that GnuTLS knows.
const OurKey kOurKeys[] = {
    {"256_A", gost_nid_key_2012_256, "A"},
    {"256_XA", gost_nid_key_2012_256, "XA"},
    {"256_tc26B", gost_nid_key_2012_256, "id-tc26-gost-3410-2012-256-paramSetB"},
    {"512_A", gost_nid_key_2012_512, "A"},
    {"2001_A", gost_nid_key_2001, "A"},
};

TEST_F(GostKeysCerttool, OurCertificatesVerifyWithCerttool) {
  TempDir dir;
  for (const OurKey& k : kOurKeys) {
    SCOPED_TRACE(k.name);
    orvel::EvpPkeyPtr key = generate(k.nid(), k.paramset);
    ASSERT_TRUE(key);
    orvel::X509Ptr cert = make_certificate(key.get());
    ASSERT_TRUE(cert);
    EXPECT_EQ(X509_verify(cert.get(), key.get()), 1);
    std::string path = dir.file(std::string(k.name) + ".pem");
    ASSERT_TRUE(write_pem_cert(cert.get(), path));
    std::string out;
    EXPECT_EQ(run_command(certtool_for(k.nid()) + "--verify --load-ca-certificate " + path +
                              " --infile " + path,
                          &out),
              0)
        << out;
    EXPECT_NE(out.find("Chain verification output: Verified."), std::string::npos) << out;
  }
}

TEST_F(GostKeysCerttool, CerttoolReadsOurPrivateKeysLegacyAndMasked) {
  TempDir dir;
  for (int format : {0, 1}) {
    for (const OurKey& k : kOurKeys) {
      SCOPED_TRACE(std::string(k.name) + (format ? " masked" : " legacy"));
      orvel::EvpPkeyPtr key = generate(k.nid(), k.paramset);
      ASSERT_TRUE(key);
      set_pk_format(format);
      std::string key_path = dir.file("key.pem");
      ASSERT_TRUE(write_pem_key(key.get(), key_path));
      set_pk_format(0);
      // certtool signs a certificate with our key: its public key must be
      // ours and the signature must verify here.
      std::string tmpl = dir.file("tmpl");
      orvel_test::write_file(tmpl,
                             "cn = \"our key\"\nserial = 3\nexpiration_days = 30\nca\n"
                             "cert_signing_key\n");
      std::string cert_path = dir.file("cert.pem");
      std::string out;
      ASSERT_EQ(run_command("certtool --generate-self-signed --load-privkey " + key_path +
                                " --template " + tmpl + " --outfile " + cert_path,
                            &out),
                0)
          << out;
      orvel::X509Ptr cert = read_cert_pem(cert_path);
      ASSERT_TRUE(cert);
      EXPECT_EQ(EVP_PKEY_eq(X509_get0_pubkey(cert.get()), key.get()), 1);
      EXPECT_EQ(X509_verify(cert.get(), key.get()), 1);
    }
  }
}

TEST_F(GostKeysCerttool, CerttoolKeysFreshlyGeneratedLoadAndSign) {
  TempDir dir;
  const char* const kTypes[][2] = {{"gost12-256", "CryptoPro-XchA"},
                                   {"gost12-256", "TC26-256-B"},
                                   {"gost12-512", "TC26-512-A"},
                                   {"gost01", "CryptoPro-A"}};
  for (const auto& t : kTypes) {
    SCOPED_TRACE(std::string(t[0]) + " " + t[1]);
    std::string key_path = dir.file("fresh.key");
    std::string out;
    ASSERT_EQ(run_command(std::string("certtool --generate-privkey --key-type ") + t[0] +
                              " --curve " + t[1] + " --outfile " + key_path,
                          &out),
              0)
        << out;
    orvel::EvpPkeyPtr key = read_private_pem(key_path);
    ASSERT_TRUE(key);
    orvel::X509Ptr cert = make_certificate(key.get());
    ASSERT_TRUE(cert);
    std::string cert_path = dir.file("fresh.pem");
    ASSERT_TRUE(write_pem_cert(cert.get(), cert_path));
    EXPECT_EQ(
        run_command(certtool_for(EVP_PKEY_get_base_id(key.get())) +
                        "--verify --load-ca-certificate " + cert_path + " --infile " + cert_path,
                    &out),
        0)
        << out;
  }
}

// PKCS#7 in both directions.
class GostKeysPkcs7 : public GostKeysCerttool {
 protected:
  void SetUp() override {
    GostKeysCerttool::SetUp();
    if (EVP_get_digestbyname("md_gost12_256") == nullptr)
      GTEST_SKIP() << "no GOST R 34.11-2012 digest in the toolkit";
  }
};

TEST_F(GostKeysPkcs7, OurSignaturesVerifyWithCerttool) {
  TempDir dir;
  const std::string data = "PKCS#7 content signed with a GOST key\n";
  std::string data_path = dir.file("data");
  orvel_test::write_file(data_path, data);
  for (const OurKey& k : kOurKeys) {
    SCOPED_TRACE(k.name);
    orvel::EvpPkeyPtr key = generate(k.nid(), k.paramset);
    ASSERT_TRUE(key);
    orvel::X509Ptr cert = make_certificate(key.get());
    ASSERT_TRUE(cert);
    orvel::BioPtr in(BIO_new_mem_buf(data.data(), static_cast<int>(data.size())));
    orvel::Pkcs7Ptr p7(PKCS7_sign(cert.get(), key.get(), nullptr, in.get(), PKCS7_BINARY));
    ASSERT_TRUE(p7);
    std::string p7_path = dir.file("sig.p7");
    {
      orvel::BioPtr out(BIO_new_file(p7_path.c_str(), "w"));
      ASSERT_EQ(PEM_write_bio_PKCS7(out.get(), p7.get()), 1);
    }
    std::string cert_path = dir.file("cert.pem");
    ASSERT_TRUE(write_pem_cert(cert.get(), cert_path));
    std::string out;
    EXPECT_EQ(run_command(certtool_for(k.nid()) + "--p7-verify --load-certificate " + cert_path +
                              " --infile " + p7_path,
                          &out),
              0)
        << out;
    EXPECT_NE(out.find("Signature status: ok"), std::string::npos) << out;

    // And with the toolkit itself.
    orvel::X509StorePtr store(X509_STORE_new());
    X509_STORE_add_cert(store.get(), cert.get());
    EXPECT_EQ(PKCS7_verify(p7.get(), nullptr, store.get(), nullptr, nullptr, PKCS7_BINARY), 1);
  }
}

TEST_F(GostKeysPkcs7, CerttoolSignaturesVerifyHere) {
  TempDir dir;
  const std::string data = "content signed by certtool\n";
  std::string data_path = dir.file("data");
  orvel_test::write_file(data_path, data);
  for (const char* name : kFixtures) {
    SCOPED_TRACE(name);
    std::string p7_path = dir.file("sig.p7");
    std::string out;
    ASSERT_EQ(
        run_command("certtool --p7-sign --load-privkey " + fixture(std::string(name) + ".key") +
                        " --load-certificate " + fixture(std::string(name) + ".pem") +
                        " --infile " + data_path + " --outfile " + p7_path,
                    &out),
        0)
        << out;
    orvel::BioPtr bio(BIO_new_file(p7_path.c_str(), "r"));
    orvel::Pkcs7Ptr p7(PEM_read_bio_PKCS7(bio.get(), nullptr, nullptr, nullptr));
    ASSERT_TRUE(p7);
    orvel::X509Ptr cert = read_cert_pem(fixture(std::string(name) + ".pem"));
    ASSERT_TRUE(cert);
    orvel::X509StorePtr store(X509_STORE_new());
    X509_STORE_add_cert(store.get(), cert.get());
    orvel::BioPtr content(BIO_new(BIO_s_mem()));
    EXPECT_EQ(PKCS7_verify(p7.get(), nullptr, store.get(), nullptr, content.get(), PKCS7_BINARY),
              1);
    char* p = nullptr;
    long n = BIO_get_mem_data(content.get(), &p);
    EXPECT_EQ(std::string(p, static_cast<size_t>(n)), data);
  }
}

}  // namespace
