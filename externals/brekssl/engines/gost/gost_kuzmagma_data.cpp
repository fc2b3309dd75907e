#include "engines/gost/gost_kuzmagma_data.h"

#include "objects/ssf_objects.h"

namespace {

const KuzMagmaFamily kKuznechik = {
    "kuznechik",
    16,
    8,
    ssf_nid_kuznechik,
    vkc_kuznyechik_ecb_init,
    vkc_kuznyechik_cbc_init,
    vkc_kuznyechik_ctr_init,
    vkc_kuznyechik_ofb_init,
    vkc_kuznyechik_cfb_init,
    {nullptr, vkc_kuznyechik_ecb_update, vkc_kuznyechik_cbc_update, vkc_kuznyechik_cfb_update,
     vkc_kuznyechik_ofb_update, vkc_kuznyechik_ctr_update},
    vkc_kuznyechik_mac_init,
    vkc_kuznyechik_mac_update,
    vkc_kuznyechik_mac_final,
    {nullptr, "vkc_kuznechik_ecb_init failed\n", "vkc_kuznechik_cbc_init failed\n",
     "vkc_kuznechik_cfb_init failed\n", "vkc_kuznechik_ofb_init failed\n",
     "vkc_kuznechik_ctr_init failed\n"},
    {nullptr, "vkc_kuznechik_ecb_update failed\n", "vkc_kuznechik_cbc_update failed\n",
     "vkc_kuznechik_cfb_update failed\n", "vkc_kuznechik_ofb_update failed\n",
     "vkc_kuznechik_ctr_update failed\n"},
    "vkc_kuznechik_ctrl",
    "vkc_kuznechik_update",
    "vkc_kuznechik_cleanup",
    "kuznechik_set_asn1_parameters",
    "kuznechik_get_asn1_parameters",
    {"vkc_kuznechik_mac_init failed\n", "vkc_kuznechik_mac_update failed\n",
     "vkc_kuznechik_mac_final failed\n", "vkc_kuznechik_mac_ctrl"},
};

const KuzMagmaFamily kMagma = {
    "magma",
    8,
    4,
    ssf_nid_magma,
    vkc_magma_ecb_init,
    vkc_magma_cbc_init,
    vkc_magma_ctr_init,
    vkc_magma_ofb_init,
    vkc_magma_cfb_init,
    {nullptr, vkc_magma_ecb_update, vkc_magma_cbc_update, vkc_magma_cfb_update,
     vkc_magma_ofb_update, vkc_magma_ctr_update},
    vkc_magma_mac_init,
    vkc_magma_mac_update,
    vkc_magma_mac_final,
    {nullptr, "vkc_magma_ecb_init failed\n", "init_cbc_89 failed\n", "vkc_magma_cfb_init failed\n",
     "vkc_magma_ofb_init failed\n", "vkc_magma_ctr_init failed\n"},
    {nullptr, "vkc_magma_ecb_update failed\n", "vkc_magma_cbc_update failed\n",
     "vkc_magma_cfb_update failed\n", "vkc_magma_ofb_update failed\n",
     "vkc_magma_ctr_update failed\n"},
    "vkc_magma_ctrl",
    "vkc_magma_update",
    "vkc_magma_cleanup",
    "magma_set_asn1_parameters",
    "magma_get_asn1_parameters",
    {"vkc_magma_mac_init failed\n", "vkc_magma_mac_update failed\n", "vkc_magma_mac_final failed\n",
     "vkc_magma_mac_ctrl"},
};

}  // namespace

const KuzMagmaFamily& kuzmagma_kuznechik() { return kKuznechik; }
const KuzMagmaFamily& kuzmagma_magma() { return kMagma; }
