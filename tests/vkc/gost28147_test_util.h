// Helpers of the GOST 28147-89 and GOST R 34.11-94 tests: the vector-file
// reader, byte helpers and the mapping of S-box names to stored tables.
#ifndef ORVEL_GOST28147_TEST_UTIL_H
#define ORVEL_GOST28147_TEST_UTIL_H

#include <cstdint>
#include <fstream>
#include <map>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "gost28147.h"
#include "gost28147_sbox.h"
#include "test_util.h"
#include "vkc_kat_file.h"

namespace gost_test {

using vkc_kat::Block;
using vkc_kat::Bytes;

inline std::map<std::string, Block> read_vectors(const std::string& file) {
  std::ifstream in(vkc_kat::kat_path(file));
  if (!in) throw std::runtime_error("cannot open " + file);
  return vkc_kat::parse_kat(in);
}

using vkc_kat::hex;
using vkc_kat::random_bytes;
using vkc_kat::to_hex;
inline std::string to_hex(const uint8_t* p, size_t n) { return orvel_test::to_hex(p, n); }

inline void key_words(const Bytes& key, uint32_t* w) {
  for (int i = 0; i < 8; ++i)
    w[i] = key[4 * i] | key[4 * i + 1] << 8 | key[4 * i + 2] << 16 |
           static_cast<uint32_t>(key[4 * i + 3]) << 24;
}

// Stored parameter sets with the OID libgcrypt knows them by.
struct SboxSet {
  const char* block;  // S-box block of the vector file
  const char* oid;
  int row;            // TZ_28147_89 row
  bool meshing;
};

inline const std::vector<SboxSet>& sbox_sets() {
  static const std::vector<SboxSet> sets = {
      {"gost28147-sbox-test", "1.2.643.2.2.31.0", 0, false},
      {"gost28147-sbox-cryptopro-a", "1.2.643.2.2.31.1", 1, true},
      {"gost28147-sbox-cryptopro-b", "1.2.643.2.2.31.2", 2, true},
      {"gost28147-sbox-cryptopro-c", "1.2.643.2.2.31.3", 3, true},
      {"gost28147-sbox-cryptopro-d", "1.2.643.2.2.31.4", 4, true},
      {"gost28147-sbox-tc26-z", "1.2.643.7.1.2.5.1.1", 5, true},
  };
  return sets;
}

// Streaming context over a whole message in one Update, then Final.
inline int32_t ctx_run(uint8_t encrypt, const Gost28147ExpandedSbox* sbox, uint32_t mode,
                       uint32_t meshing, const Bytes& iv, const Bytes& key, const Bytes& in,
                       Bytes* out, Gost28147Context* keep = nullptr) {
  Gost28147Context local;
  Gost28147Context* ctx = keep ? keep : &local;
  int32_t rc = GOST28147_89_Init(ctx, encrypt, sbox, mode, 0, meshing, 0,
                                 iv.empty() ? nullptr : iv.data(), key.data());
  if (rc != 0) return rc;
  out->assign(in.size() + 8, 0);
  Bytes copy = in;
  GostBuffer bi = {static_cast<uint32_t>(copy.size()), copy.data()};
  GostBuffer bo = {static_cast<uint32_t>(out->size()), out->data()};
  if (!in.empty()) {
    rc = GOST28147_89_Update(ctx, &bi, &bo);
    if (rc != 0) return rc;
    out->resize(bo.length);
  } else {
    out->clear();
  }
  return GOST28147_89_Final(ctx);
}

}  // namespace gost_test

#endif
