// The frame of digest, encode, decode, properties and version.
#include <cstring>

#include "codes.h"
#include "frame.h"
#include "log.h"
#include "operations.h"
#include "orvel_ssf.h"
#include "revision.h"
#include "sap_string.h"
#include "startup.h"

using orvel::SapText;

namespace {

bool is_base64(const char* name, SsfInt len) { return cmp_cstr_sapstr("BASE64", name, len) == 1; }

}  // namespace

SsfInt SsfDigest(const char* strFormat, SsfInt strFormatL, SsfBool bDetached,
                 const unsigned char* ostrInputData, SsfInt ostrInputDataL, const char* strHashalg,
                 SsfInt strHashalgL, unsigned char** ostrDigestedData, SsfInt* ostrDigestedDataL) {
  lock_mutex();
  init_lib();
  zero_output(ostrDigestedData, ostrDigestedDataL);
  dbg("%s() start, strFormat = %#x, strFormatL = %d, bDetached = %d, ostrInputData = %#x, "
      "ostrInputDataL = %d, strHashalg = %#x, strHashalgL = %d, ostrDigestedData = %#x, "
      "ostrDigestedDataL = %#x",
      __func__, low32(strFormat), strFormatL, bDetached, low32(ostrInputData), ostrInputDataL,
      low32(strHashalg), strHashalgL, low32(ostrDigestedData), low32(ostrDigestedDataL));
  SsfInt rc;
  int hash_id = check_hash_alg(strHashalg, strHashalgL);
  if (ostrInputData == nullptr || ostrInputDataL <= 0) {
    log_err("%s() 1 : (ostrInputData == NULL) || (ostrInputDataL <= 0)", __func__);
    rc = SSF_API_NOINPUT;
  } else if (!check_format(strFormat, strFormatL)) {
    log_err("%s() 2 : invalid format: '%s'", __func__, SapText(strFormat, strFormatL).c_str());
    rc = SSF_API_UNKNOWN_FORMAT;
  } else if (hash_id == 0) {
    log_err("%s() 3 : invalid hash alg: '%s'", __func__, SapText(strHashalg, strHashalgL).c_str());
    rc = SSF_API_UNKNOWN_HASH;
  } else if (ostrDigestedData == nullptr || ostrDigestedDataL == nullptr) {
    log_err("%s() : (ostrDigestedData == NULL) || (ostrDigestedDataL == NULL)", __func__);
    rc = SSF_API_CRYPTO_FAILED;
  } else {
    SsfDataBlob input = input_blob(ostrInputData, ostrInputDataL);
    SsfDataBlob output;
    rc = digest_data(&output, &input, hash_id, bDetached != 0);
    hand_out(output, rc, ostrDigestedData, ostrDigestedDataL);
  }
  release_mutex();
  print_brekssl_leaks();
  dbg("%s() end, retcode = %d", __func__, rc);
  return rc;
}

SsfInt SsfEncode(const char* strFormat, SsfInt strFormatL, const unsigned char* ostrInputData,
                 SsfInt ostrInputDataL, unsigned char** ostrEncodedData, SsfInt* ostrEncodedDataL) {
  lock_mutex();
  init_lib();
  dbg("%s() start, strFormat = %#x, strFormatL = %d, ostrInputData = %#x, ostrInputDataL = %d, "
      "ostrEncodedData = %#x, ostrEncodedDataL = %#x",
      __func__, low32(strFormat), strFormatL, low32(ostrInputData), ostrInputDataL,
      low32(ostrEncodedData), low32(ostrEncodedDataL));
  zero_output(ostrEncodedData, ostrEncodedDataL);
  SsfInt rc;
  if (ostrInputData == nullptr || ostrInputDataL <= 0) {
    log_err("%s() 1 : (ostrInputData == NULL) || (ostrInputDataL <= 0)", __func__);
    rc = SSF_API_NOINPUT;
  } else if (!check_format(strFormat, strFormatL)) {
    log_err("%s() 2 : invalid format: '%s'", __func__, SapText(strFormat, strFormatL).c_str());
    rc = SSF_API_UNKNOWN_FORMAT;
  } else if (ostrEncodedData == nullptr || ostrEncodedDataL == nullptr) {
    log_err("%s() : (ostrEncodedData == NULL) || (ostrEncodedDataL == NULL)", __func__);
    rc = SSF_API_CRYPTO_FAILED;
  } else {
    SsfDataBlob input = input_blob(ostrInputData, ostrInputDataL);
    SsfDataBlob output;
    if (is_base64(strFormat, strFormatL))
      rc = base64_encode(&output, &input, 0);
    else
      rc = encode_data(&output, &input);
    if (rc != 0) log_write("encode_data error");
    hand_out(output, rc, ostrEncodedData, ostrEncodedDataL);
  }
  release_mutex();
  dbg("%s() end, retcode = %d", __func__, rc);
  return rc;
}

SsfInt SsfDecode(const char* strFormat, SsfInt strFormatL, const unsigned char* ostrEncodedData,
                 SsfInt ostrEncodedDataL, unsigned char** ostrOutputData, SsfInt* ostrOutputDataL) {
  lock_mutex();
  init_lib();
  dbg("%s() start, strFormat = %#x, strFormatL = %d, ostrEncodedData = %#x, ostrEncodedDataL = %d, "
      "ostrOutputData = %#x, ostrOutputDataL = %#x",
      __func__, low32(strFormat), strFormatL, low32(ostrEncodedData), ostrEncodedDataL,
      low32(ostrOutputData), low32(ostrOutputDataL));
  SsfInt rc;
  if (ostrEncodedData == nullptr || ostrEncodedDataL <= 0) {
    log_err("%s() : ( ostrEncodedDataL <= 0 ) || ( ostrEncodedData == NULL )", __func__);
    rc = SSF_API_NOINPUT;
  } else if (!check_format(strFormat, strFormatL)) {
    log_err("%s() 2 : invalid format: '%s'", __func__, SapText(strFormat, strFormatL).c_str());
    rc = SSF_API_UNKNOWN_FORMAT;
  } else if (ostrOutputData == nullptr || ostrOutputDataL == nullptr) {
    log_err("%s() : (ostrOutputData == NULL) || (ostrOutputDataL == NULL)", __func__);
    rc = SSF_API_CRYPTO_FAILED;
  } else {
    SsfDataBlob input = input_blob(ostrEncodedData, ostrEncodedDataL);
    SsfDataBlob output;
    if (is_base64(strFormat, strFormatL))
      rc = base64_decode(&output, &input, 0);
    else
      rc = decode_data(&output, &input);
    if (rc != 0) log_write("decode error");
    hand_out(output, rc, ostrOutputData, ostrOutputDataL);
  }
  release_mutex();
  dbg("%s() end, retcode = %d", __func__, rc);
  return rc;
}

SsfInt SsfQueryProperties(const char* strProperty, SsfInt strPropertyL, const char* strArgument,
                          SsfInt strArgumentL, unsigned char** outputData, SsfInt* outputDataL) {
  lock_mutex();
  init_lib();
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
  lock_mutex();
  init_lib();
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
