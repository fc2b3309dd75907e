// The GOST 28147-89 parameter table and the process-wide registry. Each test
// case runs in a process of its own, so the registry starts empty.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "gost28147.h"
#include "gost28147_params.h"
#include "gost28147_sbox.h"
#include "gost28147_test_util.h"
#include "vkc_log.h"

using namespace gost_test;

namespace {

std::vector<Gost28147ParamSet*> registry() {
  std::vector<Gost28147ParamSet*> v;
  for (Gost28147ParamSet* p = gost28147_89_reg_par; p != nullptr; p = p->next) v.push_back(p);
  return v;
}

}  // namespace

TEST(Gost28147Params, StoredRowsAgreeWithPublishedSets) {
  auto vec = read_vectors("gost28147_vectors.txt");
  for (const auto& set : sbox_sets()) {
    const Block& b = vec.at(set.block);
    Gost28147ParamSet* p = nullptr;
    ASSERT_EQ(GOST28147_89_FindParByDottedOid(b.at("oid").c_str(), &p), 0) << set.block;
    EXPECT_STREQ(p->name, b.at("name").c_str());
    EXPECT_EQ(to_hex(p->oid_der, p->oid_len), b.at("oid_der"));
    EXPECT_EQ(p->sbox, &TZ_28147_89[set.row]);
    EXPECT_EQ(p->key_meshing, set.meshing ? 1 : 0);
    EXPECT_EQ(p->mode, b.at("mode") == "CFB" ? 2 : 3);
  }
  // Rows 5-9 share the tables of rows 0-4 and never mesh.
  for (uint32_t i = 5; i < 10; ++i) {
    EXPECT_EQ(GOST28147_89_GetPar(i)->sbox, GOST28147_89_GetPar(i - 5)->sbox);
    EXPECT_EQ(GOST28147_89_GetPar(i)->key_meshing, 0);
  }
  EXPECT_EQ(GOST28147_89_GetDefaultPar(), GOST28147_89_GetPar(10));
  EXPECT_STREQ(GOST28147_89_GetDefaultPar()->name, "id-tc26-gost-28147-param-Z");
  EXPECT_EQ(GOST28147_89_GetPar(11), nullptr);
}

TEST(Gost28147Params, FirstLookUpLinksStoredRowsInOrder) {
  EXPECT_EQ(gost28147_89_reg_par, nullptr);
  Gost28147ParamSet* p = reinterpret_cast<Gost28147ParamSet*>(1);
  static const uint8_t unknown[] = {0x06, 0x03, 0x2a, 0x03, 0x04};
  EXPECT_EQ(GOST28147_89_FindParByDerOid(unknown, sizeof(unknown), &p), -1);
  EXPECT_EQ(p, nullptr);
  auto reg = registry();
  ASSERT_EQ(reg.size(), 11u);
  for (uint32_t i = 0; i < 11; ++i) EXPECT_EQ(reg[i], GOST28147_89_GetPar(i));
  ASSERT_EQ(GOST28147_89_FindParByDerOid(VKC_PAR_CIPHER_Z_OID, 11, &p), 0);
  EXPECT_EQ(p, GOST28147_89_GetPar(10));
  // Right bytes under a wrong length do not match.
  EXPECT_EQ(GOST28147_89_FindParByDerOid(VKC_PAR_CIPHER_Z_OID, 10, &p), -1);
  ASSERT_EQ(GOST28147_89_FindParByOidName("id-Gost28147-89-CryptoPro-RIC-1-ParamSet", &p), 0);
  EXPECT_EQ(p, GOST28147_89_GetPar(7));
  EXPECT_EQ(GOST28147_89_FindParByOidName("id-Gost28147-89-CryptoPro-RIC-1", &p), -1);
  EXPECT_EQ(GOST28147_89_FindParByDottedOid("1.2.643.2.2.31.10", &p), -1);
  EXPECT_EQ(GOST28147_89_FindParByDerOid(nullptr, 9, &p), -1);
  EXPECT_EQ(GOST28147_89_FindParByOidName(nullptr, &p), -1);
  EXPECT_EQ(GOST28147_89_FindParByDottedOid("1.2.643.2.2.31.1", nullptr), -1);
}

TEST(Gost28147Params, RegisterAndUnregister) {
  EXPECT_EQ(GOST28147_89_UnregisterPar(VKC_PAR_CIPHER_A_OID, 9), -1);  // empty
  ASSERT_EQ(GOST28147_89_RegisterCryptoProPar(), 0);
  // Registering a linked record again changes nothing (it used to cut the
  // list behind it).
  EXPECT_EQ(GOST28147_89_RegisterPar(GOST28147_89_GetPar(3)), 0);
  EXPECT_EQ(GOST28147_89_RegisterCryptoProPar(), 0);
  EXPECT_EQ(registry().size(), 11u);
  EXPECT_EQ(GOST28147_89_RegisterPar(nullptr), -1);

  // A caller's copy under its own identifier, at the tail.
  static const uint8_t own_oid[] = {0x06, 0x04, 0x2a, 0x03, 0x04, 0x05};
  Gost28147ParamSet* copy = nullptr;
  ASSERT_EQ(GOST28147_89_CopyPar(GOST28147_89_GetPar(1), &copy), 0);
  EXPECT_EQ(copy->next, nullptr);
  EXPECT_EQ(copy->sbox, GOST28147_89_GetPar(1)->sbox);
  EXPECT_EQ(copy->name, GOST28147_89_GetPar(1)->name);  // shared, not copied
  ASSERT_EQ(GOST28147_89_SetOIDPar(copy, own_oid, sizeof(own_oid), "1.2.3.4.5", "own"), 0);
  ASSERT_EQ(GOST28147_89_SetModePar(copy, 3), 0);
  ASSERT_EQ(GOST28147_89_SetKeyMeshingPar(copy, 0), 0);
  ASSERT_EQ(GOST28147_89_RegisterPar(copy), 0);
  Gost28147ParamSet* p = nullptr;
  ASSERT_EQ(GOST28147_89_FindParByOidName("own", &p), 0);
  EXPECT_EQ(p, copy);
  EXPECT_EQ(p->mode, 3);
  EXPECT_EQ(p->key_meshing, 0);
  EXPECT_EQ(registry().back(), copy);

  // Unregister the head, one in the middle, and the tail.
  ASSERT_EQ(GOST28147_89_UnregisterPar(VKC_PAR_CIPHER_0_OID, 9), 0);
  EXPECT_EQ(gost28147_89_reg_par, GOST28147_89_GetPar(1));
  EXPECT_EQ(GOST28147_89_GetPar(0)->next, nullptr);
  ASSERT_EQ(GOST28147_89_UnregisterPar(VKC_PAR_CIPHER_SB_OID, 9), 0);
  EXPECT_EQ(GOST28147_89_GetPar(6)->next, GOST28147_89_GetPar(8));
  ASSERT_EQ(GOST28147_89_UnregisterPar(own_oid, sizeof(own_oid)), 0);
  EXPECT_EQ(GOST28147_89_UnregisterPar(own_oid, sizeof(own_oid)), -2);
  EXPECT_EQ(GOST28147_89_UnregisterPar(nullptr, 9), -1);
  auto reg = registry();
  EXPECT_EQ(reg.size(), 9u);
  EXPECT_EQ(reg.back(), GOST28147_89_GetPar(10));
  EXPECT_EQ(GOST28147_89_FindParByDerOid(VKC_PAR_CIPHER_0_OID, 9, &p), -1);
  // Registered again, a record goes to the tail.
  ASSERT_EQ(GOST28147_89_RegisterPar(GOST28147_89_GetPar(0)), 0);
  EXPECT_EQ(registry().back(), GOST28147_89_GetPar(0));
  free(copy);

  EXPECT_EQ(GOST28147_89_CopyPar(nullptr, &copy), -1);
  EXPECT_EQ(GOST28147_89_SetModePar(nullptr, 2), -1);
}

// Records registered while the registry is empty stop the first-use
// registration of the stored rows.
TEST(Gost28147Params, OwnRecordFirstSuppressesStoredRows) {
  static const uint8_t own_oid[] = {0x06, 0x03, 0x2a, 0x03, 0x05};
  Gost28147ParamSet own = {sizeof(own_oid), own_oid, "1.2.3.5", "own", &TZ_28147_89[5], 2, 1, nullptr};
  ASSERT_EQ(GOST28147_89_RegisterPar(&own), 0);
  Gost28147ParamSet* p = nullptr;
  EXPECT_EQ(GOST28147_89_FindParByDerOid(VKC_PAR_CIPHER_A_OID, 9, &p), -1);
  ASSERT_EQ(GOST28147_89_FindParByDottedOid("1.2.3.5", &p), 0);
  EXPECT_EQ(p, &own);
  ASSERT_EQ(GOST28147_89_RegisterCryptoProPar(), 0);
  EXPECT_EQ(GOST28147_89_FindParByDerOid(VKC_PAR_CIPHER_A_OID, 9, &p), 0);
  EXPECT_EQ(registry().size(), 12u);
  ASSERT_EQ(GOST28147_89_UnregisterPar(own_oid, sizeof(own_oid)), 0);
}

TEST(Gost28147Params, DiagnosticLines) {
  orvel_test::TempDir dir;
  std::string path = dir.file("vkc.log");
  ASSERT_EQ(vkc_set_log_file(path.c_str()), 0);
  Gost28147ParamSet* p;
  GOST28147_89_UnregisterPar(VKC_PAR_CIPHER_A_OID, 9);
  GOST28147_89_FindParByDerOid(VKC_PAR_HASH_1_OID, 9, &p);
  GOST28147_89_FindParByOidName("x", &p);
  GOST28147_89_UnregisterPar(VKC_PAR_HASH_1_OID, 9);
  uint32_t kw[8] = {0};
  uint8_t in[8] = {0}, out[8];
  GostBuffer bi = {5, in}, bo = {8, out}, bz = {0, in}, bn = {8, nullptr};
  VKC_Gost_SS_m(&TZ_28147_89[0], &bi, &bo, kw, 1);
  VKC_Gost_SS_m(&TZ_28147_89[0], &bz, &bo, kw, 1);
  VKC_Gost_SS_m(&TZ_28147_89[0], &bn, &bo, kw, 1);
  VKC_Gost_SS_m(nullptr, &bi, &bo, kw, 1);
  Gost28147ExpandedSbox unmarked = TZ_28147_89[0];
  unmarked.initialised = 0;
  VKC_Gost_SS_m(&unmarked, &bi, &bo, kw, 1);
  GOST28147_89_Final(nullptr);
  Gost28147Context ctx{};
  GOST28147_89_Final(&ctx);
  GOST28147_89_Reset(nullptr);
  vkc_set_log_file(nullptr);
  EXPECT_EQ(orvel_test::read_file(path),
            "GOST28147_89_UnregisterPar: no registered params\n"
            "GOST28147_89_FindParByDerOid: unsupported OID\n"
            "GOST28147_89_FindParByOidName: unsupported OID\n"
            "GOST28147_89_UnregisterPar: no params found for OID\n"
            "VKC_Gost_SS_m: input data length should be multiple of block size\n"
            "VKC_Gost_SS_m: invalid buffer length\n"
            "VKC_Gost_SS_m: NULL data pointer\n"
            "VKC_Gost_SS_m: bad params\n"
            "VKC_Gost_SS_m: TZ not initialized\n"
            "vkc_crpt_final: NULL context\n"
            "vkc_crpt_final: uninitialized context\n"
            "GOST28147_89_Reset: NULL context\n");
}
