// Attribute types of CAdES signatures. The toolkit knows all but the two last
// by number; those two are resolved or registered at start-up and their
// numbers are kept in the globals of cades_oid_globals.h.
//
// Every attribute value that the CAdES layer adds is one ANY of universal type
// SEQUENCE holding the DER of the value.
#ifndef ORVEL_SSF_CADES_ATTR_IDS_H
#define ORVEL_SSF_CADES_ATTR_IDS_H

#include <openssl/obj_mac.h>

namespace cades {

// Signed: signing time (Time).
inline constexpr int kNidSigningTime = NID_pkcs9_signingTime;
// Signed attribute of time-stamp tokens: ESS signing certificate, version 1.
inline constexpr int kNidSigningCertificate = NID_id_smime_aa_signingCertificate;
// Unsigned: signature time stamp (time-stamp token ContentInfo).
inline constexpr int kNidSignatureTimeStamp = NID_id_smime_aa_timeStampToken;
// Signed: other signing certificate (OTHERSIGCERT).
inline constexpr int kNidOtherSigCert = NID_id_smime_aa_ets_otherSigCert;
// Unsigned: complete certificate references (SEQUENCE OF OTHERCERTID).
inline constexpr int kNidCertificateRefs = NID_id_smime_aa_ets_CertificateRefs;
// Unsigned: complete revocation references (COMPLETE_REVOCATION_REFS).
inline constexpr int kNidRevocationRefs = NID_id_smime_aa_ets_RevocationRefs;
// Unsigned: certificate values (SEQUENCE OF Certificate).
inline constexpr int kNidCertValues = NID_id_smime_aa_ets_certValues;
// Unsigned: revocation values (REVOCATION_VALUES).
inline constexpr int kNidRevocationValues = NID_id_smime_aa_ets_revocationValues;
// Unsigned: ES-C time stamp (time-stamp token).
inline constexpr int kNidEscTimeStamp = NID_id_smime_aa_ets_escTimeStamp;

// Signed: ESS signing certificate v2 (ESSCERTIDV2).
inline constexpr char kOidSigningCertificateV2[] = "1.2.840.113549.1.9.16.2.47";
inline constexpr char kSnSigningCertificateV2[] = "id-smime-aa-ets-SigningCertificateV2";
// Unsigned: archive time stamp v2 (time-stamp token).
inline constexpr char kOidArchiveTimestampV2[] = "1.2.840.113549.1.9.16.2.48";
inline constexpr char kSnArchiveTimestampV2[] = "id-smime-aa-ets-archiveTimestampV2";

}  // namespace cades

#endif
