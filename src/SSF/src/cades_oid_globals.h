// Object numbers of the two CAdES attribute types that start-up resolves or
// registers: signingCertificateV2 and archiveTimestampV2. 0 until then.
#ifndef ORVEL_SSF_CADES_OID_GLOBALS_H
#define ORVEL_SSF_CADES_OID_GLOBALS_H

extern int g_nNID_id_smime_aa_ets_SigCertV2;
extern int g_nNID_id_smime_aa_ets_ArchTsV2;

#endif
