// A PKCS#11 module for the tests: GOST R 34.10 keys on simulated tokens,
// built on GnuTLS (key and certificate files) and nettle (signatures, VKO,
// hashes), independent of the library under test.
//
// Configuration, read by C_Initialize from the environment:
//   ORVEL_P11_SLOTS   slots with a token, separated by ';': "cert.pem|key.pem"
//                     puts that pair on the token (CKA_ID 0a 1b <slot>), an
//                     empty entry leaves the token without objects
//   ORVEL_P11_PIN     the user PIN (default "1234")
//   ORVEL_P11_FAULTS  comma list: already_init (C_Initialize answers 0x191),
//                     logged_in (C_Login answers 0x100), no_token, long_id
//                     (32-byte CKA_ID), many_objects (300 other certificates
//                     first), other_key_id (private key under another id),
//                     bad_kek (a wrong derived key)
//                     no_pubkey (no public key object)
//   ORVEL_P11_TRACE   file that gets one line per call of interest
//                     ("sign <mechanism> <signature length>", "derive <mech>",
//                     "initialize", "finalize", "generate <mechanism>")
#include <gmp.h>
#include <gnutls/gnutls.h>
#include <gnutls/x509.h>
#include <nettle/ecc-curve.h>
#include <nettle/ecc.h>
#include <nettle/ecdsa.h>
#include <nettle/gostdsa.h>
#include <nettle/gosthash94.h>
#include <nettle/streebog.h>
#include <sys/random.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "engines/pkcs11/pk11_types.h"

namespace {

using Bytes = std::vector<unsigned char>;

struct Object {
  CK_OBJECT_HANDLE handle;
  CK_SLOT_ID slot;
  std::map<CK_ATTRIBUTE_TYPE, Bytes> attrs;
  // Private keys: the scalar (big-endian) and its curve.
  Bytes scalar;
  const ecc_curve* curve = nullptr;
  bool gost01 = false;
};

struct Session {
  CK_SLOT_ID slot;
  std::vector<CK_OBJECT_HANDLE> found;
  size_t pos = 0;
  bool finding = false;
  CK_MECHANISM_TYPE sign_mech = 0;
  CK_OBJECT_HANDLE sign_key = 0;
  bool signing = false;
};

struct State {
  bool initialised = false;
  std::string config;  // the environment the configuration was read from
  std::vector<CK_SLOT_ID> slots;
  std::map<CK_SLOT_ID, bool> logged_in;
  std::vector<Object> objects;
  std::map<CK_SESSION_HANDLE, Session> sessions;
  CK_SESSION_HANDLE next_session = 1;
  CK_OBJECT_HANDLE next_object = 100;
  std::string pin = "1234";
  std::string faults;
  std::string trace;
};

State* g_state = nullptr;

State& st() {
  if (g_state == nullptr) g_state = new State;
  return *g_state;
}

// The state goes with the module (the engine unloads it after its last
// reference).
__attribute__((destructor)) void free_state() {
  delete g_state;
  g_state = nullptr;
}

bool fault(const char* name) { return st().faults.find(name) != std::string::npos; }

void trace(const std::string& line) {
  if (st().trace.empty()) return;
  std::ofstream(st().trace, std::ios::app) << line << "\n";
}

Bytes ulong_bytes(CK_ULONG v) {
  Bytes b(sizeof(v));
  memcpy(b.data(), &v, sizeof(v));
  return b;
}

Bytes oid_der(const char* dotted) {
  std::vector<unsigned long> arcs;
  std::stringstream ss(dotted);
  std::string part;
  while (std::getline(ss, part, '.')) arcs.push_back(std::stoul(part));
  Bytes content;
  content.push_back(static_cast<unsigned char>(arcs[0] * 40 + arcs[1]));
  for (size_t i = 2; i < arcs.size(); i++) {
    unsigned char tmp[10];
    int n = 0;
    unsigned long v = arcs[i];
    do {
      tmp[n++] = static_cast<unsigned char>(v & 0x7f);
      v >>= 7;
    } while (v != 0);
    while (n > 1) content.push_back(static_cast<unsigned char>(tmp[--n] | 0x80));
    content.push_back(tmp[0]);
  }
  Bytes der{0x06, static_cast<unsigned char>(content.size())};
  der.insert(der.end(), content.begin(), content.end());
  return der;
}

Bytes datum_bytes(const gnutls_datum_t& d) { return Bytes(d.data, d.data + d.size); }

// Big-endian value padded or trimmed to n bytes.
Bytes fixed_be(const Bytes& v, size_t n) {
  Bytes out(n, 0);
  size_t skip = 0;
  while (v.size() - skip > n && v[skip] == 0) skip++;
  const size_t len = v.size() - skip;
  memcpy(out.data() + (n - len), v.data() + skip, len);
  return out;
}

Bytes reversed(Bytes b) { return Bytes(b.rbegin(), b.rend()); }

Object& add_object(CK_SLOT_ID slot, CK_OBJECT_CLASS cls) {
  Object o;
  o.handle = st().next_object++;
  o.slot = slot;
  o.attrs[CKA_CLASS] = ulong_bytes(cls);
  o.attrs[CKA_TOKEN] = Bytes{CK_TRUE};
  st().objects.push_back(std::move(o));
  return st().objects.back();
}

std::string read_text(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

bool load_pair(CK_SLOT_ID slot, const std::string& cert_file, const std::string& key_file) {
  const std::string cert_pem = read_text(cert_file);
  const std::string key_pem = read_text(key_file);
  gnutls_datum_t in{reinterpret_cast<unsigned char*>(const_cast<char*>(cert_pem.data())),
                    static_cast<unsigned>(cert_pem.size())};
  gnutls_x509_crt_t crt;
  gnutls_x509_crt_init(&crt);
  if (gnutls_x509_crt_import(crt, &in, GNUTLS_X509_FMT_PEM) < 0) {
    gnutls_x509_crt_deinit(crt);
    return false;
  }
  gnutls_datum_t der{};
  gnutls_x509_crt_export2(crt, GNUTLS_X509_FMT_DER, &der);
  gnutls_x509_crt_deinit(crt);
  Bytes cert_der = datum_bytes(der);
  gnutls_free(der.data);

  gnutls_datum_t kin{reinterpret_cast<unsigned char*>(const_cast<char*>(key_pem.data())),
                     static_cast<unsigned>(key_pem.size())};
  gnutls_x509_privkey_t key;
  gnutls_x509_privkey_init(&key);
  if (gnutls_x509_privkey_import(key, &kin, GNUTLS_X509_FMT_PEM) < 0) {
    gnutls_x509_privkey_deinit(key);
    return false;
  }
  const int algo = gnutls_x509_privkey_get_pk_algorithm(key);
  gnutls_ecc_curve_t curve;
  gnutls_digest_algorithm_t digest;
  gnutls_gost_paramset_t paramset;
  gnutls_datum_t x{}, y{}, k{};
  const int rc = gnutls_x509_privkey_export_gost_raw(key, &curve, &digest, &paramset, &x, &y, &k);
  gnutls_x509_privkey_deinit(key);
  if (rc < 0) return false;
  const bool wide = algo == GNUTLS_PK_GOST_12_512;
  const size_t n = wide ? 64 : 32;
  // GnuTLS gives the GOST values little-endian.
  Bytes pub = reversed(fixed_be(reversed(datum_bytes(x)), n));
  Bytes py = reversed(fixed_be(reversed(datum_bytes(y)), n));
  pub.insert(pub.end(), py.begin(), py.end());
  Bytes scalar = fixed_be(reversed(datum_bytes(k)), n);
  gnutls_free(x.data);
  gnutls_free(y.data);
  gnutls_free(k.data);

  Bytes id{0x0a, 0x1b, static_cast<unsigned char>(slot)};
  if (fault("long_id")) id.assign(32, static_cast<unsigned char>(slot));
  const CK_KEY_TYPE key_type = wide ? CKK_TC26_GOSTR3410_512 : CKK_GOSTR3410;
  const Bytes params = oid_der(gnutls_ecc_curve_get_oid(curve));
  const Bytes hash_params = oid_der(algo == GNUTLS_PK_GOST_01 ? "1.2.643.2.2.30.1"
                                    : wide                    ? "1.2.643.7.1.1.2.3"
                                                              : "1.2.643.7.1.1.2.2");

  Object& c = add_object(slot, CKO_CERTIFICATE);
  c.attrs[CKA_VALUE] = cert_der;
  c.attrs[CKA_ID] = id;
  c.attrs[CKA_CERTIFICATE_TYPE] = ulong_bytes(CKC_X_509);
  c.attrs[CKA_LABEL] = Bytes{'c', 'e', 'r', 't'};

  if (!fault("no_pubkey")) {
    Object& pk = add_object(slot, CKO_PUBLIC_KEY);
    pk.attrs[CKA_ID] = id;
    pk.attrs[CKA_KEY_TYPE] = ulong_bytes(key_type);
    pk.attrs[CKA_VALUE] = pub;
    pk.attrs[CKA_GOSTR3410_PARAMS] = params;
    pk.attrs[CKA_GOSTR3411_PARAMS] = hash_params;
    pk.attrs[CKA_LABEL] = Bytes{'k', 'e', 'y'};
  }

  Object& sk = add_object(slot, CKO_PRIVATE_KEY);
  sk.attrs[CKA_ID] = fault("other_key_id") ? Bytes{0x77} : id;
  sk.attrs[CKA_KEY_TYPE] = ulong_bytes(key_type);
  sk.attrs[CKA_GOSTR3410_PARAMS] = params;
  sk.attrs[CKA_GOSTR3411_PARAMS] = hash_params;
  sk.scalar = scalar;
  sk.curve = wide ? nettle_get_gost_gc512a() : nettle_get_gost_gc256b();
  sk.gost01 = algo == GNUTLS_PK_GOST_01;
  return true;
}

void configure() {
  State& s = st();
  s.objects.clear();
  s.slots.clear();
  s.logged_in.clear();
  const char* pin = getenv("ORVEL_P11_PIN");
  s.pin = pin ? pin : "1234";
  const char* faults = getenv("ORVEL_P11_FAULTS");
  s.faults = faults ? faults : "";
  const char* tr = getenv("ORVEL_P11_TRACE");
  s.trace = tr ? tr : "";
  if (fault("no_token")) return;
  const char* slots = getenv("ORVEL_P11_SLOTS");
  std::stringstream ss(slots ? slots : "");
  std::string entry;
  CK_SLOT_ID id = 1;
  while (std::getline(ss, entry, ';')) {
    s.slots.push_back(id);
    if (fault("many_objects")) {
      // Certificates that are not the one looked for, ahead of it.
      for (int i = 0; i < 300; i++) {
        Object& o = add_object(id, CKO_CERTIFICATE);
        o.attrs[CKA_VALUE] = Bytes{0x30, 0x00};
        o.attrs[CKA_ID] = Bytes{0x55};
      }
    }
    const auto bar = entry.find('|');
    if (bar != std::string::npos) load_pair(id, entry.substr(0, bar), entry.substr(bar + 1));
    id++;
  }
}

Object* find_object(CK_OBJECT_HANDLE h) {
  for (auto& o : st().objects)
    if (o.handle == h) return &o;
  return nullptr;
}

Session* find_session(CK_SESSION_HANDLE h) {
  auto it = st().sessions.find(h);
  return it == st().sessions.end() ? nullptr : &it->second;
}

bool is_private(const Object& o) {
  CK_ULONG cls;
  memcpy(&cls, o.attrs.at(CKA_CLASS).data(), sizeof(cls));
  return cls == CKO_PRIVATE_KEY || cls == CKO_SECRET_KEY;
}

void random_bytes(void* /*ctx*/, size_t n, uint8_t* dst) {
  while (n > 0) {
    const ssize_t got = getrandom(dst, n, 0);
    if (got <= 0) abort();
    dst += got;
    n -= static_cast<size_t>(got);
  }
}

void scalar_of(const Object& key, ecc_scalar* s) {
  mpz_t z;
  mpz_init(z);
  mpz_import(z, key.scalar.size(), 1, 1, 0, 0, key.scalar.data());
  ecc_scalar_init(s, key.curve);
  ecc_scalar_set(s, z);
  mpz_clear(z);
}

// --- the PKCS#11 functions -------------------------------------------------

std::string env_config() {
  std::string c;
  for (const char* name : {"ORVEL_P11_SLOTS", "ORVEL_P11_PIN", "ORVEL_P11_FAULTS"}) {
    const char* v = getenv(name);
    c += std::string(v ? v : "") + "\n";
  }
  return c;
}

CK_RV C_Initialize(void*) {
  // A module stays initialised in the library's process: a test that
  // changes the configuration gets it on the next C_Initialize.
  if (st().initialised) {
    if (st().config != env_config()) {
      st().sessions.clear();
      configure();
      st().config = env_config();
    }
    return CKR_CRYPTOKI_ALREADY_INITIALIZED;
  }
  st().config = env_config();
  configure();
  trace("initialize");
  st().initialised = true;
  return fault("already_init") ? CKR_CRYPTOKI_ALREADY_INITIALIZED : CKR_OK;
}

CK_RV C_Finalize(void*) {
  if (!st().initialised) return CKR_CRYPTOKI_NOT_INITIALIZED;
  st().sessions.clear();
  st().initialised = false;
  trace("finalize");
  return CKR_OK;
}

CK_RV C_GetInfo(CK_INFO* info) {
  if (info == nullptr) return CKR_ARGUMENTS_BAD;
  memset(info, ' ', sizeof(*info));
  info->cryptokiVersion = {2, 40};
  info->flags = 0;
  info->libraryVersion = {1, 0};
  return CKR_OK;
}

CK_RV get_function_list(CK_FUNCTION_LIST** list);

CK_RV C_GetSlotList(CK_BBOOL, CK_SLOT_ID* list, CK_ULONG* count) {
  if (!st().initialised) return CKR_CRYPTOKI_NOT_INITIALIZED;
  if (count == nullptr) return CKR_ARGUMENTS_BAD;
  const CK_ULONG n = st().slots.size();
  if (list == nullptr) {
    *count = n;
    return CKR_OK;
  }
  if (*count < n) {
    *count = n;
    return CKR_BUFFER_TOO_SMALL;
  }
  for (CK_ULONG i = 0; i < n; i++) list[i] = st().slots[i];
  *count = n;
  return CKR_OK;
}

CK_RV C_GetSlotInfo(CK_SLOT_ID, CK_SLOT_INFO* info) {
  if (info == nullptr) return CKR_ARGUMENTS_BAD;
  memset(info, ' ', sizeof(*info));
  info->flags = 1;
  return CKR_OK;
}

CK_RV C_GetTokenInfo(CK_SLOT_ID slot, CK_TOKEN_INFO* info) {
  if (info == nullptr) return CKR_ARGUMENTS_BAD;
  memset(info, ' ', sizeof(*info));
  const std::string label = "Orvel test token " + std::to_string(slot);
  const std::string serial = "SN" + std::to_string(1000 + slot);
  memcpy(info->label, label.data(), label.size());
  memcpy(info->serialNumber, serial.data(), serial.size());
  info->flags = 0;
  return CKR_OK;
}

CK_RV C_OpenSession(CK_SLOT_ID slot, CK_FLAGS flags, void*, CK_NOTIFY, CK_SESSION_HANDLE* out) {
  if (!st().initialised) return CKR_CRYPTOKI_NOT_INITIALIZED;
  if (out == nullptr || !(flags & CKF_SERIAL_SESSION)) return CKR_ARGUMENTS_BAD;
  bool known = false;
  for (auto s : st().slots) known = known || s == slot;
  if (!known) return CKR_SLOT_ID_INVALID;
  *out = st().next_session++;
  st().sessions[*out] = Session{slot, {}, 0, false, 0, 0, false};
  return CKR_OK;
}

CK_RV C_CloseSession(CK_SESSION_HANDLE h) {
  if (!st().initialised) return CKR_CRYPTOKI_NOT_INITIALIZED;
  return st().sessions.erase(h) ? CKR_OK : CKR_SESSION_HANDLE_INVALID;
}

CK_RV C_Login(CK_SESSION_HANDLE h, CK_USER_TYPE user, CK_BYTE* pin, CK_ULONG len) {
  Session* s = find_session(h);
  if (s == nullptr) return CKR_SESSION_HANDLE_INVALID;
  if (user != CKU_USER) return CKR_ARGUMENTS_BAD;
  if (pin == nullptr || std::string(reinterpret_cast<char*>(pin), len) != st().pin)
    return CKR_PIN_INCORRECT;
  const bool was = st().logged_in[s->slot];
  st().logged_in[s->slot] = true;
  return (was || fault("logged_in")) ? CKR_USER_ALREADY_LOGGED_IN : CKR_OK;
}

CK_RV C_Logout(CK_SESSION_HANDLE h) {
  Session* s = find_session(h);
  if (s == nullptr) return CKR_SESSION_HANDLE_INVALID;
  st().logged_in[s->slot] = false;
  return CKR_OK;
}

CK_RV C_GetAttributeValue(CK_SESSION_HANDLE h, CK_OBJECT_HANDLE obj, CK_ATTRIBUTE* t,
                          CK_ULONG n) {
  Session* s = find_session(h);
  if (s == nullptr) return CKR_SESSION_HANDLE_INVALID;
  Object* o = find_object(obj);
  if (o == nullptr || o->slot != s->slot) return CKR_OBJECT_HANDLE_INVALID;
  CK_RV rv = CKR_OK;
  for (CK_ULONG i = 0; i < n; i++) {
    auto it = o->attrs.find(t[i].type);
    if (it == o->attrs.end()) {
      t[i].ulValueLen = CK_UNAVAILABLE_INFORMATION;
      rv = CKR_ATTRIBUTE_TYPE_INVALID;
      continue;
    }
    if (t[i].pValue == nullptr) {
      t[i].ulValueLen = it->second.size();
    } else if (t[i].ulValueLen < it->second.size()) {
      t[i].ulValueLen = CK_UNAVAILABLE_INFORMATION;
      rv = CKR_BUFFER_TOO_SMALL;
    } else {
      memcpy(t[i].pValue, it->second.data(), it->second.size());
      t[i].ulValueLen = it->second.size();
    }
  }
  return rv;
}

CK_RV C_SetAttributeValue(CK_SESSION_HANDLE h, CK_OBJECT_HANDLE obj, CK_ATTRIBUTE* t,
                          CK_ULONG n) {
  Session* s = find_session(h);
  if (s == nullptr) return CKR_SESSION_HANDLE_INVALID;
  Object* o = find_object(obj);
  if (o == nullptr || o->slot != s->slot) return CKR_OBJECT_HANDLE_INVALID;
  for (CK_ULONG i = 0; i < n; i++) {
    const auto* p = static_cast<const unsigned char*>(t[i].pValue);
    o->attrs[t[i].type] = Bytes(p, p + t[i].ulValueLen);
  }
  return CKR_OK;
}

CK_RV C_FindObjectsInit(CK_SESSION_HANDLE h, CK_ATTRIBUTE* t, CK_ULONG n) {
  Session* s = find_session(h);
  if (s == nullptr) return CKR_SESSION_HANDLE_INVALID;
  s->found.clear();
  s->pos = 0;
  s->finding = true;
  for (const auto& o : st().objects) {
    if (o.slot != s->slot) continue;
    if (is_private(o) && !st().logged_in[s->slot]) continue;
    bool match = true;
    for (CK_ULONG i = 0; i < n && match; i++) {
      auto it = o.attrs.find(t[i].type);
      const auto* p = static_cast<const unsigned char*>(t[i].pValue);
      match = it != o.attrs.end() && it->second == Bytes(p, p + t[i].ulValueLen);
    }
    if (match) s->found.push_back(o.handle);
  }
  return CKR_OK;
}

CK_RV C_FindObjects(CK_SESSION_HANDLE h, CK_OBJECT_HANDLE* out, CK_ULONG max, CK_ULONG* count) {
  Session* s = find_session(h);
  if (s == nullptr) return CKR_SESSION_HANDLE_INVALID;
  if (!s->finding) return CKR_OPERATION_NOT_INITIALIZED;
  CK_ULONG n = 0;
  while (n < max && s->pos < s->found.size()) out[n++] = s->found[s->pos++];
  *count = n;
  return CKR_OK;
}

CK_RV C_FindObjectsFinal(CK_SESSION_HANDLE h) {
  Session* s = find_session(h);
  if (s == nullptr) return CKR_SESSION_HANDLE_INVALID;
  s->finding = false;
  return CKR_OK;
}

CK_RV C_SignInit(CK_SESSION_HANDLE h, CK_MECHANISM* mech, CK_OBJECT_HANDLE key) {
  Session* s = find_session(h);
  if (s == nullptr) return CKR_SESSION_HANDLE_INVALID;
  if (!st().logged_in[s->slot]) return CKR_USER_NOT_LOGGED_IN;
  Object* o = find_object(key);
  if (o == nullptr || o->curve == nullptr) return CKR_KEY_HANDLE_INVALID;
  const bool wide = o->curve == nettle_get_gost_gc512a();
  const CK_MECHANISM_TYPE want = wide ? CKM_TC26_GOSTR3410_512 : CKM_GOSTR3410;
  if (mech == nullptr || mech->mechanism != want) return CKR_MECHANISM_INVALID;
  s->sign_mech = mech->mechanism;
  s->sign_key = key;
  s->signing = true;
  return CKR_OK;
}

CK_RV C_Sign(CK_SESSION_HANDLE h, CK_BYTE* data, CK_ULONG len, CK_BYTE* sig, CK_ULONG* sig_len) {
  Session* s = find_session(h);
  if (s == nullptr) return CKR_SESSION_HANDLE_INVALID;
  if (!s->signing) return CKR_OPERATION_NOT_INITIALIZED;
  const Object* o = find_object(s->sign_key);
  const size_t n = o->scalar.size();
  if (sig == nullptr) {
    *sig_len = 2 * n;
    return CKR_OK;
  }
  if (*sig_len < 2 * n) {
    *sig_len = 2 * n;
    return CKR_BUFFER_TOO_SMALL;
  }
  s->signing = false;
  if (len != n) return CKR_DATA_LEN_RANGE;
  ecc_scalar key;
  scalar_of(*o, &key);
  dsa_signature signature;
  dsa_signature_init(&signature);
  gostdsa_sign(&key, nullptr, random_bytes, len, data, &signature);
  // s then r, each big-endian.
  memset(sig, 0, 2 * n);
  size_t written = 0;
  mpz_export(sig + n - (mpz_sizeinbase(signature.s, 2) + 7) / 8, &written, 1, 1, 0, 0,
             signature.s);
  mpz_export(sig + 2 * n - (mpz_sizeinbase(signature.r, 2) + 7) / 8, &written, 1, 1, 0, 0,
             signature.r);
  dsa_signature_clear(&signature);
  ecc_scalar_clear(&key);
  *sig_len = 2 * n;
  trace("sign " + std::to_string(s->sign_mech) + " " + std::to_string(*sig_len));
  return CKR_OK;
}

// VKO of the private key with a peer public value (x then y, little-endian)
// and the UKM, hashed into a 32-byte key-encryption key.
bool vko_kek(const Object& key, const unsigned char* pub, size_t pub_len, const unsigned char* ukm,
             size_t ukm_len, Bytes* kek) {
  const size_t n = key.scalar.size();
  if (pub_len != 2 * n) return false;
  mpz_t x, y;
  mpz_inits(x, y, nullptr);
  mpz_import(x, n, -1, 1, 0, 0, pub);
  mpz_import(y, n, -1, 1, 0, 0, pub + n);
  ecc_point peer;
  ecc_point_init(&peer, key.curve);
  const bool on_curve = ecc_point_set(&peer, x, y) == 1;
  mpz_clears(x, y, nullptr);
  if (!on_curve) {
    ecc_point_clear(&peer);
    return false;
  }
  ecc_scalar priv;
  scalar_of(key, &priv);
  Bytes point(2 * n);
  gostdsa_vko(&priv, &peer, ukm_len, ukm, point.data());
  ecc_scalar_clear(&priv);
  ecc_point_clear(&peer);
  kek->assign(32, 0);
  if (key.gost01) {
    gosthash94cp_ctx ctx;
    gosthash94cp_init(&ctx);
    gosthash94cp_update(&ctx, point.size(), point.data());
    gosthash94cp_digest(&ctx, 32, kek->data());
  } else {
    streebog256_ctx ctx;
    streebog256_init(&ctx);
    streebog256_update(&ctx, point.size(), point.data());
    streebog256_digest(&ctx, 32, kek->data());
  }
  if (fault("bad_kek")) (*kek)[0] ^= 1;
  return true;
}

CK_RV C_DeriveKey(CK_SESSION_HANDLE h, CK_MECHANISM* mech, CK_OBJECT_HANDLE base,
                  CK_ATTRIBUTE* t, CK_ULONG n, CK_OBJECT_HANDLE* out) {
  Session* s = find_session(h);
  if (s == nullptr) return CKR_SESSION_HANDLE_INVALID;
  if (!st().logged_in[s->slot]) return CKR_USER_NOT_LOGGED_IN;
  const Object* key = find_object(base);
  if (key == nullptr || key->curve == nullptr || mech == nullptr || out == nullptr)
    return CKR_ARGUMENTS_BAD;
  const unsigned char* pub = nullptr;
  const unsigned char* ukm = nullptr;
  size_t pub_len = 0;
  size_t ukm_len = 0;
  if (mech->mechanism == CKM_GOSTR3410_DERIVE) {
    if (mech->ulParameterLen != sizeof(CK_GOSTR3410_DERIVE_PARAMS)) return CKR_ARGUMENTS_BAD;
    const auto* p = static_cast<const CK_GOSTR3410_DERIVE_PARAMS*>(mech->pParameter);
    if (p->kdf != CKD_NULL) return CKR_ARGUMENTS_BAD;
    pub = p->pPublicData;
    pub_len = p->ulPublicDataLen;
    ukm = p->pUKM;
    ukm_len = p->ulUKMLen;
  } else if (mech->mechanism == CKM_TC26_GOSTR3410_2012_DERIVE) {
    // Packed: kdf, public length, public value, UKM length, UKM (32-bit
    // fields in host order).
    const auto* p = static_cast<const unsigned char*>(mech->pParameter);
    const size_t total = mech->ulParameterLen;
    uint32_t kdf, plen, ulen;
    if (total < 12) return CKR_ARGUMENTS_BAD;
    memcpy(&kdf, p, 4);
    memcpy(&plen, p + 4, 4);
    if (kdf != 1 || 8 + static_cast<size_t>(plen) + 4 > total) return CKR_ARGUMENTS_BAD;
    memcpy(&ulen, p + 8 + plen, 4);
    if (12 + static_cast<size_t>(plen) + ulen != total) return CKR_ARGUMENTS_BAD;
    pub = p + 8;
    pub_len = plen;
    ukm = p + 12 + plen;
    ukm_len = ulen;
  } else {
    return CKR_MECHANISM_INVALID;
  }
  if (key->gost01 != (mech->mechanism == CKM_GOSTR3410_DERIVE)) return CKR_MECHANISM_INVALID;
  Bytes kek;
  if (!vko_kek(*key, pub, pub_len, ukm, ukm_len, &kek)) return CKR_ARGUMENTS_BAD;
  Object& secret = add_object(s->slot, CKO_SECRET_KEY);
  for (CK_ULONG i = 0; i < n; i++) {
    const auto* p = static_cast<const unsigned char*>(t[i].pValue);
    secret.attrs[t[i].type] = Bytes(p, p + t[i].ulValueLen);
  }
  if (secret.attrs.count(CKA_GOST28147_PARAMS) == 0) return CKR_TEMPLATE_INCOMPLETE;
  secret.attrs[CKA_VALUE] = kek;
  *out = secret.handle;
  trace("derive " + std::to_string(mech->mechanism));
  return CKR_OK;
}

// Values of a template attribute, empty when absent.
Bytes templ_value(const CK_ATTRIBUTE* t, CK_ULONG n, CK_ATTRIBUTE_TYPE type) {
  for (CK_ULONG i = 0; i < n; i++)
    if (t[i].type == type) {
      const auto* p = static_cast<const unsigned char*>(t[i].pValue);
      return Bytes(p, p + t[i].ulValueLen);
    }
  return {};
}

CK_RV C_GenerateKeyPair(CK_SESSION_HANDLE h, CK_MECHANISM* mech, CK_ATTRIBUTE* pub_t,
                        CK_ULONG pub_n, CK_ATTRIBUTE* priv_t, CK_ULONG priv_n,
                        CK_OBJECT_HANDLE* pub_out, CK_OBJECT_HANDLE* priv_out) {
  Session* s = find_session(h);
  if (s == nullptr) return CKR_SESSION_HANDLE_INVALID;
  if (!st().logged_in[s->slot]) return CKR_USER_NOT_LOGGED_IN;
  if (mech == nullptr || pub_out == nullptr || priv_out == nullptr) return CKR_ARGUMENTS_BAD;
  const Bytes params = templ_value(pub_t, pub_n, CKA_GOSTR3410_PARAMS);
  const Bytes hash = templ_value(pub_t, pub_n, CKA_GOSTR3411_PARAMS);
  const ecc_curve* curve = nullptr;
  if (params == oid_der("1.2.643.2.2.35.1") || params == oid_der("1.2.643.2.2.36.0") ||
      params == oid_der("1.2.643.7.1.2.1.1.2"))
    curve = nettle_get_gost_gc256b();
  else if (params == oid_der("1.2.643.7.1.2.1.2.1"))
    curve = nettle_get_gost_gc512a();
  if (curve == nullptr) return CKR_TEMPLATE_INCOMPLETE;
  const bool wide = curve == nettle_get_gost_gc512a();
  if (mech->mechanism != (wide ? CKM_TC26_GOSTR3410_512_KEY_PAIR_GEN : CKM_GOSTR3410_KEY_PAIR_GEN))
    return CKR_MECHANISM_INVALID;
  const size_t n = wide ? 64 : 32;
  ecc_point point;
  ecc_scalar key;
  ecc_point_init(&point, curve);
  ecc_scalar_init(&key, curve);
  ecdsa_generate_keypair(&point, &key, nullptr, random_bytes);
  mpz_t x, y, z;
  mpz_inits(x, y, z, nullptr);
  ecc_point_get(&point, x, y);
  ecc_scalar_get(&key, z);
  Bytes value(2 * n, 0), scalar(n, 0);
  size_t count = 0;
  mpz_export(value.data(), &count, -1, 1, 0, 0, x);
  mpz_export(value.data() + n, &count, -1, 1, 0, 0, y);
  mpz_export(scalar.data() + n - (mpz_sizeinbase(z, 2) + 7) / 8, &count, 1, 1, 0, 0, z);
  mpz_clears(x, y, z, nullptr);
  ecc_point_clear(&point);
  ecc_scalar_clear(&key);
  const CK_KEY_TYPE key_type = wide ? CKK_TC26_GOSTR3410_512 : CKK_GOSTR3410;
  Object& pk = add_object(s->slot, CKO_PUBLIC_KEY);
  for (CK_ULONG i = 0; i < pub_n; i++) {
    const auto* p = static_cast<const unsigned char*>(pub_t[i].pValue);
    pk.attrs[pub_t[i].type] = Bytes(p, p + pub_t[i].ulValueLen);
  }
  pk.attrs[CKA_VALUE] = value;
  pk.attrs[CKA_KEY_TYPE] = ulong_bytes(key_type);
  *pub_out = pk.handle;
  Object& sk = add_object(s->slot, CKO_PRIVATE_KEY);
  for (CK_ULONG i = 0; i < priv_n; i++) {
    const auto* p = static_cast<const unsigned char*>(priv_t[i].pValue);
    sk.attrs[priv_t[i].type] = Bytes(p, p + priv_t[i].ulValueLen);
  }
  sk.attrs[CKA_KEY_TYPE] = ulong_bytes(key_type);
  sk.attrs[CKA_GOSTR3410_PARAMS] = params;
  sk.attrs[CKA_GOSTR3411_PARAMS] = hash;
  sk.scalar = scalar;
  sk.curve = curve;
  sk.gost01 = hash == oid_der("1.2.643.2.2.30.1");
  *priv_out = sk.handle;
  trace("generate " + std::to_string(mech->mechanism));
  return CKR_OK;
}

CK_FUNCTION_LIST g_list = [] {
  CK_FUNCTION_LIST l{};
  l.version = {2, 40};
  l.C_Initialize = C_Initialize;
  l.C_Finalize = C_Finalize;
  l.C_GetInfo = C_GetInfo;
  l.C_GetFunctionList = get_function_list;
  l.C_GetSlotList = C_GetSlotList;
  l.C_GetSlotInfo = C_GetSlotInfo;
  l.C_GetTokenInfo = C_GetTokenInfo;
  l.C_OpenSession = C_OpenSession;
  l.C_CloseSession = C_CloseSession;
  l.C_Login = C_Login;
  l.C_Logout = C_Logout;
  l.C_GetAttributeValue = C_GetAttributeValue;
  l.C_SetAttributeValue = C_SetAttributeValue;
  l.C_FindObjectsInit = C_FindObjectsInit;
  l.C_FindObjects = C_FindObjects;
  l.C_FindObjectsFinal = C_FindObjectsFinal;
  l.C_SignInit = C_SignInit;
  l.C_Sign = C_Sign;
  l.C_DeriveKey = C_DeriveKey;
  l.C_GenerateKeyPair = C_GenerateKeyPair;
  return l;
}();

CK_RV get_function_list(CK_FUNCTION_LIST** list) {
  if (list == nullptr) return CKR_ARGUMENTS_BAD;
  *list = &g_list;
  return CKR_OK;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) CK_RV C_GetFunctionList(CK_FUNCTION_LIST** list);

CK_RV C_GetFunctionList(CK_FUNCTION_LIST** list) {
  return get_function_list(list);
}
