// CRL download with libcurl: from one URL, or from the first URL of a list
// whose scheme is in a protocol list. No CRL is cached.
#ifndef ORVEL_SSF_CRL_DOWNLOAD_H
#define ORVEL_SSF_CRL_DOWNLOAD_H

#include <openssl/x509.h>

#include <cstddef>

#include "list.h"

// Time-outs of one transfer, so a dead CRL server cannot hold the host's
// thread for long.
constexpr long kCrlConnectTimeoutSeconds = 30;
constexpr long kCrlTransferTimeoutSeconds = 120;
// A CRL download that grows beyond this is cancelled; large CAs publish
// CRLs of tens of megabytes.
constexpr size_t kCrlMaxBytes = 256u * 1024u * 1024u;

// The download cap in bytes for the tests; 0 restores kCrlMaxBytes.
void set_crl_max_bytes_for_tests(size_t max_bytes);

// Fetches a URL. Returns 0 with a new malloc buffer (a NUL behind the data)
// in *data and its length in *length, the libcurl error code, or -1. An
// "ldap" URL yields the Base64 CRL text of the server's answer.
int InstallCRLFromServer(const char* url, char** data, int* length);

// Downloads and parses a CRL (DER, or bare Base64 without PEM lines).
X509_CRL* download_crl(const char* url);

// For each protocol of proto_list in order, and within it for each URL of
// url_list in order whose scheme is that protocol: the first CRL that
// downloads. Both lists hold NUL-terminated texts. *url_out (when given)
// points to the URL it came from, an element of url_list.
X509_CRL* download_crl_from_list(const list_head* url_list, const list_head* proto_list,
                                 const char** url_out = nullptr);

// Frees a malloc block when not null; the free function of the URL lists.
void mfree(void* p);

#endif
