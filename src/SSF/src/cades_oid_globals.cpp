#include "cades_oid_globals.h"

int g_nNID_id_smime_aa_ets_SigCertV2 = 0;
int g_nNID_id_smime_aa_ets_ArchTsV2 = 0;
