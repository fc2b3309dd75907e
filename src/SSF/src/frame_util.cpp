// The frame of digest, encode, decode, properties and version.
#include <cstring>

#include "codes.h"
#include "frame.h"
#include "frame_checks.h"
#include "log.h"
#include "operations.h"
#include "orvel_ssf.h"
#include "revision.h"
#include "sap_string.h"
#include "startup.h"

using orvel::SapText;

namespace {

bool is_base64(const char* name, SsfInt len) { return cmp_cstr_sapstr("BASE64", name, len) == 1; }

// One direction of SsfEncode/SsfDecode: the BASE64 coder, the library's own
// coder, the trace line of a failure and the name of the output argument.
struct Coding {
  int (*base64)(SsfDataBlob*, const SsfDataBlob*, int);
  int (*own)(SsfDataBlob*, const SsfDataBlob*);
  const char* failure;
  const char* output_name;
};

constexpr Coding kEncoding{base64_encode, encode_data, "encode_data error", "ostrEncodedData"};
constexpr Coding kDecoding{base64_decode, decode_data, "decode error", "ostrOutputData"};

// The steps of SsfEncode and SsfDecode after the input check: the format,
// the output pair, the coding and the hand-out.
SsfInt transcode(const char* func, const Coding& coding, const char* strFormat, SsfInt strFormatL,
                 const unsigned char* data, SsfInt data_len, unsigned char** out,
                 SsfInt* out_len) {
  if (!format_known(func, " 2 ", strFormat, strFormatL)) return SSF_API_UNKNOWN_FORMAT;
  if (!output_given(func, " ", coding.output_name, out, out_len)) return SSF_API_CRYPTO_FAILED;
  SsfDataBlob input = input_blob(data, data_len);
  SsfDataBlob output;
  SsfInt rc = is_base64(strFormat, strFormatL) ? coding.base64(&output, &input, 0)
                                               : coding.own(&output, &input);
  if (rc != 0) log_write("%s", coding.failure);
  hand_out(output, rc, out, out_len);
  return rc;
}

}  // namespace

SsfInt SsfDigest(const char* strFormat, SsfInt strFormatL, SsfBool bDetached,
                 const unsigned char* ostrInputData, SsfInt ostrInputDataL, const char* strHashalg,
                 SsfInt strHashalgL, unsigned char** ostrDigestedData, SsfInt* ostrDigestedDataL) {
  frame_begin();
  zero_output(ostrDigestedData, ostrDigestedDataL);
  dbg("%s() start, strFormat = %#x, strFormatL = %d, bDetached = %d, ostrInputData = %#x, "
      "ostrInputDataL = %d, strHashalg = %#x, strHashalgL = %d, ostrDigestedData = %#x, "
      "ostrDigestedDataL = %#x",
      __func__, low32(strFormat), strFormatL, bDetached, low32(ostrInputData), ostrInputDataL,
      low32(strHashalg), strHashalgL, low32(ostrDigestedData), low32(ostrDigestedDataL));
  SsfInt rc;
  int hash_id = check_hash_alg(strHashalg, strHashalgL);
  if (!input_given(__func__, " 1 ", "ostrInputData", ostrInputData, ostrInputDataL)) {
    rc = SSF_API_NOINPUT;
  } else if (!format_known(__func__, " 2 ", strFormat, strFormatL)) {
    rc = SSF_API_UNKNOWN_FORMAT;
  } else if (hash_id == 0) {
    log_err("%s() 3 : invalid hash alg: '%s'", __func__, SapText(strHashalg, strHashalgL).c_str());
    rc = SSF_API_UNKNOWN_HASH;
  } else if (!output_given(__func__, " ", "ostrDigestedData", ostrDigestedData,
                           ostrDigestedDataL)) {
    rc = SSF_API_CRYPTO_FAILED;
  } else {
    SsfDataBlob input = input_blob(ostrInputData, ostrInputDataL);
    SsfDataBlob output;
    rc = digest_data(&output, &input, hash_id, bDetached != 0);
    hand_out(output, rc, ostrDigestedData, ostrDigestedDataL);
  }
  return frame_end(__func__, rc);
}

SsfInt SsfEncode(const char* strFormat, SsfInt strFormatL, const unsigned char* ostrInputData,
                 SsfInt ostrInputDataL, unsigned char** ostrEncodedData, SsfInt* ostrEncodedDataL) {
  frame_begin();
  dbg("%s() start, strFormat = %#x, strFormatL = %d, ostrInputData = %#x, ostrInputDataL = %d, "
      "ostrEncodedData = %#x, ostrEncodedDataL = %#x",
      __func__, low32(strFormat), strFormatL, low32(ostrInputData), ostrInputDataL,
      low32(ostrEncodedData), low32(ostrEncodedDataL));
  zero_output(ostrEncodedData, ostrEncodedDataL);
  SsfInt rc;
  if (!input_given(__func__, " 1 ", "ostrInputData", ostrInputData, ostrInputDataL)) {
    rc = SSF_API_NOINPUT;
  } else {
    rc = transcode(__func__, kEncoding, strFormat, strFormatL, ostrInputData, ostrInputDataL,
                   ostrEncodedData, ostrEncodedDataL);
  }
  release_mutex();
  dbg("%s() end, retcode = %d", __func__, rc);
  return rc;
}

SsfInt SsfDecode(const char* strFormat, SsfInt strFormatL, const unsigned char* ostrEncodedData,
                 SsfInt ostrEncodedDataL, unsigned char** ostrOutputData, SsfInt* ostrOutputDataL) {
  frame_begin();
  dbg("%s() start, strFormat = %#x, strFormatL = %d, ostrEncodedData = %#x, ostrEncodedDataL = %d, "
      "ostrOutputData = %#x, ostrOutputDataL = %#x",
      __func__, low32(strFormat), strFormatL, low32(ostrEncodedData), ostrEncodedDataL,
      low32(ostrOutputData), low32(ostrOutputDataL));
  SsfInt rc;
  if (ostrEncodedData == nullptr || ostrEncodedDataL <= 0) {
    log_err("%s() : ( ostrEncodedDataL <= 0 ) || ( ostrEncodedData == NULL )", __func__);
    rc = SSF_API_NOINPUT;
  } else {
    rc = transcode(__func__, kDecoding, strFormat, strFormatL, ostrEncodedData, ostrEncodedDataL,
                   ostrOutputData, ostrOutputDataL);
  }
  release_mutex();
  dbg("%s() end, retcode = %d", __func__, rc);
  return rc;
}

SsfInt SsfQueryProperties(const char* strProperty, SsfInt strPropertyL, const char* strArgument,
                          SsfInt strArgumentL, unsigned char** outputData, SsfInt* outputDataL) {
  frame_begin();
  dbg("%s() started, strProperty = %#x, strPropertyL = %d, strArgument = %#x, strArgumentL = %d, "
      "outputData = %#x, outputDataL = %#x",
      __func__, low32(strProperty), strPropertyL, low32(strArgument), strArgumentL,
      low32(outputData), low32(outputDataL));
  SsfInt rc;
  if (outputData == nullptr || outputDataL == nullptr) {
    log_err("%s() 1 : ( NULL == outputDataL ) || ( NULL == outputData )", __func__);
    rc = SSF_API_CRYPTO_FAILED;
  } else if (strProperty == nullptr || strPropertyL == 0) {
    log_err("%s() 2 : Input data is NULL", __func__);
    rc = SSF_API_NOINPUT;
  } else {
    zero_output(outputData, outputDataL);
    SsfDataBlob output;
    rc = ssf_query_properties(strProperty, strPropertyL, strArgument, strArgumentL, &output.pbData,
                              &output.cbData);
    hand_out(output, rc, outputData, outputDataL);
  }
  release_mutex();
  dbg("%s() end, retcode = %d", __func__, rc);
  return rc;
}

SsfInt SsfVersion(unsigned char** outputData, SsfInt* outputDataL) {
  frame_begin();
  dbg("%s() started, outputData = %#x, outputDataL = %#x", __func__, low32(outputData),
      low32(outputDataL));
  SsfInt rc = SSF_API_OK;
  if (outputData == nullptr || outputDataL == nullptr) {
    log_err("%s() 1 : ( NULL == outputDataL ) || ( NULL == outputData )", __func__);
    rc = SSF_API_CRYPTO_FAILED;
  } else {
    const char* revision = get_ssf_svn_info();
    const size_t banner_len = strlen(kSsfVersionBanner);
    const size_t revision_len = strlen(revision);
    const size_t len = banner_len + 1 + revision_len;
    auto* text = static_cast<unsigned char*>(OPENSSL_malloc(len + 1));
    if (text == nullptr) {
      log_err("%s() 2 : OPENSSL_malloc( %d ) failed", __func__, static_cast<int>(len + 1));
      *outputData = nullptr;
      *outputDataL = 0;
      rc = SSF_API_NOMEMORY;
    } else {
      memcpy(text, kSsfVersionBanner, banner_len);
      text[banner_len] = '\n';
      memcpy(text + banner_len + 1, revision, revision_len + 1);
      *outputData = text;
      *outputDataL = static_cast<SsfInt>(len);
    }
  }
  release_mutex();
  dbg("%s() end, retcode = %d", __func__, rc);
  return rc;
}
