// The process-wide cache from SNILS to certificate fingerprint, filled only
// by the host, and the single-fingerprint request that consults it first.
#include <openssl/crypto.h>

#include <cstring>

#include "hok_client.h"
#include "log.h"
#include "ossl_ptr.h"
#include "startup.h"

HokSnilsCacheTable HokSnilsCache = {};

const char* snils_cache_get_fingerprint(const char* snils) {
  if (snils == nullptr) return nullptr;
  for (int i = 0; i < HokSnilsCache.count; ++i)
    if (strcmp(HokSnilsCache.entries[i].snils, snils) == 0)
      return HokSnilsCache.entries[i].fingerprint;
  return nullptr;
}

int snils_cache_add_fingerprint(const char* snils, const char* fingerprint) {
  static const char kFunc[] = "snils_cache_add_fingerprint";
  init_lib();
  if (snils == nullptr || fingerprint == nullptr) {
    log_err("%s() 1 : snils or fingerprint is NULL", kFunc);
    return -1;
  }
  // Texts that do not fit their fields are refused, never cut.
  if (strnlen(snils, kHokSnilsField) >= size_t(kHokSnilsField) ||
      strnlen(fingerprint, kHokFingerprintField) >= size_t(kHokFingerprintField)) {
    log_err("%s() 2 : snils (at most %d) or fingerprint (at most %d characters) is too long", kFunc,
            kHokSnilsField - 1, kHokFingerprintField - 1);
    return -1;
  }
  HokSnilsCacheEntry* entry = nullptr;
  for (int i = 0; i < HokSnilsCache.count && entry == nullptr; ++i)
    if (strcmp(HokSnilsCache.entries[i].snils, snils) == 0) entry = &HokSnilsCache.entries[i];
  if (entry == nullptr) {
    if (HokSnilsCache.count >= kHokCacheEntries) {
      log_err("%s() 3 : cache is full (%d entries), '%s' not added", kFunc, kHokCacheEntries,
              snils);
      return -1;
    }
    entry = &HokSnilsCache.entries[HokSnilsCache.count++];
    memcpy(entry->snils, snils, strlen(snils) + 1);
  }
  memcpy(entry->fingerprint, fingerprint, strlen(fingerprint) + 1);
  return 0;
}

char* hok_get_single_fingerprint_by_snils(const char* snils) {
  static const char kFunc[] = "hok_get_single_fingerprint_by_snils";
  init_lib();
  if (snils == nullptr) {
    log_err("%s() 1 : snils is NULL", kFunc);
    return nullptr;
  }
  try {
    char* result = nullptr;
    if (const char* cached = snils_cache_get_fingerprint(snils); cached != nullptr) {
      log_write("%s() : fingerprint for snils '%s' found in cache", kFunc, snils);
      result = OPENSSL_strdup(cached);
    } else {
      char* run = nullptr;
      if (hok_get_fingerprint_by_snils(snils, &run) != 0) {
        log_err("%s() 1 : hok_get_fingerprint_by_snils( '%s' ) failed", kFunc, snils);
        return nullptr;
      }
      orvel::CharsPtr owner(run);
      log_write("%s() : snils '%s' -> fingerprints:", kFunc, snils);
      for (const char* p = run; *p != '\0'; p += strlen(p) + 1)
        log_write("%s() : \t'%s'", kFunc, p);
      log_write("%s() : in server mode we take the first fingerprint", kFunc);
      result = OPENSSL_strdup(run);
    }
    if (result != nullptr) log_write("%s() : selected id: '%s'", kFunc, result);
    return result;
  } catch (...) {
    log_err("%s() : out of memory", kFunc);
    return nullptr;
  }
}
