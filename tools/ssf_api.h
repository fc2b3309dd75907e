// The library's interface as the stand-in host reaches it: every function
// found with dlsym in a library loaded with dlopen.
#ifndef ORVEL_TOOLS_SSF_API_H
#define ORVEL_TOOLS_SSF_API_H

#include <string>
#include <vector>

#include "orvel_ssf.h"

struct SsfApi {
  decltype(&SsfSign) Sign = nullptr;
  decltype(&SsfVerify) Verify = nullptr;
  decltype(&SsfEnvelope) Envelope = nullptr;
  decltype(&SsfDevelope) Develope = nullptr;
  decltype(&SsfAddSign) AddSign = nullptr;
  decltype(&SsfDigest) Digest = nullptr;
  decltype(&SsfEncode) Encode = nullptr;
  decltype(&SsfDecode) Decode = nullptr;
  decltype(&SsfQueryProperties) QueryProperties = nullptr;
  decltype(&SsfVersion) Version = nullptr;
  decltype(&SsfEnhanceSignatures) EnhanceSignatures = nullptr;
  decltype(&SsfNEWSigRcpSsfInfo) NEWSigRcpSsfInfo = nullptr;
  decltype(&SsfINSSigRcpSsfInfo) INSSigRcpSsfInfo = nullptr;
  decltype(&SsfDELSigRcpSsfInfo) DELSigRcpSsfInfo = nullptr;
  decltype(&SsfDELSigRcpSsfInfoList) DELSigRcpSsfInfoList = nullptr;
  decltype(&SsfDELSsfOctetstring) DELSsfOctetstring = nullptr;
  // The handle of the loaded library, for symbols beyond this table.
  void* library = nullptr;

  // Loads the library; false with a message in *error when a symbol is
  // missing. The library stays loaded until the process ends.
  bool load(const std::string& path, std::string* error);
};

// An output octet string of the library, freed through SsfDELSsfOctetstring.
class OctetString {
 public:
  explicit OctetString(const SsfApi& api) : api_(api) {}
  ~OctetString() { api_.DELSsfOctetstring(&data, &len); }
  OctetString(const OctetString&) = delete;
  OctetString& operator=(const OctetString&) = delete;

  unsigned char* data = nullptr;
  SsfInt len = 0;

 private:
  const SsfApi& api_;
};

// A signer or recipient list built through the record functions and freed
// through SsfDELSigRcpSsfInfoList.
class RecordList {
 public:
  explicit RecordList(const SsfApi& api) : api_(api) {}
  ~RecordList();
  RecordList(const RecordList&) = delete;
  RecordList& operator=(const RecordList&) = delete;

  // Makes a record and appends it; the library's return code.
  SsfInt add(const std::string& id, const std::string& profile, const std::string& password);
  SigRcpSsfInformationList head() const { return head_; }
  SigRcpSsfInformationList* head_ptr() { return &head_; }

 private:
  const SsfApi& api_;
  SigRcpSsfInformationList head_ = nullptr;
};

// The text of a uResult value.
const char* result_text(SsfInt code);
// The name of a return code of the exported functions (SSF_API_*), or
// "unknown return code".
const char* return_code_name(SsfInt code);

#endif
