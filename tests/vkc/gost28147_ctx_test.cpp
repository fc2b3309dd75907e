// The GOST 28147-89 streaming context: buffering, Final and Reset rules,
// chunking, key meshing timing, in-place use, error codes; the one-shot
// checks; the parameter registry.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "gost28147.h"
#include "gost28147_bulk.h"
#include "gost28147_params.h"
#include "gost28147_sbox.h"
#include "gost28147_test_util.h"

using namespace gost_test;

namespace {

const Bytes kKey = hex("7a944d37c634007f455b83f3f1e3ab988686c8ceb37bfbed8c0dbe56a8e1eadd");
const Bytes kIv = hex("0c6478ba47e41bac");
const Gost28147ExpandedSbox* sz() { return &TZ_28147_89[5]; }

int32_t update(Gost28147Context* ctx, const uint8_t* in, uint32_t n, uint8_t* out, uint32_t cap,
               uint32_t* produced = nullptr) {
  GostBuffer bi = {n, const_cast<uint8_t*>(in)};
  GostBuffer bo = {cap, out};
  int32_t rc = GOST28147_89_Update(ctx, &bi, &bo);
  if (produced) *produced = bo.length;
  return rc;
}

// Runs msg through a context in the given pieces; returns the output.
Bytes chunked(uint32_t mode, uint8_t enc, uint32_t mesh, const Bytes& msg,
              const std::vector<size_t>& pieces, Gost28147Context* keep = nullptr) {
  Gost28147Context local;
  Gost28147Context* ctx = keep ? keep : &local;
  EXPECT_EQ(GOST28147_89_Init(ctx, enc, sz(), mode, 0, mesh, 0, kIv.data(), kKey.data()), 0);
  Bytes out(msg.size() + 8);
  size_t pos = 0, opos = 0;
  for (size_t p : pieces) {
    uint32_t got = 0;
    EXPECT_EQ(update(ctx, msg.data() + pos, static_cast<uint32_t>(p), out.data() + opos,
                     static_cast<uint32_t>(out.size() - opos), &got), 0);
    pos += p;
    opos += got;
  }
  out.resize(opos);
  return out;
}

std::vector<size_t> random_pieces(std::mt19937& rng, size_t n) {
  std::vector<size_t> v;
  while (n > 0) {
    size_t c = std::min<size_t>(n, 1 + rng() % (rng() % 4 == 0 ? 600 : 17));
    v.push_back(c);
    n -= c;
  }
  return v;
}

}  // namespace

TEST(Gost28147Context, BlockModeHoldsPartialBlocks) {
  Gost28147Context ctx;
  ASSERT_EQ(GOST28147_89_Init(&ctx, 1, sz(), GOST28147_MODE_ECB, 0, 0, 0, nullptr, kKey.data()), 0);
  uint8_t in[8] = {1, 2, 3, 4, 5, 6, 7, 8}, out[16];
  uint32_t got = 99;
  ASSERT_EQ(update(&ctx, in, 5, out, sizeof(out), &got), 0);
  EXPECT_EQ(got, 0u);
  ASSERT_EQ(update(&ctx, in + 5, 3, out, sizeof(out), &got), 0);
  EXPECT_EQ(got, 8u);
  Bytes whole;
  ASSERT_EQ(ctx_run(1, sz(), GOST28147_MODE_ECB, 0, {}, kKey, Bytes(in, in + 8), &whole), 0);
  EXPECT_EQ(Bytes(out, out + 8), whole);
  EXPECT_EQ(GOST28147_89_Final(&ctx), 0);
  EXPECT_EQ(ctx.initialised, 1);

  // A partial block left at Final.
  ASSERT_EQ(update(&ctx, in, 3, out, sizeof(out), &got), 0);
  EXPECT_EQ(GOST28147_89_Final(&ctx), -6);
  EXPECT_EQ(ctx.initialised, 0);
  EXPECT_EQ(update(&ctx, in, 8, out, sizeof(out)), -152);
  EXPECT_EQ(GOST28147_89_Final(&ctx), -152);
}

TEST(Gost28147Context, SizeQueryConsumesNothing) {
  Gost28147Context ctx;
  ASSERT_EQ(GOST28147_89_Init(&ctx, 1, sz(), GOST28147_MODE_CBC, 0, 0, 0, kIv.data(), kKey.data()), 0);
  uint8_t in[21] = {0};
  ASSERT_EQ(update(&ctx, in, 3, nullptr, 0), 0);
  GostBuffer bi = {21, in}, bo = {0, nullptr};
  ASSERT_EQ(GOST28147_89_Update(&ctx, &bi, &bo), 0);
  EXPECT_EQ(bo.length, 16u);
  EXPECT_EQ(ctx.buffered, 0u);
  uint8_t out[16];
  EXPECT_EQ(update(&ctx, in, 16, out, 15), -4);  // capacity below the whole blocks
}

TEST(Gost28147Context, InitThenFinal) {
  for (uint32_t mode : {1u, 4u, 5u, 6u}) {
    Gost28147Context ctx;
    ASSERT_EQ(GOST28147_89_Init(&ctx, 1, sz(), mode, 0, 0, 0, nullptr, kKey.data()), 0);
    EXPECT_EQ(GOST28147_89_Final(&ctx), -153) << mode;
  }
  for (uint32_t mode : {2u, 3u}) {
    Gost28147Context ctx;
    ASSERT_EQ(GOST28147_89_Init(&ctx, 1, sz(), mode, 0, 0, 0, kIv.data(), kKey.data()), 0);
    EXPECT_EQ(GOST28147_89_Final(&ctx), 0) << mode;
    EXPECT_EQ(ctx.initialised, 0);
  }
  // MAC with an IV and no data gives the IV.
  Gost28147Context ctx;
  ASSERT_EQ(GOST28147_89_Init(&ctx, 1, sz(), 5, 0, 0, 0, kIv.data(), kKey.data()), 0);
  EXPECT_EQ(GOST28147_89_Final(&ctx), 0);
  EXPECT_EQ(memcmp(ctx.mac, kIv.data(), 8), 0);
}

TEST(Gost28147Context, NullAndUnknownArguments) {
  Gost28147Context ctx;
  uint8_t buf[16] = {0};
  EXPECT_EQ(GOST28147_89_Init(nullptr, 1, sz(), 1, 0, 0, 0, nullptr, kKey.data()), -1);
  EXPECT_EQ(GOST28147_89_Init(&ctx, 1, nullptr, 1, 0, 0, 0, nullptr, kKey.data()), -1);
  EXPECT_EQ(GOST28147_89_Init(&ctx, 1, sz(), 1, 0, 0, 0, nullptr, nullptr), -1);
  ASSERT_EQ(GOST28147_89_Init(&ctx, 1, sz(), 9, 0, 0, 0, nullptr, kKey.data()), 0);
  EXPECT_EQ(update(&ctx, buf, 3, buf, 16), 0);  // nothing to process yet
  EXPECT_EQ(update(&ctx, buf, 8, buf, 16), -1102);
  GostBuffer bi = {8, buf};
  EXPECT_EQ(GOST28147_89_Update(&ctx, &bi, nullptr), -1);
  EXPECT_EQ(GOST28147_89_Update(&ctx, nullptr, nullptr), -1);
  EXPECT_EQ(GOST28147_89_Update(nullptr, &bi, nullptr), -1);
  GostBuffer null_data = {8, nullptr};
  GostBuffer bo = {16, buf};
  EXPECT_EQ(GOST28147_89_Update(&ctx, &null_data, &bo), -1);
  EXPECT_EQ(GOST28147_89_Final(nullptr), -1);
  EXPECT_EQ(GOST28147_89_Reset(nullptr), -1);

  // The stream modes: a zero length or a short output is refused; an S-box
  // without the mark too. MAC mode takes no output descriptor.
  ASSERT_EQ(GOST28147_89_Init(&ctx, 1, sz(), 2, 0, 0, 0, kIv.data(), kKey.data()), 0);
  EXPECT_EQ(update(&ctx, buf, 0, buf, 16), -4);
  EXPECT_EQ(update(&ctx, buf, 9, buf, 8), -4);
  auto* unmarked = static_cast<Gost28147ExpandedSbox*>(malloc(sizeof(Gost28147ExpandedSbox)));
  *unmarked = TZ_28147_89[5];
  unmarked->initialised = 0;
  ASSERT_EQ(GOST28147_89_Init(&ctx, 1, unmarked, 3, 0, 0, 0, kIv.data(), kKey.data()), 0);
  EXPECT_EQ(update(&ctx, buf, 8, buf, 16), -2);
  ASSERT_EQ(GOST28147_89_Init(&ctx, 1, sz(), 5, 0, 0, 0, nullptr, kKey.data()), 0);
  EXPECT_EQ(GOST28147_89_Update(&ctx, &bi, nullptr), 0);
  EXPECT_EQ(update(&ctx, buf, 0, nullptr, 0), -4);
  free(unmarked);
}

// Modes 2 and 3 give the same stream for any split of the message, with key
// meshing crossing piece boundaries.
TEST(Gost28147Context, StreamModesAnyChunking) {
  std::mt19937 rng(2891);
  Bytes msg = random_bytes(rng, 3100);
  for (uint32_t mode : {2u, 3u}) {
    for (uint8_t enc : {1, 0}) {
      Bytes whole = chunked(mode, enc, 1, msg, {msg.size()});
      for (auto pieces : {std::vector<size_t>(3100, 1), std::vector<size_t>(442, 7)}) {
        pieces.resize(std::min(pieces.size(), size_t{3100}));
        size_t sum = 0;
        for (size_t p : pieces) sum += p;
        pieces.push_back(3100 - sum);
        if (pieces.back() == 0) pieces.pop_back();
        ASSERT_EQ(chunked(mode, enc, 1, msg, pieces), whole) << mode;
      }
      for (int r = 0; r < 20; ++r)
        ASSERT_EQ(chunked(mode, enc, 1, msg, random_pieces(rng, msg.size())), whole) << mode;
    }
    // Decryption undoes encryption.
    Bytes ct = chunked(mode, 1, 1, msg, {9, 1, 3090});
    EXPECT_EQ(chunked(mode, 0, 1, ct, {1017, 8, 2075}), msg);
  }
}

TEST(Gost28147Context, BlockModesAnyChunkingAndInPlace) {
  std::mt19937 rng(1989);
  Bytes msg = random_bytes(rng, 4096);
  for (uint32_t mode : {1u, 4u, 6u}) {
    for (uint8_t enc : {1, 0}) {
      Bytes whole = chunked(mode, enc, 1, msg, {msg.size()});
      ASSERT_EQ(whole.size(), msg.size());
      for (int r = 0; r < 10; ++r)
        ASSERT_EQ(chunked(mode, enc, 1, msg, random_pieces(rng, msg.size())), whole) << mode;
      // In place, with bytes held from the previous call: the output may lag
      // behind the input (the caller writes output where it has been) or
      // start at the same address as the input (output ahead of the unread
      // input by the held bytes).
      for (bool same_start : {false, true}) {
        for (int r = 0; r < 10; ++r) {
          Gost28147Context ctx;
          ASSERT_EQ(GOST28147_89_Init(&ctx, enc, sz(), mode, 0, 1, 0, kIv.data(), kKey.data()), 0);
          Bytes buf = msg, out;
          size_t in_pos = 0, out_pos = 0;
          for (size_t p : random_pieces(rng, buf.size())) {
            uint32_t got = 0;
            if (same_start) {
              // The very same pointer for input and output.
              Bytes scratch(buf.begin() + in_pos, buf.begin() + in_pos + p);
              scratch.resize(p + 8);
              ASSERT_EQ(update(&ctx, scratch.data(), static_cast<uint32_t>(p), scratch.data(),
                               static_cast<uint32_t>(scratch.size()), &got), 0);
              out.insert(out.end(), scratch.begin(), scratch.begin() + got);
            } else {
              ASSERT_EQ(update(&ctx, buf.data() + in_pos, static_cast<uint32_t>(p),
                               buf.data() + out_pos, static_cast<uint32_t>(buf.size() - out_pos),
                               &got), 0);
            }
            in_pos += p;
            out_pos += got;
          }
          if (!same_start) out.assign(buf.begin(), buf.begin() + out_pos);
          ASSERT_EQ(out, whole) << "mode " << mode << " same start " << same_start;
        }
      }
    }
  }
}

TEST(Gost28147Context, KeyMeshingTiming) {
  Bytes msg(2048 + 16, 0x5a), out(msg.size());
  for (uint32_t mode : {1u, 2u, 3u, 4u, 5u, 6u}) {
    SCOPED_TRACE(mode);
    Gost28147Context ctx;
    ASSERT_EQ(GOST28147_89_Init(&ctx, 1, sz(), mode, 0, 1, 0, kIv.data(), kKey.data()), 0);
    uint32_t key0[8];
    memcpy(key0, ctx.key, 32);
    GostBuffer bi = {1024, msg.data()}, bo = {static_cast<uint32_t>(out.size()), out.data()};
    ASSERT_EQ(GOST28147_89_Update(&ctx, &bi, &bo), 0);
    EXPECT_EQ(memcmp(ctx.key, key0, 32), 0);  // 128 blocks under the first key
    uint32_t reg_before[2] = {ctx.reg[0], ctx.reg[1]};
    uint32_t expect_key[8], expect_reg[2] = {reg_before[0], reg_before[1]};
    memcpy(expect_key, key0, 32);
    ASSERT_EQ(GOST28147_89_crypto_pro_key_meshing_engine(sz(), expect_reg, expect_key), 0);
    bi.length = 8;
    bo.length = static_cast<uint32_t>(out.size());
    ASSERT_EQ(GOST28147_89_Update(&ctx, &bi, &bo), 0);
    EXPECT_EQ(memcmp(ctx.key, expect_key, 32), 0);  // meshed before block 129
    if (mode == 6) {
      // The chaining value is untouched by the meshing: the block is
      // chained to the last ciphertext under the new key.
      uint32_t in[2], c[2];
      memcpy(in, msg.data(), 8);
      in[0] ^= reg_before[0];
      in[1] ^= reg_before[1];
      vkc_gost_encr_64_m(in, c, expect_key, sz());
      EXPECT_EQ(memcmp(out.data(), c, 8), 0);
    }
    if (mode == 4) {
      uint32_t in[2], c[2];
      memcpy(in, msg.data(), 8);
      in[0] ^= expect_reg[0];
      in[1] ^= expect_reg[1];
      vkc_gost_encr_64_m(in, c, expect_key, sz());
      EXPECT_EQ(memcmp(out.data(), c, 8), 0);
    }
    // Meshing off: the key never changes.
    ASSERT_EQ(GOST28147_89_Init(&ctx, 1, sz(), mode, 0, 0, 0, kIv.data(), kKey.data()), 0);
    bi.length = static_cast<uint32_t>(msg.size());
    bo.length = static_cast<uint32_t>(out.size());
    ASSERT_EQ(GOST28147_89_Update(&ctx, &bi, &bo), 0);
    EXPECT_EQ(memcmp(ctx.key, key0, 32), 0);
  }
}

// The MAC register starts at zero once, before the first block, however many
// blocks the first Update brings; pieces do not change the MAC.
TEST(Gost28147Context, MacStartsFromZeroOnceAndIgnoresChunking) {
  std::mt19937 rng(5);
  Bytes msg = random_bytes(rng, 2100);
  uint32_t kw[8];
  key_words(kKey, kw);
  for (size_t n : {9, 16, 17, 64, 1024, 1031, 2100}) {
    uint32_t mac[2] = {0, 0};
    Gost28147Context ref;
    ASSERT_EQ(GOST28147_89_Init(&ref, 1, sz(), 5, 0, 0, 0, nullptr, kKey.data()), 0);
    vkc::gost28147::imito_blocks(sz(), msg.data(), n / 8, mac, kw);
    if (n % 8) {
      uint8_t last[8] = {0};
      memcpy(last, msg.data() + n / 8 * 8, n % 8);
      vkc::gost28147::imito_blocks(sz(), last, 1, mac, kw);
    }
    Bytes part(msg.begin(), msg.begin() + n);
    Gost28147Context ctx;
    Bytes dummy;
    ASSERT_EQ(ctx_run(1, sz(), 5, 0, {}, kKey, part, &dummy, &ctx), 0);
    uint8_t expect[8];
    memcpy(expect, mac, 8);
    EXPECT_EQ(memcmp(ctx.mac, expect, 8), 0) << n;
    for (int r = 0; r < 5; ++r) {
      Gost28147Context c2;
      chunked(5, 1, 1, part, random_pieces(rng, n), &c2);
      ASSERT_EQ(GOST28147_89_Final(&c2), 0);
      Gost28147Context c1;
      ASSERT_EQ(ctx_run(1, sz(), 5, 1, kIv, kKey, part, &dummy, &c1), 0);
      EXPECT_EQ(memcmp(c1.mac, c2.mac, 8), 0) << n;
    }
  }
}

TEST(Gost28147Context, ResetRestartsMessageOnSameKey) {
  Bytes msg(24, 0x33), dummy;
  Gost28147Context ctx;
  ASSERT_EQ(GOST28147_89_Init(&ctx, 1, sz(), 5, 0, 0, 0, kIv.data(), kKey.data()), 0);
  uint8_t first[8];
  ASSERT_EQ(update(&ctx, msg.data(), 24, nullptr, 0), 0);
  ASSERT_EQ(GOST28147_89_Reset(&ctx), 0);
  EXPECT_EQ(ctx.initialised, 1);
  ASSERT_EQ(update(&ctx, msg.data(), 13, nullptr, 0), 0);
  ASSERT_EQ(GOST28147_89_Final(&ctx), 0);
  memcpy(first, ctx.mac, 8);
  // After Reset the MAC starts from zero, not from the IV.
  Gost28147Context fresh;
  ASSERT_EQ(ctx_run(1, sz(), 5, 0, {}, kKey, Bytes(msg.begin(), msg.begin() + 13), &dummy, &fresh), 0);
  EXPECT_EQ(memcmp(first, fresh.mac, 8), 0);
}

TEST(Gost28147OneShot, ChecksAndPartialBlocks) {
  uint32_t kw[8], reg[2] = {1, 2};
  key_words(kKey, kw);
  uint8_t in[16] = {0}, out[16];
  GostBuffer bi = {16, in}, bo = {16, out}, b5 = {5, in}, b0 = {0, in}, bnull = {16, nullptr};
  EXPECT_EQ(VKC_Gost_SS_m(nullptr, &bi, &bo, kw, 1), -1);
  EXPECT_EQ(VKC_Gost_SS_m(sz(), &bi, &bo, nullptr, 1), -1);
  EXPECT_EQ(VKC_Gost_SS_m(sz(), &bnull, &bo, kw, 1), -1);
  EXPECT_EQ(VKC_Gost_SS_m(sz(), &b0, &bo, kw, 1), -4);
  GostBuffer small = {8, out};
  EXPECT_EQ(VKC_Gost_SS_m(sz(), &bi, &small, kw, 1), -4);
  EXPECT_EQ(VKC_Gost_SS_m(sz(), &b5, &bo, kw, 1), -6);
  EXPECT_EQ(VKC_Gost_CBC_m(sz(), &b5, &bo, reg, kw, 1), -6);
  EXPECT_EQ(VKC_Gost_CBC_m(sz(), &bi, &bo, nullptr, kw, 1), -1);
  EXPECT_EQ(VKC_Gost_Gamm_m(sz(), &b5, &bo, reg, kw, GOST28147_FLAG_FIRST), -6);
  EXPECT_EQ(VKC_Gost_GFB_m(sz(), &b5, &bo, reg, kw, 1, 0), -6);
  bo.length = 16;
  ASSERT_EQ(VKC_Gost_GFB_m(sz(), &b5, &bo, reg, kw, 1, GOST28147_FLAG_LAST), 0);
  EXPECT_EQ(bo.length, 5u);

  uint8_t block[8];
  uint32_t tail = 9, whole = 9;
  EXPECT_EQ(make_last_block(in, 13, block, &tail, &whole, 0), -6);
  uint8_t src[13] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13};
  ASSERT_EQ(make_last_block(src, 13, block, &tail, &whole, GOST28147_FLAG_LAST), 0);
  EXPECT_EQ(whole, 1u);
  EXPECT_EQ(tail, 5u);
  EXPECT_EQ(to_hex(block, 8), "090a0b0c0d000000");

  // The one-shot MAC: first flag zeroes the output, which carries the MAC.
  uint8_t mac[8];
  memset(mac, 0xee, 8);
  GostBuffer bm = {8, mac}, b13 = {13, src};
  ASSERT_EQ(VKC_Gost_Imito_m(sz(), &b13, &bm, kw, GOST28147_FLAG_FIRST | GOST28147_FLAG_LAST), 0);
  Gost28147Context ctx;
  Bytes dummy;
  ASSERT_EQ(ctx_run(1, sz(), 5, 0, {}, kKey, Bytes(src, src + 13), &dummy, &ctx), 0);
  EXPECT_EQ(memcmp(mac, ctx.mac, 4), 0);
  GostBuffer b7 = {7, mac};
  EXPECT_EQ(VKC_Gost_Imito_m(sz(), &b13, &b7, kw, 3), -4);

}

TEST(Gost28147OneShot, KeyMeshingRecord) {
  uint32_t kw[8], expect[8], reg[2] = {7, 8}, ereg[2] = {7, 8};
  key_words(kKey, kw);
  memcpy(expect, kw, 32);
  ASSERT_EQ(GOST28147_89_crypto_pro_key_meshing_engine(sz(), ereg, expect), 0);
  GostBuffer sb = {4100, reinterpret_cast<uint8_t*>(const_cast<Gost28147ExpandedSbox*>(sz()))};
  GostBuffer kb = {32, reinterpret_cast<uint8_t*>(kw)};
  Gost28147KeyMeshingRecord rec = {nullptr, &sb, &kb, {reg[0], reg[1]}};
  ASSERT_EQ(GOST28147_89_crypto_pro_key_meshing(&rec), 0);
  EXPECT_EQ(memcmp(kw, expect, 32), 0);
  EXPECT_EQ(rec.reg[0], ereg[0]);
  EXPECT_EQ(rec.reg[1], ereg[1]);
  EXPECT_EQ(GOST28147_89_crypto_pro_key_meshing(nullptr), -1);
  rec.key = nullptr;
  EXPECT_EQ(GOST28147_89_crypto_pro_key_meshing(&rec), -1);
}

// A length near 2^32 added to held bytes must not wrap into a short total
// (which would copy the whole input into the 8-byte partial block).
TEST(Gost28147Context, LengthNearFourGigabytesDoesNotWrap) {
  Gost28147Context ctx;
  ASSERT_EQ(GOST28147_89_Init(&ctx, 1, sz(), GOST28147_MODE_ECB, 0, 0, 0, nullptr, kKey.data()), 0);
  uint8_t in[8] = {0}, out[16];
  ASSERT_EQ(update(&ctx, in, 5, out, sizeof(out)), 0);
  EXPECT_EQ(update(&ctx, in, 0xFFFFFFFFu, out, sizeof(out)), -4);
  EXPECT_EQ(update(&ctx, in, 0xFFFFFFFFu, nullptr, 0), -4);
  EXPECT_EQ(ctx.buffered, 5u);
}
