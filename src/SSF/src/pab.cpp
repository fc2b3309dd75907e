#include "pab.h"

#include <dirent.h>
#include <openssl/pem.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <string>

#include "log.h"
#include "ossl_ptr.h"

namespace {

struct DirClose {
  void operator()(DIR* d) const noexcept { closedir(d); }
};
struct FileClose {
  void operator()(FILE* f) const noexcept { fclose(f); }
};

// One certificate from a file, by its first byte: 0x30 DER, '-' PEM, 'M'
// bare Base64 wrapped into PEM lines here. Null (with its line) otherwise.
orvel::X509Ptr load_cert_from_file(const char* path) {
  static const char kFunc[] = "load_cert_from_file";
  std::unique_ptr<FILE, FileClose> f(fopen(path, "rb"));
  if (!f) {
    log_err("%s() 1 : failed to open file '%s'", kFunc, path);
    return nullptr;
  }
  std::string content;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f.get())) > 0) content.append(buf, n);
  if (content.empty()) {
    log_err("%s() 2 : failed to read first byte from '%s'", kFunc, path);
    return nullptr;
  }
  const unsigned char first = static_cast<unsigned char>(content[0]);
  orvel::X509Ptr cert;
  if (first == 0x30) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(content.data());
    cert.reset(d2i_X509(nullptr, &p, static_cast<long>(content.size())));
  } else if (first == '-' || first == 'M') {
    if (first == 'M') {
      if (content.back() != '\n') content.push_back('\n');
      content = "-----BEGIN CERTIFICATE-----\n" + content + "-----END CERTIFICATE-----\n";
    }
    orvel::BioPtr bio(BIO_new_mem_buf(content.data(), static_cast<int>(content.size())));
    if (bio) cert.reset(PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr));
  } else {
    log_err("%s() 3 : unknown file format '%s', first byte = 0x%x", kFunc, path, first);
    return nullptr;
  }
  if (!cert) {
    log_err("%s() 4 : failed to load certificate from file '%s'", kFunc, path);
    print_brekssl_errors();
  }
  return cert;
}

}  // namespace

STACK_OF(X509) * load_certs_from_pab_brekssl(const char* dir) {
  static const char kFunc[] = "load_certs_from_pab_brekssl";
  std::unique_ptr<DIR, DirClose> d(dir ? opendir(dir) : nullptr);
  if (!d) {
    log_err("%s() : opendir( '%s' ) failed, errno = %d", kFunc, dir ? dir : "", errno);
    return nullptr;
  }
  orvel::X509StackPtr certs(sk_X509_new_null());
  if (!certs) return nullptr;
  try {
    while (const dirent* e = readdir(d.get())) {
      std::string path = std::string(dir) + "/" + e->d_name;
      if (path.size() > kMaxPabEntryPath) {
        log_err("%s() : path of '%s' is longer than %d characters, skipped", kFunc, e->d_name,
                static_cast<int>(kMaxPabEntryPath));
        continue;
      }
      struct stat st;
      if (stat(path.c_str(), &st) != 0) {
        log_write("%s() :  stat( '%s' ) failed", kFunc, path.c_str());
        continue;
      }
      if (!S_ISREG(st.st_mode)) continue;
      log_write("%s() : '%s'", kFunc, e->d_name);
      orvel::X509Ptr cert = load_cert_from_file(path.c_str());
      if (cert && sk_X509_push(certs.get(), cert.get()) > 0) cert.release();
    }
  } catch (...) {
    return nullptr;
  }
  return certs.release();
}

STACK_OF(X509) * load_certs_from_pab(const char* dir) { return load_certs_from_pab_brekssl(dir); }

int LoadCertificatesFromPAB(X509_STORE** store, const char* path, int length) {
  static const char kFunc[] = "LoadCertificatesFromPAB";
  if (store == nullptr) return -1;
  *store = nullptr;
  if (path == nullptr || length < 1 || length > kMaxPabFilePath) {
    log_err("%s() 1 : bad path, length = %d", kFunc, length);
    return -1;
  }
  const std::string file(path, static_cast<size_t>(length));
  orvel::X509StorePtr s(X509_STORE_new());
  if (!s) {
    log_err("%s() 2 : X509_STORE_new() failed", kFunc);
    return -1;
  }
  X509_LOOKUP* lookup = X509_STORE_add_lookup(s.get(), X509_LOOKUP_file());
  if (lookup == nullptr || X509_LOOKUP_load_file(lookup, file.c_str(), X509_FILETYPE_PEM) <= 0) {
    log_err("%s() 3 : X509_LOOKUP_load_file( '%s' ) failed", kFunc, file.c_str());
    print_brekssl_errors();
    return -1;
  }
  *store = s.release();
  return 1;
}
