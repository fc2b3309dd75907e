// Mode initialisations without the self-test, for the self-tests
// themselves and the one-shot MACs.
#ifndef VKC_GOST3413_IMPL_H
#define VKC_GOST3413_IMPL_H

#include <stdint.h>

#include "vkc_modes.h"

namespace vkc::modes {

int32_t init_ecb_K_impl(VkcModeContext* ctx, uint8_t encrypt, const uint8_t* key);
int32_t init_cbc_K_impl(VkcModeContext* ctx, uint8_t encrypt, const uint8_t* key, const uint8_t* iv,
                        uint64_t m);
int32_t init_ofb_K_impl(VkcModeContext* ctx, uint8_t encrypt, const uint8_t* key, uint64_t s,
                        const uint8_t* iv, uint64_t m);
int32_t init_cfb_K_impl(VkcModeContext* ctx, uint8_t encrypt, const uint8_t* key, uint64_t s,
                        const uint8_t* iv, uint64_t m);
int32_t init_ctr_K_impl(VkcModeContext* ctx, uint8_t encrypt, const uint8_t* key, uint64_t s,
                        const uint8_t* iv);
int32_t init_mac_K_impl(VkcModeContext* ctx, const uint8_t* key, uint64_t s);

int32_t init_ecb_M_impl(VkcModeContext* ctx, uint8_t encrypt, const uint8_t* key);
int32_t init_cbc_M_impl(VkcModeContext* ctx, uint8_t encrypt, const uint8_t* key, const uint8_t* iv,
                        uint64_t m);
int32_t init_ofb_M_impl(VkcModeContext* ctx, uint8_t encrypt, const uint8_t* key, uint64_t s,
                        const uint8_t* iv, uint64_t m);
int32_t init_cfb_M_impl(VkcModeContext* ctx, uint8_t encrypt, const uint8_t* key, uint64_t s,
                        const uint8_t* iv, uint64_t m);
int32_t init_ctr_M_impl(VkcModeContext* ctx, uint8_t encrypt, const uint8_t* key, uint64_t s,
                        const uint8_t* iv);
int32_t init_mac_M_impl(VkcModeContext* ctx, const uint8_t* key, uint64_t s);

}  // namespace vkc::modes

#endif
