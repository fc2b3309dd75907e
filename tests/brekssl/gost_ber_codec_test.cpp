// The BER codec: length forms, the primitive members, the PKCS#8
// containers and hostile input; the key-transport ASN.1 types; the VKO
// worker's refusals.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "engines/gost/gost_ber_codec.h"
#include "engines/gost/gost_ber_pkcs8.h"
#include "engines/gost/gost_kt_asn1.h"
#include "engines/gost/gost_kt_wrap.h"
#include "engines/gost/gost_pkey_nids.h"
#include "gost3410.h"
#include "gost_keys_test_util.h"
#include "gost_kt_test_util.h"
#include "test_util.h"

using namespace gost_kt_test;

namespace {

// An encoder's output, freed with free.
struct Out {
  unsigned char* p = nullptr;
  uint32_t n = 0;
  ~Out() { free(p); }
  Bytes bytes() const { return Bytes(p, p + n); }
};

std::string hex(const Bytes& b) { return orvel_test::to_hex(b.data(), b.size()); }

TEST(GostBerCodec, LengthForms) {
  const struct {
    uint32_t len;
    const char* header;
  } rows[] = {{127, "047f"}, {128, "048180"}, {255, "0481ff"}, {256, "04820100"},
              {65535, "0482ffff"}, {65536, "0483010000"}};
  for (const auto& r : rows) {
    Bytes content(r.len, 0x5A);
    Out o;
    ASSERT_EQ(ber_encode_OCTET_STRING(kBerEncode, &o.p, &o.n, content.data(), r.len), 1);
    std::string h = r.header;
    EXPECT_EQ(hex(Bytes(o.p, o.p + h.size() / 2)), h);
    EXPECT_EQ(o.n, h.size() / 2 + r.len);
    uint32_t total = 0;
    ASSERT_EQ(ber_encode_OCTET_STRING(kBerLength, nullptr, &total, content.data(), r.len), 1);
    EXPECT_EQ(total, o.n);
    const unsigned char* c = nullptr;
    uint32_t clen = 0, tlen = 0;
    ASSERT_EQ(ber_decode_OCTET_STRING(o.p, o.n, &c, &clen, &tlen), 1);
    EXPECT_EQ(clen, r.len);
    EXPECT_EQ(tlen, o.n);
    EXPECT_EQ(c, o.p + h.size() / 2);
    // One byte short: the element leaves the input.
    EXPECT_EQ(ber_decode_OCTET_STRING(o.p, o.n - 1, &c, &clen, &tlen), 0);
  }
  gost_keys_test::StderrCapture cap;
  uint32_t total = 0;
  EXPECT_EQ(len_of_len(kBerMaxLength), 4u);
  EXPECT_EQ(len_of_len(kBerMaxLength + 1), 0u);
  EXPECT_EQ(ber_encode_SEQUENCE(kBerLength, nullptr, &total, nullptr, kBerMaxLength + 1), 0);
  EXPECT_NE(cap.text().find("Too large data length: 16777216"), std::string::npos);
}

TEST(GostBerCodec, BitStringAndInteger) {
  Bytes content(127, 0x33);
  Out o;
  ASSERT_EQ(ber_encode_BIT_STRING(kBerEncode, &o.p, &o.n, 0, content.data(), 127), 1);
  EXPECT_EQ(hex(Bytes(o.p, o.p + 4)), "03818000");
  EXPECT_EQ(o.n, 131u);
  const unsigned char* c = nullptr;
  uint32_t clen = 0, tlen = 0;
  ASSERT_EQ(ber_decode_BIT_STRING(o.p, o.n, &c, &clen, &tlen), 1);
  EXPECT_EQ(clen, 127u);
  EXPECT_EQ(c, o.p + 4);
  // No unused-bits byte.
  const unsigned char empty_bits[] = {0x03, 0x00};
  EXPECT_EQ(ber_decode_BIT_STRING(empty_bits, 2, &c, &clen, &tlen), 0);

  const unsigned char zero = 0x00, two[] = {0x00, 0xFF};
  Out i1, i2;
  ASSERT_EQ(ber_encode_INTEGER(kBerEncode, &i1.p, &i1.n, &zero, 1), 1);
  ASSERT_EQ(ber_encode_INTEGER(kBerEncode, &i2.p, &i2.n, two, 2), 1);
  EXPECT_EQ(hex(i1.bytes()), "020100");
  EXPECT_EQ(hex(i2.bytes()), "020200ff");
}

TEST(GostBerCodec, PrimitiveDecodersRefuseHostileHeaders) {
  const Bytes cases[] = {
      {},                             // nothing
      {0x04},                         // no length
      {0x30, 0x00},                   // other tag
      {0x04, 0x80, 0x00, 0x00},       // indefinite form
      {0x04, 0x84, 0, 0, 0, 1, 0xAA}, // four length bytes
      {0x04, 0x82, 0x01},             // length field cut short
      {0x04, 0x83, 0xFF, 0xFF, 0xFF}, // length beyond the input
      {0x04, 0x05, 1, 2, 3},          // content beyond the input
  };
  for (const Bytes& b : cases) {
    const unsigned char* c = nullptr;
    uint32_t clen = 0, tlen = 0;
    EXPECT_EQ(ber_decode_OCTET_STRING(b.empty() ? nullptr : b.data(),
                                      static_cast<uint32_t>(b.size()), &c, &clen, &tlen),
              0)
        << hex(b);
  }
  // A long form with one length byte is read.
  const Bytes ok = {0x04, 0x81, 0x02, 0xAB, 0xCD};
  const unsigned char* c = nullptr;
  uint32_t clen = 0, tlen = 0;
  ASSERT_EQ(ber_decode_OCTET_STRING(ok.data(), 5, &c, &clen, &tlen), 1);
  EXPECT_EQ(clen, 2u);
  EXPECT_EQ(tlen, 5u);
}

const Bytes kAlg = oid_der("1.2.643.7.1.1.1.1");
const Bytes kParam = oid_der("1.2.643.2.2.35.1");
const Bytes kDigest = oid_der("1.2.643.7.1.1.2.2");

Bytes private_key_info(const Bytes* digest, const Bytes& key) {
  Out o;
  EXPECT_EQ(ber_encode_GOST3410PrivateKey(kBerEncode, &o.p, &o.n, kAlg.data(),
                                          static_cast<uint32_t>(kAlg.size()), kParam.data(),
                                          static_cast<uint32_t>(kParam.size()),
                                          digest ? digest->data() : nullptr,
                                          digest ? static_cast<uint32_t>(digest->size()) : 0,
                                          key.data(), static_cast<uint32_t>(key.size())),
            1);
  uint32_t total = 0;
  EXPECT_EQ(ber_encode_GOST3410PrivateKey(kBerLength, nullptr, &total, kAlg.data(),
                                          static_cast<uint32_t>(kAlg.size()), kParam.data(),
                                          static_cast<uint32_t>(kParam.size()),
                                          digest ? digest->data() : nullptr,
                                          digest ? static_cast<uint32_t>(digest->size()) : 0,
                                          key.data(), static_cast<uint32_t>(key.size())),
            1);
  EXPECT_EQ(total, o.n);
  return o.bytes();
}

struct DecodedKey {
  int rc;
  Bytes alg, param, digest, key;
};

DecodedKey decode_key(const Bytes& der) {
  DecodedKey d{};
  const unsigned char *a = nullptr, *p = nullptr, *g = nullptr;
  uint32_t al = 0, pl = 0, gl = 0, kl = 0;
  unsigned char key[ORVEL_GOST_PRIVATE_KEY_MAX];
  d.rc = ber_decode_GOST3410PrivateKey(der.empty() ? nullptr : der.data(),
                                       static_cast<uint32_t>(der.size()), &a, &al, &p, &pl, &g,
                                       &gl, key, &kl);
  if (d.rc == 1) {
    d.alg.assign(a, a + al);
    d.param.assign(p, p + pl);
    d.digest.assign(g, g + gl);
    d.key.assign(key, key + kl);
  }
  return d;
}

TEST(GostBerPkcs8, PrivateKeyInfo) {
  std::mt19937 rng(5208);
  Bytes key = random_bytes(rng, 32);
  // Without a digest OID NULL stands in its place, and comes back as it.
  Bytes der = private_key_info(nullptr, key);
  EXPECT_EQ(hex(der), "3040020100301706082a85030701010101300b" + hex(kParam) + "0500" + "0422" +
                          "0420" + hex(key));
  DecodedKey d = decode_key(der);
  ASSERT_EQ(d.rc, 1);
  EXPECT_EQ(d.alg, kAlg);
  EXPECT_EQ(d.param, kParam);
  EXPECT_EQ(hex(d.digest), "0500");
  EXPECT_EQ(d.key, key);
  // With a digest OID, and a 64-byte key.
  Bytes big = random_bytes(rng, 64);
  d = decode_key(private_key_info(&kDigest, big));
  ASSERT_EQ(d.rc, 1);
  EXPECT_EQ(d.digest, kDigest);
  EXPECT_EQ(d.key, big);
  // Length only, without a key buffer.
  uint32_t kl = 0;
  const unsigned char *a = nullptr, *p = nullptr, *g = nullptr;
  uint32_t al = 0, pl = 0, gl = 0;
  ASSERT_EQ(ber_decode_GOST3410PrivateKey(der.data(), static_cast<uint32_t>(der.size()), &a, &al,
                                          &p, &pl, &g, &gl, nullptr, &kl),
            1);
  EXPECT_EQ(kl, 32u);
  // Every truncation is refused.
  for (size_t n = 0; n < der.size(); n++)
    EXPECT_EQ(decode_key(Bytes(der.begin(), der.begin() + static_cast<long>(n))).rc, 0) << n;
}

// A PrivateKeyInfo around a given key element.
Bytes with_key_element(const Bytes& element) {
  return tlv(0x30, cat({{0x02, 0x01, 0x00},
                        tlv(0x30, cat({kAlg, tlv(0x30, cat({kParam, kDigest}))})),
                        tlv(0x04, element)}));
}

TEST(GostBerPkcs8, IntegerKeyElements) {
  std::mt19937 rng(7);
  Bytes v = random_bytes(rng, 32);
  v[0] |= 0x80;
  // 33 content bytes with a leading zero: the other 32 reversed.
  DecodedKey d = decode_key(with_key_element(tlv(0x02, cat({{0x00}, v}))));
  ASSERT_EQ(d.rc, 1);
  EXPECT_EQ(d.key, Bytes(v.rbegin(), v.rend()));
  // A short INTEGER fills the low bytes of a 32-byte key.
  d = decode_key(with_key_element(tlv(0x02, {0x01, 0x02})));
  ASSERT_EQ(d.rc, 1);
  Bytes small(32, 0);
  small[0] = 0x02;
  small[1] = 0x01;
  EXPECT_EQ(d.key, small);
  // 64 content bytes: a 64-byte key.
  Bytes w = random_bytes(rng, 64);
  w[0] |= 0x80;
  d = decode_key(with_key_element(tlv(0x02, w)));
  ASSERT_EQ(d.rc, 1);
  EXPECT_EQ(d.key, Bytes(w.rbegin(), w.rend()));
  // Values that fit no key length, an empty INTEGER, an oversized OCTET
  // STRING and an element leaving its OCTET STRING are refused.
  gost_keys_test::StderrCapture cap;
  EXPECT_EQ(decode_key(with_key_element(tlv(0x02, cat({{0x01}, v})))).rc, 0);
  EXPECT_EQ(decode_key(with_key_element(tlv(0x02, cat({{0x01}, w})))).rc, 0);
  EXPECT_EQ(decode_key(with_key_element(tlv(0x02, random_bytes(rng, 80)))).rc, 0);
  EXPECT_EQ(decode_key(with_key_element({0x02, 0x00})).rc, 0);
  EXPECT_EQ(decode_key(with_key_element(tlv(0x04, random_bytes(rng, 65)))).rc, 0);
  EXPECT_EQ(decode_key(with_key_element({0x04, 0x20, 0x01})).rc, 0);
  // A key element in a long length form is read by its real length.
  Bytes k64 = random_bytes(rng, 64);
  d = decode_key(with_key_element(cat({{0x04, 0x81, 0x40}, k64})));
  ASSERT_EQ(d.rc, 1);
  EXPECT_EQ(d.key, k64);
}

struct Bag {
  Bytes salt, iter, prf_oid, prf_params, cipher_oid, paramset, iv, enc;
};

Bytes encode_bag(const Bag& b) {
  Out o;
  auto n = [](const Bytes& x) { return static_cast<uint32_t>(x.size()); };
  EXPECT_EQ(ber_encode_PKCS8_PrivateKeyBag(
                kBerEncode, &o.p, &o.n, b.salt.data(), n(b.salt), b.iter.data(), n(b.iter),
                b.prf_oid.data(), n(b.prf_oid), b.prf_params.data(), n(b.prf_params),
                b.cipher_oid.data(), n(b.cipher_oid), b.iv.data(), n(b.iv), b.paramset.data(),
                n(b.paramset), b.enc.data(), n(b.enc)),
            1);
  return o.bytes();
}

int decode_bag(const Bytes& der, Bag* b) {
  const unsigned char* p[8] = {};
  uint32_t n[8] = {};
  int rc = ber_decode_PKCS8_PrivateKeyBag(der.empty() ? nullptr : der.data(),
                                          static_cast<uint32_t>(der.size()), &p[0], &n[0], &p[1],
                                          &n[1], &p[2], &n[2], &p[3], &n[3], &p[4], &n[4], &p[5],
                                          &n[5], &p[6], &n[6], &p[7], &n[7]);
  if (rc == 1) {
    Bytes* fields[] = {&b->salt,       &b->iter,     &b->prf_oid, &b->prf_params,
                       &b->cipher_oid, &b->paramset, &b->iv,      &b->enc};
    for (int i = 0; i < 8; i++) fields[i]->assign(p[i], p[i] + n[i]);
  } else {
    for (int i = 0; i < 8; i++) EXPECT_TRUE(p[i] == nullptr && n[i] == 0);
  }
  return rc;
}

Bag sample_bag() {
  std::mt19937 rng(8018);
  return {random_bytes(rng, 32),
          {0x07, 0xD0},
          oid_der("1.2.643.7.1.1.4.2"),
          {0x05, 0x00},
          oid_der("1.2.643.2.2.21"),
          oid_der("1.2.643.7.1.2.5.1.1"),
          random_bytes(rng, 8),
          random_bytes(rng, 200)};
}

TEST(GostBerPkcs8, EncryptedPrivateKeyInfoRoundTrip) {
  Bag in = sample_bag();
  Bytes der = encode_bag(in);
  // The toolkit reads the result as an EncryptedPrivateKeyInfo with PBES2.
  const unsigned char* p = der.data();
  std::unique_ptr<X509_SIG, orvel::Free<X509_SIG, X509_SIG_free>> sig(
      d2i_X509_SIG(nullptr, &p, static_cast<long>(der.size())));
  ASSERT_TRUE(sig);
  const X509_ALGOR* alg = nullptr;
  X509_SIG_get0(sig.get(), &alg, nullptr);
  EXPECT_EQ(OBJ_obj2nid(alg->algorithm), NID_pbes2);
  Bag out;
  ASSERT_EQ(decode_bag(der, &out), 1);
  EXPECT_EQ(out.salt, in.salt);
  EXPECT_EQ(out.iter, in.iter);
  EXPECT_EQ(out.prf_oid, in.prf_oid);
  EXPECT_EQ(out.prf_params, in.prf_params);
  EXPECT_EQ(out.cipher_oid, in.cipher_oid);
  EXPECT_EQ(out.paramset, in.paramset);
  EXPECT_EQ(out.iv, in.iv);
  EXPECT_EQ(out.enc, in.enc);
  // PRF parameters that are an OID are taken too.
  Bag oid_params = in;
  oid_params.prf_params = oid_der("1.2.643.7.1.1.2.3");
  ASSERT_EQ(decode_bag(encode_bag(oid_params), &out), 1);
  EXPECT_EQ(out.prf_params, oid_params.prf_params);
  for (size_t n = 0; n < der.size(); n++)
    EXPECT_EQ(decode_bag(Bytes(der.begin(), der.begin() + static_cast<long>(n)), &out), 0);
}

TEST(GostBerPkcs8, EncryptedPrivateKeyInfoHostile) {
  Bag in = sample_bag();
  Bytes der = encode_bag(in);
  Bag out;
  // Any OID in the places of id-PBES2 and id-PBKDF2.
  Bytes pbes2 = oid_der("1.2.840.113549.1.5.13"), pbkdf2 = oid_der("1.2.840.113549.1.5.12");
  Bytes other = oid_der("1.2.840.113549.1.5.99");
  Bytes swapped = der;
  auto at = std::search(swapped.begin(), swapped.end(), pbes2.begin(), pbes2.end());
  std::copy(other.begin(), other.end(), at);
  at = std::search(swapped.begin(), swapped.end(), pbkdf2.begin(), pbkdf2.end());
  std::copy(other.begin(), other.end(), at);
  EXPECT_EQ(decode_bag(swapped, &out), 1);

  // A keyLength between the iteration count and the prf.
  Bytes kdf_params = tlv(0x30, cat({tlv(0x04, in.salt), tlv(0x02, in.iter), {0x02, 0x01, 0x20},
                                    tlv(0x30, cat({in.prf_oid, in.prf_params}))}));
  Bytes scheme = tlv(0x30, cat({in.cipher_oid, tlv(0x30, cat({tlv(0x04, in.iv), in.paramset}))}));
  auto build = [&](const Bytes& kdfp, const Bytes& prf_params) {
    Bytes kp = kdfp.empty() ? tlv(0x30, cat({tlv(0x04, in.salt), tlv(0x02, in.iter),
                                             tlv(0x30, cat({in.prf_oid, prf_params}))}))
                            : kdfp;
    Bytes alg = tlv(0x30, cat({pbes2, tlv(0x30, cat({tlv(0x30, cat({pbkdf2, kp})), scheme}))}));
    return tlv(0x30, cat({alg, tlv(0x04, in.enc)}));
  };
  EXPECT_EQ(build({}, in.prf_params), der);
  {
    gost_keys_test::StderrCapture cap;
    EXPECT_EQ(decode_bag(build(kdf_params, {}), &out), 0);
    EXPECT_NE(cap.text().find("Decode SEQUENCE Failed"), std::string::npos);
  }
  {
    gost_keys_test::StderrCapture cap;
    EXPECT_EQ(decode_bag(build({}, {0x01, 0x01, 0xFF}), &out), 0);
    EXPECT_NE(cap.text().find("Decode OID GOSTR3411 Params Failed"), std::string::npos);
  }
  EXPECT_EQ(decode_bag({}, &out), 0);
}

TEST(GostKtAsn1, TransportTypesAndClientKeyExchange) {
  ASSERT_TRUE(gost_keys_test::setup());
  orvel::EvpPkeyPtr key = gost_keys_test::read_private_pem(orvel_test::data_dir() +
                                                           "/gost_keys/gost12-256_CryptoPro-A.key");
  ASSERT_TRUE(key);
  Bytes der = kt_encrypt(key.get(), Bytes(32, 7));
  ASSERT_FALSE(der.empty());
  // The codec's writing is DER: the toolkit's templates re-encode it
  // unchanged.
  const unsigned char* p = der.data();
  std::unique_ptr<VKC_KEY_TRANSPORT, orvel::Free<VKC_KEY_TRANSPORT, VKC_KEY_TRANSPORT_free>> kt(
      d2i_VKC_KEY_TRANSPORT(nullptr, &p, static_cast<long>(der.size())));
  ASSERT_TRUE(kt);
  EXPECT_EQ(p, der.data() + der.size());
  unsigned char* re = nullptr;
  int re_len = i2d_VKC_KEY_TRANSPORT(kt.get(), &re);
  ASSERT_GT(re_len, 0);
  EXPECT_EQ(Bytes(re, re + re_len), der);
  OPENSSL_free(re);
  // The codec reads it back into its parts.
  BerKeyTransport parts{};
  ASSERT_EQ(ber_decode_GostR3410_KeyTransport(der.data(), static_cast<uint32_t>(der.size()), &parts),
            1);
  EXPECT_EQ(parts.enc_key_len, 32u);
  EXPECT_EQ(parts.mac_len, 4u);
  EXPECT_EQ(parts.pub_len, 64u);
  EXPECT_EQ(parts.ukm_len, 8u);
  EXPECT_EQ(Bytes(parts.alg_oid, parts.alg_oid + parts.alg_oid_len), kAlg);
  EXPECT_EQ(Bytes(parts.digest_oid, parts.digest_oid + parts.digest_oid_len), kDigest);
  // The client key exchange: a SEQUENCE around the transport.
  std::unique_ptr<VKC_CLIENT_KEY_EXCHANGE_PARAMS,
                  orvel::Free<VKC_CLIENT_KEY_EXCHANGE_PARAMS, VKC_CLIENT_KEY_EXCHANGE_PARAMS_free>>
      cke(VKC_CLIENT_KEY_EXCHANGE_PARAMS_new());
  ASSERT_TRUE(cke);
  VKC_KEY_TRANSPORT_free(cke->gkt);
  cke->gkt = kt.release();
  unsigned char* out = nullptr;
  int len = i2d_VKC_CLIENT_KEY_EXCHANGE_PARAMS(cke.get(), &out);
  ASSERT_GT(len, 0);
  EXPECT_EQ(Bytes(out, out + len), tlv(0x30, der));
  OPENSSL_free(out);
  EXPECT_NE(VKC_CLIENT_KEY_EXCHANGE_PARAMS_it(), nullptr);
}

TEST(GostKtWorkers, DeriveRefusals) {
  ASSERT_TRUE(gost_keys_test::setup());
  orvel::EvpPkeyPtr key = gost_keys_test::read_private_pem(orvel_test::data_dir() +
                                                           "/gost_keys/gost12-256_CryptoPro-A.key");
  ASSERT_TRUE(key);
  Bytes priv = priv_of(key.get()), pub = pub_of(key.get());
  Bytes ukm = {1, 2, 3, 4, 5, 6, 7, 8};
  int nid = gost_nid_key_2012_256();
  Bytes out(32);
  uint32_t len = 0;
  auto derive = [&](const Bytes& pv, const Bytes& oid, const Bytes& peer, const Bytes& u) {
    return vkc_dh_gost3410_derive(out.data(), &len, nid, pv.data(),
                                  static_cast<uint32_t>(pv.size()), oid.data(),
                                  static_cast<uint32_t>(oid.size()), peer.data(),
                                  static_cast<uint32_t>(peer.size()), u.data(),
                                  static_cast<uint32_t>(u.size()));
  };
  ASSERT_EQ(derive(priv, kParam, pub, ukm), 1);
  Bytes good = out;
  gost_keys_test::StderrCapture cap;
  // A point off the curve: the core's check stands.
  Bytes off = pub;
  off[63] ^= 0x01;
  EXPECT_EQ(derive(priv, kParam, off, ukm), 0);
  EXPECT_EQ(derive(priv, kParam, Bytes(64, 0), ukm), 0);
  EXPECT_EQ(derive(Bytes(48, 1), kParam, pub, ukm), 0);
  EXPECT_EQ(derive(priv, kParam, pub, Bytes(8, 0)), 0);
  EXPECT_EQ(derive(priv, kParam, pub, Bytes(16, 1)), 0);
  EXPECT_EQ(derive(priv, kParam, Bytes(128, 1), ukm), 0);
  std::string log = cap.text();
  EXPECT_NE(log.find("vkc_dh_gost3410_derive: Invalid private key length 48"), std::string::npos);
  EXPECT_NE(log.find("vkc_dh_gost3410_derive: wrong UKM"), std::string::npos);
  EXPECT_NE(log.find("vkc_dh_gost3410_derive: wrong public key"), std::string::npos);
  // A parameter set the core does not know: the default 256-bit curve.
  const GOSTR3410_2012_256_PAR* def = GOSTR3410_2012_256_GetDefaultPar();
  ASSERT_NE(def, nullptr);
  Bytes def_oid(def->oid, def->oid + def->oid_len);
  Bytes a(32), b(32);
  if (derive(priv, def_oid, pub, ukm) == 1) a = out;
  ASSERT_EQ(derive(priv, oid_der("1.2.3.4"), pub, ukm), 1);
  b = out;
  EXPECT_EQ(a, b);
}

}  // namespace

namespace {

// Random damage of valid encodings: the decoders answer every variant
// without reading outside it (the sanitizer build watches), and whatever
// they report lies inside the input.
TEST(GostBerCodec, MutatedInputStaysInBounds) {
  ASSERT_TRUE(gost_keys_test::setup());
  orvel::EvpPkeyPtr key = gost_keys_test::read_private_pem(fixture_path("gost12-512_TC26-512-A.key"));
  ASSERT_TRUE(key);
  const Bytes seeds[] = {kt_encrypt(key.get(), Bytes(32, 9)), encode_bag(sample_bag()),
                         private_key_info(&kDigest, Bytes(64, 3))};
  std::mt19937 rng(1337);
  gost_keys_test::StderrCapture quiet;
  for (const Bytes& seed : seeds) {
    ASSERT_FALSE(seed.empty());
    for (int round = 0; round < 1500; round++) {
      Bytes m = seed;
      for (int k = 1 + static_cast<int>(rng() % 3); k > 0; k--)
        m[rng() % m.size()] = static_cast<uint8_t>(rng());
      if (rng() % 4 == 0) m.resize(rng() % m.size() + 1);
      // Exact-size copies, so that any read past the end is caught.
      std::unique_ptr<unsigned char[]> buf(new unsigned char[m.size()]);
      std::copy(m.begin(), m.end(), buf.get());
      const unsigned char* lo = buf.get();
      const unsigned char* hi = lo + m.size();
      auto inside = [&](const unsigned char* p, uint32_t n) {
        return p == nullptr || (p >= lo && p + n <= hi);
      };
      BerKeyTransport kt{};
      if (ber_decode_GostR3410_KeyTransport(lo, static_cast<uint32_t>(m.size()), &kt) == 1) {
        EXPECT_TRUE(inside(kt.enc_key, kt.enc_key_len) && inside(kt.mac, kt.mac_len) &&
                    inside(kt.wrap_oid, kt.wrap_oid_len) && inside(kt.pub, kt.pub_len) &&
                    inside(kt.ukm, kt.ukm_len));
      }
      Bag bag;
      decode_bag(m, &bag);
      decode_key(m);
      Bytes cek;
      if (kt_decrypt(key.get(), m, &cek) == 1) {
        EXPECT_EQ(cek, Bytes(32, 9));
      }
    }
  }
}

}  // namespace
