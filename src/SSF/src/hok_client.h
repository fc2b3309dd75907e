// The hok certificate directory client: recognises a SNILS, asks the SOAP
// directory for the certificate fingerprints of a SNILS owner
// (getCertsByOwner) and for a certificate by fingerprint (getCertsByIds),
// trying the configured URLs in turn; and a small process-wide cache from
// SNILS to fingerprint that the host fills.
#ifndef ORVEL_SSF_HOK_CLIENT_H
#define ORVEL_SSF_HOK_CLIENT_H

#include <openssl/bio.h>
#include <openssl/x509.h>

#include <cstdint>

#include "list.h"
#include "orvel_export.h"

// Every failure of a directory request gives this result ("Certificate not
// found").
constexpr int kHokNotFound = 26;

// 1 when the text is a SNILS: "ddd-ddd-ddd dd" (14 characters). A length of
// -1 means a NUL-terminated text whose strlen must be 14.
int is_snils(const char* text, int len);

// 1 when hok:hok_urls is configured (and not empty), else 0.
int hok_is_specified();

// 0 and a response run (texts, each NUL-terminated, ended by an empty text;
// toolkit allocator, the caller frees it) of the certificate fingerprints of
// the SNILS owner; 26 on every failure.
int hok_get_fingerprint_by_snils(const char* snils, char** fingerprints);

// 0 and the certificate of that fingerprint in *cert (a certificate *cert
// already held is freed); 26 on every failure.
int hok_get_cert_by_fingerprint(const char* fingerprint, X509** cert);

// Sends the body to the URL and returns the response run of the texts
// between begin_tag and the following end_tag; null on failure.
char* get_hok_resp(const char* url, const char* body, const char* begin_tag, const char* end_tag);

// Writes the POST request to the connected BIO and reads the answer until
// the peer closes (connections come from the shared network layer, with its
// deadline); the body of a 200 answer, its chunked transfer coding and
// gzip/deflate content coding undone, as one NUL-terminated buffer (toolkit
// allocator), else null with the toolkit error.
char* send_and_recv_hok_resp(BIO* bio, const char* host, const char* port, const char* path,
                             const char* body);

// The URLs of a comma-separated list, each a NUL-terminated copy from the
// toolkit's allocator; null for a null text or no memory.
list_head* create_url_list(const char* urls);

// The process-wide SNILS cache: 50 entries, each a SNILS of at most 19 and a
// fingerprint of at most 99 characters.
constexpr int kHokCacheEntries = 50;
constexpr int kHokSnilsField = 20;
constexpr int kHokFingerprintField = 100;

struct HokSnilsCacheEntry {
  char snils[kHokSnilsField];
  char fingerprint[kHokFingerprintField];
};

struct HokSnilsCacheTable {
  HokSnilsCacheEntry entries[kHokCacheEntries];
  int32_t count;
};

extern HokSnilsCacheTable HokSnilsCache;

// The fingerprint stored for the SNILS (a pointer into the table), or null.
const char* snils_cache_get_fingerprint(const char* snils);

extern "C" {

// Stores the pair (replacing the fingerprint of a SNILS already stored).
// 0 when stored; -1 (nothing stored, with an ERROR line) for a null text, a
// SNILS or fingerprint too long for its field, or a full table.
ORVEL_EXPORT int snils_cache_add_fingerprint(const char* snils, const char* fingerprint);

// One certificate fingerprint of the SNILS owner, from the cache or else the
// first the directory gives; a new text from the toolkit's allocator (the
// caller frees it with OPENSSL_free), or null.
ORVEL_EXPORT char* hok_get_single_fingerprint_by_snils(const char* snils);

}  // extern "C"

namespace orvel {

// Test seam: forgets the URL list, so the next request splits hok_urls anew.
void hok_reset_url_list();

}  // namespace orvel

#endif
