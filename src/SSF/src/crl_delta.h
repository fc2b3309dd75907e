// Delta CRLs and the entries of a certificate in a CRL: whether a delta
// CRL continues a complete CRL, and whether a complete CRL read with its
// deltas revokes a certificate (a hold, certificateHold, that a following
// delta releases with removeFromCRL does not).
#ifndef ORVEL_SSF_CRL_DELTA_H
#define ORVEL_SSF_CRL_DELTA_H

#include <openssl/x509.h>

#include <string>
#include <vector>

// Whether a CRL is a delta CRL (deltaCRLIndicator): it lists only the
// changes since its base and never decides a status alone.
bool is_delta_crl(const X509_CRL* crl);

// Whether a CRL names a delta CRL (freshestCRL).
bool names_delta_crl(const X509_CRL* crl);

// Whether a delta CRL's numbers continue the complete CRL: its base is no
// newer than the complete CRL, and it is newer itself. An older delta (or
// a complete CRL in its place) knows nothing of what changed since.
bool delta_numbers_follow(X509_CRL* delta, X509_CRL* crl);

// Whether a delta CRL continues the complete CRL (its numbers follow, one
// scope) and may release its holds: not as an indirect CRL, where an entry
// may be of another CA's certificate, nor with a critical extension that
// is not processed.
bool delta_follows(X509_CRL* delta, X509_CRL* crl);

// A CRL number (NID_crl_number) or delta base (NID_delta_crl) for the trace
// log; "none" when it is absent.
std::string crl_number_text(X509_CRL* crl, int nid);

// Whether a delta CRL lists the serial number with an entry that revokes:
// any but removeFromCRL, which says the certificate left the list.
bool delta_revokes(const ASN1_INTEGER* serial, X509_CRL* delta);

// Whether the certificate with this serial number stands revoked by a
// complete CRL read with delta CRLs of the same issuer. An entry of the
// complete CRL revokes, and so does every delta entry that delta_revokes
// names. A hold (certificateHold) of the complete CRL is released when the
// deltas may release (their signatures verified with the issuer's key), the
// newest delta that follows the complete CRL (delta_follows) lists the
// serial number as removeFromCRL (every such delta, where several carry the
// highest CRL number), and the hold is the complete CRL's one entry for it.
bool revoked_by_crls(const ASN1_INTEGER* serial, X509_CRL* crl,
                     const std::vector<X509_CRL*>& deltas, bool deltas_may_release);

#endif
