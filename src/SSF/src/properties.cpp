#include "properties.h"

#include <openssl/crypto.h>

#include <cstring>
#include <string>

#include "log.h"
#include "operations.h"
#include "sap_string.h"

namespace {

struct Property {
  const char* name;
  const char* value;
};

constexpr Property kProperties[] = {
    {"PROPERTIES", "FORMATS;HASHALGS;ENCRALGS;SSF_POPUPS"},
    {"SSF_POPUPS", "1"},
    {"FORMATS", "PKCS7;PKCS7_CADES;CADES_BES;CADES_XLT1;PKCS7_ANY;BASE64"},
    {"HASHALGS", "GOST-R-34.11-94;GOST-R-34.11-12-256;GOST-R-34.11-12-512;MD5;SHA1"},
    {"ENCRALGS", "GOST-28147-89"},
};

int fill_prop(unsigned char** output, SsfInt* output_len, const char* value) {
  if (output == nullptr || output_len == nullptr || value == nullptr) {
    log_err("fill_prop: bad param");
    log_write("s=%p l=%p prop=%p", static_cast<void*>(output), static_cast<void*>(output_len),
              static_cast<const void*>(value));
    return SSF_API_CRYPTO_FAILED;
  }
  *output_len = 0;
  size_t len = strlen(value);
  auto* out = static_cast<unsigned char*>(OPENSSL_malloc(len));
  if (out == nullptr) {
    log_err("%s() : OPENSSL_malloc( %d ) failed", "fill_prop", static_cast<int>(len));
    return SSF_API_NOMEMORY;
  }
  memcpy(out, value, len);
  *output = out;
  *output_len = static_cast<SsfInt>(len);
  return SSF_API_OK;
}

}  // namespace

const char* find_ssf_property(const char* name, int name_len) {
  if (name == nullptr || name_len < 0) return nullptr;
  for (const Property& p : kProperties)
    if (cmp_cstr_sapstr(p.name, name, name_len)) return p.value;
  return nullptr;
}

int ssf_query_properties(const char* property, int property_len, const char* /*argument*/,
                         int /*argument_len*/, unsigned char** output, SsfInt* output_len) {
  static const char kFunc[] = "ssf_query_properties";
  dbg("%s() begin", kFunc);
  const char* value = find_ssf_property(property, property_len);
  if (value == nullptr) {
    std::string name;
    if (property != nullptr && property_len > 0) name.assign(property, property_len);
    log_err("%s() 1 : NO DATA (propname='%s')", kFunc, name.c_str());
    dbg("%s() end, return code = %d", kFunc, SSF_API_NOINPUT);
    return SSF_API_NOINPUT;
  }
  dbg("%s() : '%s' property was acquired", kFunc, std::string(property, property_len).c_str());
  return fill_prop(output, output_len, value);
}
