// Signer records and output strings of the library loaded by the test host.
#ifndef ORVEL_TESTS_SIGN_RECORDS_H
#define ORVEL_TESTS_SIGN_RECORDS_H

#include <gtest/gtest.h>

#include <string>

#include "frame_host.h"

namespace orvel_test {

// A signer list built through SsfNEWSigRcpSsfInfo / SsfINSSigRcpSsfInfo.
class Records {
 public:
  explicit Records(const Host& host) : host_(host) {}
  ~Records() {
    if (head_) host_.DELSigRcpSsfInfoList(&head_);
  }
  Records(const Records&) = delete;
  Records& operator=(const Records&) = delete;

  // A record with uResult 28 (initial value); an empty password is absent.
  SigRcpSsfInfo* add(const std::string& id, const std::string& profile,
                     const std::string& password = "") {
    SigRcpSsfInfo* r = nullptr;
    EXPECT_EQ(host_.NEWSigRcpSsfInfo(id.data(), static_cast<SsfInt>(id.size()), nullptr, 0, profile.data(),
                        static_cast<SsfInt>(profile.size()), password.data(),
                        static_cast<SsfInt>(password.size()), 28, &r),
              0);
    EXPECT_EQ(host_.INSSigRcpSsfInfo(r, &head_), 0);
    return r;
  }
  SigRcpSsfInformationList head() const { return head_; }
  int result(int i) const {
    auto* e = head_;
    while (i-- > 0 && e) e = e->next;
    return e && e->ptrSigRcp ? e->ptrSigRcp->uResult : -1;
  }

 private:
  const Host& host_;
  SigRcpSsfInformationList head_ = nullptr;
};

// An output octet string, freed through SsfDELSsfOctetstring.
struct Output {
  explicit Output(const Host& h) : host(h) {}
  ~Output() { host.DELSsfOctetstring(&data, &len); }
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;
  std::string str() const {
    return data ? std::string(reinterpret_cast<const char*>(data), static_cast<size_t>(len)) : "";
  }
  const Host& host;
  unsigned char* data = nullptr;
  SsfInt len = 0;
};

// SsfSign with a format and "SHA1".
inline int host_sign(const Host& h, const std::string& format, const std::string& input,
                     const Records& signers, Output* out, bool inc_certs = true,
                     bool detached = false) {
  static const std::string hash = "SHA1";
  return h.Sign(format.data(), static_cast<SsfInt>(format.size()), hash.data(),
                static_cast<SsfInt>(hash.size()), inc_certs, detached,
                reinterpret_cast<const unsigned char*>(input.data()),
                static_cast<SsfInt>(input.size()), signers.head(), &out->data, &out->len);
}

// SsfAddSign with a format and "SHA1"; an empty input is absent.
inline int host_add_sign(const Host& h, const std::string& format, const std::string& signed_data,
                         const std::string& input, SigRcpSsfInfo* signer, Output* out,
                         bool inc_certs = true) {
  static const std::string hash = "SHA1";
  return h.AddSign(format.data(), static_cast<SsfInt>(format.size()), hash.data(),
                   static_cast<SsfInt>(hash.size()), inc_certs,
                   reinterpret_cast<const unsigned char*>(signed_data.data()),
                   static_cast<SsfInt>(signed_data.size()),
                   input.empty() ? nullptr : reinterpret_cast<const unsigned char*>(input.data()),
                   static_cast<SsfInt>(input.size()), signer, &out->data, &out->len);
}

}  // namespace orvel_test

#endif
