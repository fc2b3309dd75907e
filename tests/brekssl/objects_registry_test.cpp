// The system's object rows on the stock toolkit: every row found by short
// name, long name and (where it has one) identifier; rows the toolkit knows
// keep the toolkit's number; identifiers the toolkit gives to other published
// objects keep their meaning; registration is idempotent and refuses
// conflicts without harm.
#include <gtest/gtest.h>
#include <openssl/err.h>
#include <openssl/objects.h>
#include <openssl/x509v3.h>

#include <map>
#include <set>
#include <string>

#include "objects/engine_loader.h"
#include "objects/object_resolve.h"
#include "objects/ssf_objects.h"
#include "ossl_ptr.h"

namespace {

SsfObject row_at(std::size_t i) { return static_cast<SsfObject>(i); }

int nid_of_oid_text(const char* dotted) {
  orvel::Asn1ObjectPtr obj(OBJ_txt2obj(dotted, 1));
  return obj ? OBJ_obj2nid(obj.get()) : NID_undef;
}

TEST(ObjectsRegistry, EveryRowResolvesByNamesAndIdentifier) {
  ASSERT_EQ(ssf_register_objects(), 1);
  for (std::size_t i = 0; i < kSsfObjectCount; ++i) {
    const SsfObjectRow& row = ssf_object_row(row_at(i));
    SCOPED_TRACE(row.sn);
    int nid = ssf_object_nid(row_at(i));
    ASSERT_NE(nid, NID_undef);
    EXPECT_EQ(OBJ_sn2nid(row.sn), nid);
    EXPECT_EQ(OBJ_ln2nid(row.ln), nid);
    EXPECT_EQ(OBJ_txt2nid(row.sn), nid);
    EXPECT_EQ(OBJ_txt2nid(row.ln), nid);
    ASSERT_NE(OBJ_nid2obj(nid), nullptr);
    if (row.oid != nullptr && (row.flags & kSsfObjOidTaken) == 0) {
      EXPECT_EQ(OBJ_txt2nid(row.oid), nid);
      EXPECT_EQ(nid_of_oid_text(row.oid), nid);
    }
    if (row.oid == nullptr) {
      EXPECT_EQ(OBJ_length(OBJ_nid2obj(nid)), 0u);
    }
  }
}

TEST(ObjectsRegistry, RowsTheToolkitKnowsKeepItsNumbers) {
  // The toolkit's own constants: objects with the row's identifier, or
  // name-only objects with the row's short name.
  const std::map<SsfObject, int> stock = {
      {SsfObject::id_tc26, NID_id_tc26},
      {SsfObject::gost89_cnt_12, NID_gost89_cnt_12},
      {SsfObject::gost89_cbc, NID_gost89_cbc},
      {SsfObject::gost89_ecb, NID_gost89_ecb},
      {SsfObject::gost89_ctr, NID_gost89_ctr},
      {SsfObject::gost_mac_12, NID_gost_mac_12},
      {SsfObject::id_tc26_algorithms, NID_id_tc26_algorithms},
      {SsfObject::id_tc26_sign, NID_id_tc26_sign},
      {SsfObject::gost2012_256, NID_id_GostR3410_2012_256},
      {SsfObject::gost2012_512, NID_id_GostR3410_2012_512},
      {SsfObject::id_tc26_digest, NID_id_tc26_digest},
      {SsfObject::md_gost12_256, NID_id_GostR3411_2012_256},
      {SsfObject::md_gost12_512, NID_id_GostR3411_2012_512},
      {SsfObject::id_tc26_signwithdigest, NID_id_tc26_signwithdigest},
      {SsfObject::id_tc26_signwithdigest_gost3410_2012_256,
       NID_id_tc26_signwithdigest_gost3410_2012_256},
      {SsfObject::id_tc26_signwithdigest_gost3410_2012_512,
       NID_id_tc26_signwithdigest_gost3410_2012_512},
      {SsfObject::id_tc26_mac, NID_id_tc26_mac},
      {SsfObject::id_tc26_hmac_gost_3411_2012_256, NID_id_tc26_hmac_gost_3411_2012_256},
      {SsfObject::id_tc26_hmac_gost_3411_2012_512, NID_id_tc26_hmac_gost_3411_2012_512},
      {SsfObject::id_tc26_cipher, NID_id_tc26_cipher},
      {SsfObject::id_tc26_agreement, NID_id_tc26_agreement},
      {SsfObject::id_tc26_agreement_gost_3410_2012_256, NID_id_tc26_agreement_gost_3410_2012_256},
      {SsfObject::id_tc26_agreement_gost_3410_2012_512, NID_id_tc26_agreement_gost_3410_2012_512},
      {SsfObject::id_tc26_constants, NID_id_tc26_constants},
      {SsfObject::id_tc26_sign_constants, NID_id_tc26_sign_constants},
      {SsfObject::id_tc26_gost_3410_2012_512_constants, NID_id_tc26_gost_3410_2012_512_constants},
      {SsfObject::id_tc26_gost_3410_2012_512_paramSetTest,
       NID_id_tc26_gost_3410_2012_512_paramSetTest},
      {SsfObject::id_tc26_gost_3410_2012_512_paramSetA, NID_id_tc26_gost_3410_2012_512_paramSetA},
      {SsfObject::id_tc26_gost_3410_2012_512_paramSetB, NID_id_tc26_gost_3410_2012_512_paramSetB},
      {SsfObject::id_tc26_digest_constants, NID_id_tc26_digest_constants},
      {SsfObject::id_tc26_cipher_constants, NID_id_tc26_cipher_constants},
      {SsfObject::id_tc26_gost_28147_constants, NID_id_tc26_gost_28147_constants},
      {SsfObject::id_tc26_gost_28147_param_Z, NID_id_tc26_gost_28147_param_Z},
      {SsfObject::INN, NID_INN},
      {SsfObject::OGRN, NID_OGRN},
      {SsfObject::SNILS, NID_SNILS},
      {SsfObject::OGRNIP, NID_OGRNIP},
      {SsfObject::subjectSignTool, NID_subjectSignTool},
      {SsfObject::issuerSignTool, NID_issuerSignTool},
      {SsfObject::KC1ClassSignTool, NID_classSignToolKC1},
      {SsfObject::KC2ClassSignTool, NID_classSignToolKC2},
      {SsfObject::KC3ClassSignTool, NID_classSignToolKC3},
      {SsfObject::KB1ClassSignTool, NID_classSignToolKB1},
      {SsfObject::KB2ClassSignTool, NID_classSignToolKB2},
      {SsfObject::KA1ClassSignTool, NID_classSignToolKA1},
      {SsfObject::magma, NID_id_tc26_cipher_gostr3412_2015_magma},
      {SsfObject::magma_ecb, NID_magma_ecb},
      {SsfObject::magma_cbc, NID_magma_cbc},
      {SsfObject::magma_ctr, NID_magma_ctr},
      {SsfObject::magma_ofb, NID_magma_ofb},
      {SsfObject::magma_cfb, NID_magma_cfb},
      {SsfObject::magma_mac, NID_magma_mac},
      {SsfObject::kuznechik, NID_id_tc26_cipher_gostr3412_2015_kuznyechik},
      {SsfObject::id_tc26_gost_3410_2012_256_constants, NID_id_tc26_gost_3410_2012_256_constants},
      {SsfObject::id_tc26_gost_3410_2012_256_paramSetA, NID_id_tc26_gost_3410_2012_256_paramSetA},
      {SsfObject::id_tc26_gost_3410_2012_256_paramSetB, NID_id_tc26_gost_3410_2012_256_paramSetB},
      {SsfObject::id_tc26_gost_3410_2012_256_paramSetC, NID_id_tc26_gost_3410_2012_256_paramSetC},
      {SsfObject::id_tc26_gost_3410_2012_256_paramSetD, NID_id_tc26_gost_3410_2012_256_paramSetD},
      {SsfObject::id_tc26_gost_3410_2012_512_paramSetC, NID_id_tc26_gost_3410_2012_512_paramSetC},
  };
  for (const auto& [row, nid] : stock) {
    SCOPED_TRACE(ssf_object_row(row).sn);
    EXPECT_EQ(ssf_object_nid(row), nid);
  }
  // The rest is new to the toolkit and carries the row's own names.
  for (std::size_t i = 0; i < kSsfObjectCount; ++i) {
    if (stock.count(row_at(i)) != 0) continue;
    const SsfObjectRow& row = ssf_object_row(row_at(i));
    SCOPED_TRACE(row.sn);
    int nid = ssf_object_nid(row_at(i));
    EXPECT_STREQ(OBJ_nid2sn(nid), row.sn);
    EXPECT_STREQ(OBJ_nid2ln(nid), row.ln);
    if (row.oid != nullptr && (row.flags & kSsfObjOidTaken) == 0) {
      char dotted[128];
      ASSERT_GT(OBJ_obj2txt(dotted, sizeof(dotted), OBJ_nid2obj(nid), 1), 0);
      EXPECT_STREQ(dotted, row.oid);
    }
  }
}

TEST(ObjectsRegistry, NoTwoRowsShareANumber) {
  std::set<int> nids;
  for (std::size_t i = 0; i < kSsfObjectCount; ++i) nids.insert(ssf_object_nid(row_at(i)));
  EXPECT_EQ(nids.size(), kSsfObjectCount);
  EXPECT_EQ(nids.count(NID_undef), 0u);
}

TEST(ObjectsRegistry, PublishedIdentifiersKeepTheirMeaning) {
  ASSERT_EQ(ssf_register_objects(), 1);
  // 1.2.643.7.1.1.5.1.1-2 and 1.2.643.7.1.1.5.2.1-2 are CTR-ACPKM (OMAC).
  EXPECT_EQ(OBJ_txt2nid("1.2.643.7.1.1.5.1.1"), NID_magma_ctr_acpkm);
  EXPECT_EQ(OBJ_txt2nid("1.2.643.7.1.1.5.1.2"), NID_magma_ctr_acpkm_omac);
  EXPECT_EQ(OBJ_txt2nid("1.2.643.7.1.1.5.2.1"), NID_kuznyechik_ctr_acpkm);
  EXPECT_EQ(OBJ_txt2nid("1.2.643.7.1.1.5.2.2"), NID_kuznyechik_ctr_acpkm_omac);
  for (SsfObject row : {SsfObject::magma_ecb, SsfObject::magma_cbc, SsfObject::kuznechik_ecb,
                        SsfObject::kuznechik_cbc}) {
    SCOPED_TRACE(ssf_object_row(row).sn);
    EXPECT_EQ(OBJ_length(OBJ_nid2obj(ssf_object_nid(row))), 0u);
  }
}

TEST(ObjectsRegistry, NameOnlyRowsHaveNoIdentifier) {
  // Registered first: the order in which EXPECT_EQ evaluates its two
  // arguments differs between compilers.
  ASSERT_EQ(ssf_register_objects(), 1);
  EXPECT_EQ(OBJ_txt2nid("gost89-cbcstrict"), ssf_nid_gost89_cbcstrict());
  for (int nid : {ssf_nid_gost89_cnt_12(), ssf_nid_gost89_cbc(), ssf_nid_gost89_ecb(),
                  ssf_nid_gost89_ctr(), ssf_nid_gost_mac_12(), ssf_nid_gost89_cbcstrict()}) {
    SCOPED_TRACE(OBJ_nid2sn(nid));
    char dotted[64] = "";
    EXPECT_EQ(OBJ_length(OBJ_nid2obj(nid)), 0u);
    EXPECT_LE(OBJ_obj2txt(dotted, sizeof(dotted), OBJ_nid2obj(nid), 1), 0);
  }
}

TEST(ObjectsRegistry, EdgeLookups) {
  EXPECT_EQ(OBJ_txt2nid("1.2.643.7.1.1.1.1"), ssf_nid_gost2012_256());
  EXPECT_EQ(OBJ_sn2nid("gost2012_256"), ssf_nid_gost2012_256());
  // Stock name-only objects that the rows give an identifier: found by it.
  EXPECT_EQ(OBJ_txt2nid("1.2.643.7.1.1.5.1.3"), ssf_nid_magma_ctr());
  EXPECT_EQ(OBJ_txt2nid("1.2.643.7.1.1.5.1.6"), ssf_nid_magma_mac());
  // Long names differing from the toolkit's only in case are separate names.
  EXPECT_EQ(OBJ_ln2nid("inn"), ssf_nid_INN());
  EXPECT_EQ(OBJ_ln2nid("INN"), ssf_nid_INN());
  EXPECT_EQ(OBJ_sn2nid("KC1ClassSignTool"), OBJ_sn2nid("classSignToolKC1"));
}

TEST(ObjectsRegistry, AccessorsRegisterOnFirstUse) {
  // No explicit registration in this process.
  EXPECT_EQ(ssf_nid_gost2012_512(), NID_id_GostR3410_2012_512);
  EXPECT_NE(OBJ_sn2nid("kuznechik-mac"), NID_undef);
}

TEST(ObjectsRegistry, RegistrationIsIdempotent) {
  ASSERT_EQ(ssf_register_objects(), 1);
  int nids[kSsfObjectCount];
  for (std::size_t i = 0; i < kSsfObjectCount; ++i) nids[i] = ssf_object_nid(row_at(i));
  int next = OBJ_new_nid(0);
  EXPECT_EQ(ssf_register_objects(), 1);
  // Resolving every row again from scratch finds what is there and adds no
  // object.
  for (std::size_t i = 0; i < kSsfObjectCount; ++i) {
    SCOPED_TRACE(ssf_object_row(row_at(i)).sn);
    EXPECT_EQ(ssf_resolve_object_row(ssf_object_row(row_at(i))), nids[i]);
    EXPECT_EQ(ssf_object_nid(row_at(i)), nids[i]);
  }
  EXPECT_EQ(OBJ_new_nid(0), next);
  EXPECT_EQ(ERR_peek_error(), 0u);
}

TEST(ObjectsRegistry, ConflictingObjectIsRefusedAndTheRestRegisters) {
  // A foreign object took one of the rows' short names first.
  ASSERT_NE(OBJ_create("1.3.6.1.4.1.99999.1", "RNS-FSS", "foreign object"), NID_undef);
  EXPECT_EQ(ssf_register_objects(), 0);
  unsigned long e = ERR_peek_error();
  EXPECT_EQ(ERR_GET_LIB(e), ERR_LIB_OBJ);
  EXPECT_EQ(ERR_GET_REASON(e), OBJ_R_OID_EXISTS);
  ERR_clear_error();
  EXPECT_EQ(ssf_nid_RNS_FSS(), NID_undef);
  EXPECT_EQ(OBJ_txt2nid("1.2.643.3.141.1.1"), NID_undef);
  EXPECT_EQ(ssf_nid_KP_FSS(), OBJ_txt2nid("1.2.643.3.141.1.2"));
  EXPECT_EQ(ssf_nid_gost2012_256(), NID_id_GostR3410_2012_256);
  EXPECT_NE(ssf_nid_gost89_cbcstrict(), NID_undef);
  ERR_clear_error();
}

TEST(ObjectsRegistry, EngineLoadingRegistersTheObjectsFirst) {
  ssf_load_builtin_engines();
  EXPECT_NE(OBJ_sn2nid("gost89-cbcstrict"), NID_undef);
  EXPECT_NE(X509V3_EXT_get_nid(NID_SMIMECapabilities), nullptr);
  int md = NID_undef, key = NID_undef;
  EXPECT_EQ(OBJ_find_sigid_algs(ssf_nid_id_tc26_signwithdigest_gost3410_2012_512(), &md, &key), 1);
  // Later calls return at once.
  ssf_load_builtin_engines();
}

}  // namespace
