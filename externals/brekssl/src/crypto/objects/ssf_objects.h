// The objects the system adds to the toolkit, resolved to this process's
// object numbers (NIDs).
//
// Every row below is found at start-up by ssf_register_objects():
// - a row whose identifier the toolkit already knows uses the toolkit's NID
//   (its names, where they differ from the toolkit's, are added as aliases of
//   that NID);
// - a row whose short name the toolkit already has as a name-only object
//   reuses that NID (missing long name and identifier become look-up aliases
//   of it; the toolkit's own object for the NID stays name-only);
// - a row whose identifier the toolkit has given to a different published
//   object (kOidTaken: the Magma and Kuznyechik ECB/CBC rows) is registered
//   by name only: the identifier keeps its published meaning;
// - every other row is created, with its identifier where it has one.
// The numbers therefore differ from one toolkit build to the next: code uses
// the accessors, never a number.
//
// Naming: one accessor per row, ssf_nid_<short name>() with '-' written as
// '_' (e.g. ssf_nid_gost2012_256(), ssf_nid_id_tc26_gost_28147_param_Z()).
// An accessor registers the rows on first use when start-up has not done so
// yet, and returns NID_undef (0) only when registration failed.
#ifndef ORVEL_SSF_OBJECTS_H
#define ORVEL_SSF_OBJECTS_H

#include <cstddef>

// Flags of a row.
inline constexpr unsigned kSsfObjNone = 0;
// The toolkit gives the row's identifier to another object: name only.
inline constexpr unsigned kSsfObjOidTaken = 1;

// X(accessor suffix, short name, long name, dotted identifier or nullptr, flags)
#define SSF_OBJECT_ROWS(X)                                                                         \
  X(id_tc26, "id-tc26", "id-tc26", "1.2.643.7.1", kSsfObjNone)                                     \
  X(gost89_cnt_12, "gost89-cnt-12", "gost89-cnt-12", nullptr, kSsfObjNone)                         \
  X(gost89_cbc, "gost89-cbc", "gost89-cbc", nullptr, kSsfObjNone)                                  \
  X(gost89_ecb, "gost89-ecb", "gost89-ecb", nullptr, kSsfObjNone)                                  \
  X(gost89_ctr, "gost89-ctr", "gost89-ctr", nullptr, kSsfObjNone)                                  \
  X(gost_mac_12, "gost-mac-12", "gost-mac-12", nullptr, kSsfObjNone)                               \
  X(id_tc26_algorithms, "id-tc26-algorithms", "id-tc26-algorithms", "1.2.643.7.1.1", kSsfObjNone)  \
  X(id_tc26_sign, "id-tc26-sign", "id-tc26-sign", "1.2.643.7.1.1.1", kSsfObjNone)                  \
  X(gost2012_256, "gost2012_256", "GOST R 34.10-2012 with 256 bit modulus", "1.2.643.7.1.1.1.1",   \
    kSsfObjNone)                                                                                   \
  X(gost2012_512, "gost2012_512", "GOST R 34.10-2012 with 512 bit modulus", "1.2.643.7.1.1.1.2",   \
    kSsfObjNone)                                                                                   \
  X(id_tc26_digest, "id-tc26-digest", "id-tc26-digest", "1.2.643.7.1.1.2", kSsfObjNone)            \
  X(md_gost12_256, "md_gost12_256", "GOST R 34.11-2012 with 256 bit hash", "1.2.643.7.1.1.2.2",    \
    kSsfObjNone)                                                                                   \
  X(md_gost12_512, "md_gost12_512", "GOST R 34.11-2012 with 512 bit hash", "1.2.643.7.1.1.2.3",    \
    kSsfObjNone)                                                                                   \
  X(id_tc26_signwithdigest, "id-tc26-signwithdigest", "id-tc26-signwithdigest", "1.2.643.7.1.1.3", \
    kSsfObjNone)                                                                                   \
  X(id_tc26_signwithdigest_gost3410_2012_256, "id-tc26-signwithdigest-gost3410-2012-256",          \
    "GOST R 34.10-2012 with GOST R 34.11-2012 (256 bit)", "1.2.643.7.1.1.3.2", kSsfObjNone)        \
  X(id_tc26_signwithdigest_gost3410_2012_512, "id-tc26-signwithdigest-gost3410-2012-512",          \
    "GOST R 34.10-2012 with GOST R 34.11-2012 (512 bit)", "1.2.643.7.1.1.3.3", kSsfObjNone)        \
  X(id_tc26_mac, "id-tc26-mac", "id-tc26-mac", "1.2.643.7.1.1.4", kSsfObjNone)                     \
  X(id_tc26_hmac_gost_3411_2012_256, "id-tc26-hmac-gost-3411-2012-256",                            \
    "HMAC GOST 34.11-2012 256 bit", "1.2.643.7.1.1.4.1", kSsfObjNone)                              \
  X(id_tc26_hmac_gost_3411_2012_512, "id-tc26-hmac-gost-3411-2012-512",                            \
    "HMAC GOST 34.11-2012 512 bit", "1.2.643.7.1.1.4.2", kSsfObjNone)                              \
  X(id_tc26_cipher, "id-tc26-cipher", "id-tc26-cipher", "1.2.643.7.1.1.5", kSsfObjNone)            \
  X(id_tc26_agreement, "id-tc26-agreement", "id-tc26-agreement", "1.2.643.7.1.1.6", kSsfObjNone)   \
  X(id_tc26_agreement_gost_3410_2012_256, "id-tc26-agreement-gost-3410-2012-256",                  \
    "id-tc26-agreement-gost-3410-2012-256", "1.2.643.7.1.1.6.1", kSsfObjNone)                      \
  X(id_tc26_agreement_gost_3410_2012_512, "id-tc26-agreement-gost-3410-2012-512",                  \
    "id-tc26-agreement-gost-3410-2012-512", "1.2.643.7.1.1.6.2", kSsfObjNone)                      \
  X(id_tc26_constants, "id-tc26-constants", "id-tc26-constants", "1.2.643.7.1.2", kSsfObjNone)     \
  X(id_tc26_sign_constants, "id-tc26-sign-constants", "id-tc26-sign-constants", "1.2.643.7.1.2.1", \
    kSsfObjNone)                                                                                   \
  X(id_tc26_gost_3410_2012_512_constants, "id-tc26-gost-3410-2012-512-constants",                  \
    "id-tc26-gost-3410-2012-512-constants", "1.2.643.7.1.2.1.2", kSsfObjNone)                      \
  X(id_tc26_gost_3410_2012_512_paramSetTest, "id-tc26-gost-3410-2012-512-paramSetTest",            \
    "GOST R 34.10-2012 (512 bit) testing parameter set", "1.2.643.7.1.2.1.2.0", kSsfObjNone)       \
  X(id_tc26_gost_3410_2012_512_paramSetA, "id-tc26-gost-3410-2012-512-paramSetA",                  \
    "GOST R 34.10-2012 (512 bit) ParamSet A", "1.2.643.7.1.2.1.2.1", kSsfObjNone)                  \
  X(id_tc26_gost_3410_2012_512_paramSetB, "id-tc26-gost-3410-2012-512-paramSetB",                  \
    "GOST R 34.10-2012 (512 bit) ParamSet B", "1.2.643.7.1.2.1.2.2", kSsfObjNone)                  \
  X(id_tc26_digest_constants, "id-tc26-digest-constants", "id-tc26-digest-constants",              \
    "1.2.643.7.1.2.2", kSsfObjNone)                                                                \
  X(id_tc26_cipher_constants, "id-tc26-cipher-constants", "id-tc26-cipher-constants",              \
    "1.2.643.7.1.2.5", kSsfObjNone)                                                                \
  X(id_tc26_gost_28147_constants, "id-tc26-gost-28147-constants", "id-tc26-gost-28147-constants",  \
    "1.2.643.7.1.2.5.1", kSsfObjNone)                                                              \
  X(id_tc26_gost_28147_param_Z, "id-tc26-gost-28147-param-Z", "GOST 28147-89 TC26 parameter set",  \
    "1.2.643.7.1.2.5.1.1", kSsfObjNone)                                                            \
  X(INN, "INN", "inn", "1.2.643.3.131.1.1", kSsfObjNone)                                           \
  X(OGRN, "OGRN", "ogrn", "1.2.643.100.1", kSsfObjNone)                                            \
  X(SNILS, "SNILS", "snils", "1.2.643.100.3", kSsfObjNone)                                         \
  X(OGRNIP, "OGRNIP", "ogrnip", "1.2.643.100.5", kSsfObjNone)                                      \
  X(RNS_FSS, "RNS-FSS", "rns-fss", "1.2.643.3.141.1.1", kSsfObjNone)                               \
  X(KP_FSS, "KP-FSS", "kp-fss", "1.2.643.3.141.1.2", kSsfObjNone)                                  \
  X(subjectSignTool, "subjectSignTool", "Subject Sign Tool", "1.2.643.100.111", kSsfObjNone)       \
  X(issuerSignTool, "issuerSignTool", "Issuer Sign Tool", "1.2.643.100.112", kSsfObjNone)          \
  X(KC1ClassSignTool, "KC1ClassSignTool", "KC1 Class Sign Tool", "1.2.643.100.113.1", kSsfObjNone) \
  X(KC2ClassSignTool, "KC2ClassSignTool", "KC2 Class Sign Tool", "1.2.643.100.113.2", kSsfObjNone) \
  X(KC3ClassSignTool, "KC3ClassSignTool", "KC3 Class Sign Tool", "1.2.643.100.113.3", kSsfObjNone) \
  X(KB1ClassSignTool, "KB1ClassSignTool", "KB1 Class Sign Tool", "1.2.643.100.113.4", kSsfObjNone) \
  X(KB2ClassSignTool, "KB2ClassSignTool", "KB2 Class Sign Tool", "1.2.643.100.113.5", kSsfObjNone) \
  X(KA1ClassSignTool, "KA1ClassSignTool", "KA1 Class Sign Tool", "1.2.643.100.113.6", kSsfObjNone) \
  X(magma, "magma", "magma", "1.2.643.7.1.1.5.1", kSsfObjNone)                                     \
  X(magma_ecb, "magma-ecb", "MAGMA ECB", "1.2.643.7.1.1.5.1.1", kSsfObjOidTaken)                   \
  X(magma_cbc, "magma-cbc", "MAGMA CBC", "1.2.643.7.1.1.5.1.2", kSsfObjOidTaken)                   \
  X(magma_ctr, "magma-ctr", "MAGMA CTR", "1.2.643.7.1.1.5.1.3", kSsfObjNone)                       \
  X(magma_ofb, "magma-ofb", "MAGMA OFB", "1.2.643.7.1.1.5.1.4", kSsfObjNone)                       \
  X(magma_cfb, "magma-cfb", "MAGMA CFB", "1.2.643.7.1.1.5.1.5", kSsfObjNone)                       \
  X(magma_mac, "magma-mac", "MAGMA MAC", "1.2.643.7.1.1.5.1.6", kSsfObjNone)                       \
  X(kuznechik, "kuznechik", "kuznechik", "1.2.643.7.1.1.5.2", kSsfObjNone)                         \
  X(kuznechik_ecb, "kuznechik-ecb", "KUZNECHIK ECB", "1.2.643.7.1.1.5.2.1", kSsfObjOidTaken)       \
  X(kuznechik_cbc, "kuznechik-cbc", "KUZNECHIK CBC", "1.2.643.7.1.1.5.2.2", kSsfObjOidTaken)       \
  X(kuznechik_ctr, "kuznechik-ctr", "KUZNECHIK CTR", "1.2.643.7.1.1.5.2.3", kSsfObjNone)           \
  X(kuznechik_ofb, "kuznechik-ofb", "KUZNECHIK OFB", "1.2.643.7.1.1.5.2.4", kSsfObjNone)           \
  X(kuznechik_cfb, "kuznechik-cfb", "KUZNECHIK CFB", "1.2.643.7.1.1.5.2.5", kSsfObjNone)           \
  X(kuznechik_mac, "kuznechik-mac", "KUZNECHIK MAC", "1.2.643.7.1.1.5.2.6", kSsfObjNone)           \
  X(id_Gost28147_89_CryptoPro_Simple_C_ParamSet, "id-Gost28147-89-CryptoPro-Simple-C-ParamSet",    \
    "id-Gost28147-89-CryptoPro-Simple-C-ParamSet", "1.2.643.2.2.31.8", kSsfObjNone)                \
  X(id_Gost28147_89_CryptoPro_Simple_D_ParamSet, "id-Gost28147-89-CryptoPro-Simple-D-ParamSet",    \
    "id-Gost28147-89-CryptoPro-Simple-D-ParamSet", "1.2.643.2.2.31.9", kSsfObjNone)                \
  X(id_tc26_gost_3410_2012_256_constants, "id-tc26-gost-3410-2012-256-constants",                  \
    "id-tc26-gost-3410-2012-256-constants", "1.2.643.7.1.2.1.1", kSsfObjNone)                      \
  X(id_tc26_gost_3410_2012_256_paramSetA, "id-tc26-gost-3410-2012-256-paramSetA",                  \
    "GOST R 34.10-2012 (256 bit) ParamSet A", "1.2.643.7.1.2.1.1.1", kSsfObjNone)                  \
  X(id_tc26_gost_3410_2012_256_paramSetB, "id-tc26-gost-3410-2012-256-paramSetB",                  \
    "GOST R 34.10-2012 (256 bit) ParamSet B", "1.2.643.7.1.2.1.1.2", kSsfObjNone)                  \
  X(id_tc26_gost_3410_2012_256_paramSetC, "id-tc26-gost-3410-2012-256-paramSetC",                  \
    "GOST R 34.10-2012 (256 bit) ParamSet C", "1.2.643.7.1.2.1.1.3", kSsfObjNone)                  \
  X(id_tc26_gost_3410_2012_256_paramSetD, "id-tc26-gost-3410-2012-256-paramSetD",                  \
    "GOST R 34.10-2012 (256 bit) ParamSet D", "1.2.643.7.1.2.1.1.4", kSsfObjNone)                  \
  X(id_tc26_gost_3410_2012_512_paramSetC, "id-tc26-gost-3410-2012-512-paramSetC",                  \
    "GOST R 34.10-2012 (512 bit) ParamSet C", "1.2.643.7.1.2.1.2.3", kSsfObjNone)                  \
  X(gost89_cbcstrict, "gost89-cbcstrict", "gost89-cbcstrict", nullptr, kSsfObjNone)

// Row index, in the order above.
enum class SsfObject : int {
#define SSF_OBJECT_ENUM(id, sn, ln, oid, flags) id,
  SSF_OBJECT_ROWS(SSF_OBJECT_ENUM)
#undef SSF_OBJECT_ENUM
      kCount
};

inline constexpr std::size_t kSsfObjectCount = static_cast<std::size_t>(SsfObject::kCount);

struct SsfObjectRow {
  const char* sn;
  const char* ln;
  const char* oid;  // dotted form; nullptr for name-only rows
  unsigned flags;
};

// The rows, indexed by SsfObject.
const SsfObjectRow& ssf_object_row(SsfObject row);

// Registers the rows, the signature-algorithm pairs, the PBE PRF rows and the
// X.509v3 extension methods that the toolkit lacks. Idempotent: once every
// row is resolved later calls return 1 at once; after a failure a later call
// retries. 1 on success, 0 with the toolkit's error queue set.
int ssf_register_objects();

// This process's NID of a row (registers on first use); NID_undef when the
// row could not be registered.
int ssf_object_nid(SsfObject row);

#define SSF_OBJECT_ACCESSOR(id, sn, ln, oid, flags) \
  inline int ssf_nid_##id() { return ssf_object_nid(SsfObject::id); }
SSF_OBJECT_ROWS(SSF_OBJECT_ACCESSOR)
#undef SSF_OBJECT_ACCESSOR

#endif
