// Token fixtures of the "token=" profile tests: the tests' own GOST PKCS#11
// module (configured through its environment variables) and softhsm2 tokens
// for RSA keys.
#ifndef ORVEL_TESTS_TOKEN_TEST_ENV_H
#define ORVEL_TESTS_TOKEN_TEST_ENV_H

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "gost_pki.h"
#include "sign_records.h"
#include "sign_test_pki.h"
#include "test_util.h"

namespace orvel_test {

inline constexpr char kTokenPin[] = "4321";
inline constexpr char kSoftHsmModule[] = "/usr/lib/softhsm/libsofthsm2.so";

inline std::string gost_module_path() { return ORVEL_TEST_P11_MODULE; }

// The GOST module's configuration: the slots, the PIN, the faults and a
// trace file of its sign and derive calls.
inline void configure_gost_module(const std::string& slots, const std::string& faults,
                                  const std::string& trace_file) {
  setenv("ORVEL_P11_SLOTS", slots.c_str(), 1);
  setenv("ORVEL_P11_PIN", kTokenPin, 1);
  setenv("ORVEL_P11_FAULTS", faults.c_str(), 1);
  setenv("ORVEL_P11_TRACE", trace_file.c_str(), 1);
}

inline std::string token_slot(const GostParty& p) { return p.cert_pem + "|" + p.key_pem; }

// A softhsm2 token in a directory of its own holding one RSA key and its
// certificate under CKA_ID 01; SOFTHSM2_CONF points at it.
inline bool make_softhsm_token(const TempDir& dir, const std::string& key_pem,
                               const std::string& cert_pem) {
  const std::string tokens = dir.file("tokens");
  const std::string conf = dir.file("softhsm2.conf");
  sh("mkdir -p '" + tokens + "'");
  write_file(conf, "directories.tokendir = " + tokens +
                       "\nobjectstore.backend = file\nlog.level = ERROR\n");
  setenv("SOFTHSM2_CONF", conf.c_str(), 1);
  const std::string pin = kTokenPin;
  sh("softhsm2-util --init-token --free --label orvel --pin " + pin +
     " --so-pin 87654321 >/dev/null");
  sh("openssl pkcs8 -topk8 -nocrypt -in '" + key_pem + "' -out '" + dir.file("key.p8") + "'");
  sh("softhsm2-util --import '" + dir.file("key.p8") +
     "' --token orvel --label key --id 01 --pin " + pin + " >/dev/null");
  sh("openssl x509 -in '" + cert_pem + "' -outform DER -out '" + dir.file("cert.der") + "'");
  sh(std::string("pkcs11-tool --module ") + kSoftHsmModule + " --token-label orvel --login --pin " +
     pin + " --write-object '" + dir.file("cert.der") +
     "' --type cert --id 01 --label cert >/dev/null 2>&1");
  return !::testing::Test::HasFatalFailure();
}

}  // namespace orvel_test

#endif
