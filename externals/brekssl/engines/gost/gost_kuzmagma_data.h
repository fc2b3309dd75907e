// Data the toolkit allocates beside every Kuznyechik and Magma cipher
// context and every Kuznyechik and Magma MAC context, and the table of the
// two block-cipher families that the cipher, MAC and parameter code share.
#ifndef ORVEL_GOST_KUZMAGMA_DATA_H
#define ORVEL_GOST_KUZMAGMA_DATA_H

#include <cstdint>

#include "vkc_modes.h"

inline constexpr int kKuzMagmaKeyLength = 32;
// Longest IV a context takes (through the IV-length control). The toolkit
// keeps at most 16 bytes of IV itself, so the IVs live here.
inline constexpr int kKuzMagmaMaxIv = 32;

struct Vkc2016CipherData {
  uint8_t key[kKuzMagmaKeyLength];  // copy of the last key given
  uint32_t key_set;
  uint32_t nid;  // the cipher's (or MAC's) own NID, set at every init
  uint32_t unused;
  uint32_t iv_len_override;            // 0: the cipher's IV length
  uint8_t saved_iv[kKuzMagmaMaxIv];    // IV as first given (or read from parameters)
  uint8_t working_iv[kKuzMagmaMaxIv];  // IV of the last init
  VkcModeContext mode;
};

// Toolkit mode numbers of the cipher objects, as EVP_CIPH_*_MODE.
enum KuzMagmaMode : int { kModeEcb = 1, kModeCbc = 2, kModeCfb = 3, kModeOfb = 4, kModeCtr = 5 };

using VkcInitEcb = int32_t (*)(VkcModeContext*, uint8_t, const uint8_t*);
using VkcInitCbc = int32_t (*)(VkcModeContext*, uint8_t, const uint8_t*, const uint8_t*, uint64_t);
using VkcInitCtr = int32_t (*)(VkcModeContext*, uint8_t, const uint8_t*, uint64_t, const uint8_t*);
using VkcInitFeedback = int32_t (*)(VkcModeContext*, uint8_t, const uint8_t*, uint64_t,
                                    const uint8_t*, uint64_t);
using VkcUpdate = int32_t (*)(VkcModeContext*, const uint8_t*, uint8_t*, uint64_t);
using VkcMacInit = int32_t (*)(VkcModeContext*, const uint8_t*, uint64_t);
using VkcMacUpdate = int32_t (*)(VkcModeContext*, const uint8_t*, uint64_t);
using VkcMacFinal = int32_t (*)(VkcModeContext*, uint8_t*);

// One block cipher (Kuznyechik or Magma) with its modes and messages.
// Arrays indexed by mode are indexed by KuzMagmaMode (entry 0 unused).
struct KuzMagmaFamily {
  const char* name;     // "kuznechik" / "magma", as the messages print it
  int block;            // n
  int mac_size;         // bytes of MAC the digest gives out
  int (*family_nid)();  // object written as the parameter set
  VkcInitEcb ecb_init;
  VkcInitCbc cbc_init;
  VkcInitCtr ctr_init;
  VkcInitFeedback ofb_init;
  VkcInitFeedback cfb_init;
  VkcUpdate update[6];
  VkcMacInit mac_init;
  VkcMacUpdate mac_update;
  VkcMacFinal mac_final;
  const char* init_failed[6];
  const char* update_failed[6];
  const char* ctrl_name;        // "vkc_kuznechik_ctrl"
  const char* update_name;      // "vkc_kuznechik_update"
  const char* cleanup_name;     // "vkc_kuznechik_cleanup"
  const char* set_params_name;  // "kuznechik_set_asn1_parameters"
  const char* get_params_name;  // "kuznechik_get_asn1_parameters"
  const char* mac_msgs[4];      // init, update, final failed; ctrl name
};

const KuzMagmaFamily& kuzmagma_kuznechik();
const KuzMagmaFamily& kuzmagma_magma();

// IV length of a mode of a family without override: none for ECB, half a
// block for CTR, a block for the others.
inline int kuzmagma_iv_length(const KuzMagmaFamily& f, int mode) {
  if (mode == kModeEcb) return 0;
  if (mode == kModeCtr) return f.block / 2;
  return f.block;
}

// The IV length a context works with: the override, else the mode's.
inline int kuzmagma_effective_iv_length(const KuzMagmaFamily& f, int mode,
                                        const Vkc2016CipherData* c) {
  return c->iv_len_override != 0 ? static_cast<int>(c->iv_len_override)
                                 : kuzmagma_iv_length(f, mode);
}

// Whether an IV-length override fits a mode: only the register modes take
// longer IVs, a whole number of blocks from one block up to 32 bytes.
inline bool kuzmagma_override_ok(const KuzMagmaFamily& f, int mode, int len) {
  if (mode != kModeCbc && mode != kModeOfb && mode != kModeCfb) return false;
  return len >= f.block && len <= kKuzMagmaMaxIv && len % f.block == 0;
}

#endif
