// The frame of signing, co-signing, verification and enhancement.
#include "codes.h"
#include "frame.h"
#include "frame_checks.h"
#include "log.h"
#include "operations.h"
#include "orvel_ssf.h"
#include "sap_string.h"
#include "startup.h"

using orvel::SapText;

namespace {

bool is_signing_type(int type) {
  return type == SIG_TYPE_PKCS7 || type == SIG_TYPE_CADES_BES || type == SIG_TYPE_CADES;
}

}  // namespace

SsfInt SsfSign(const char* strFormat, SsfInt strFormatL, const char* strHashalg, SsfInt strHashalgL,
               SsfBool bIncCerts, SsfBool bDetached, const unsigned char* ostrInputData,
               SsfInt ostrInputDataL, SigRcpSsfInformationList signerList,
               unsigned char** ostrSignedData, SsfInt* ostrSignedDataL) {
  frame_begin();
  zero_output(ostrSignedData, ostrSignedDataL);
  dbg("%s() start, strFormat = %#x, strFormatL = %d, strHashalg = %#x, strHashalgL = %d, "
      "bIncCerts = %d, bDetached = %d, ostrInputData = %#x, ostrInputDataL = %d, signerList = %#x, "
      "ostrSignedData = %#x, ostrSignedDataL = %#x",
      __func__, low32(strFormat), strFormatL, low32(strHashalg), strHashalgL, bIncCerts, bDetached,
      low32(ostrInputData), ostrInputDataL, low32(signerList), low32(ostrSignedData),
      low32(ostrSignedDataL));
  SsfInt rc;
  int type = get_signature_type(strFormat, strFormatL);
  if (!input_given(__func__, " ", "ostrInputData", ostrInputData, ostrInputDataL)) {
    rc = SSF_API_NOINPUT;
  } else if (!format_known(__func__, " ", strFormat, strFormatL)) {
    set_sig_rcp_res_code(signerList, SSF_INITIAL_VALUE);
    rc = SSF_API_UNKNOWN_FORMAT;
  } else if (!check_hash_alg(strHashalg, strHashalgL)) {
    log_err("%s() : invalid hash_alg: '%s'", __func__, SapText(strHashalg, strHashalgL).c_str());
    rc = SSF_API_UNKNOWN_HASH;
  } else if (!is_signing_type(type)) {
    log_err("%s() : wrong signature format: '%s'", __func__,
            SapText(strFormat, strFormatL).c_str());
    rc = SSF_API_UNKNOWN_FORMAT;
  } else if (!output_given(__func__, " ", "ostrSignedData", ostrSignedData, ostrSignedDataL)) {
    rc = SSF_API_CRYPTO_FAILED;
  } else {
    SsfDataBlob input = input_blob(ostrInputData, ostrInputDataL);
    SsfDataBlob output;
    rc = ssf_sign_data(&output, &input, bIncCerts != 0, bDetached != 0, signerList, type);
    if (rc != 0) log_write("error sign_data");
    hand_out(output, rc, ostrSignedData, ostrSignedDataL);
  }
  return frame_end(__func__, rc);
}

SsfInt SsfAddSign(const char* strFormat, SsfInt strFormatL, const char* strHashalg,
                  SsfInt strHashalgL, SsfBool bIncCerts, const unsigned char* ostrSignedData,
                  SsfInt ostrSignedDataL, const unsigned char* ostrInputData, SsfInt ostrInputDataL,
                  SigRcpSsfInfo* signer, unsigned char** ostrUpdatedSignedData,
                  SsfInt* ostrUpdatedSignedDataL) {
  frame_begin();
  zero_output(ostrUpdatedSignedData, ostrUpdatedSignedDataL);
  dbg("%s() start, strFormat = %#x, strFormatL = %d, strHashalg = %#x, strHashalgL = %d, "
      "bIncCerts = %d, ostrSignedData = %#x, ostrSignedDataL = %d, ostrInputData = %#x, "
      "ostrInputDataL = %d, signer = %#x, ostrUpdatedSignedData = %#x, "
      "ostrUpdatedSignedDataL = %#x",
      __func__, low32(strFormat), strFormatL, low32(strHashalg), strHashalgL, bIncCerts,
      low32(ostrSignedData), ostrSignedDataL, low32(ostrInputData), ostrInputDataL, low32(signer),
      low32(ostrUpdatedSignedData), low32(ostrUpdatedSignedDataL));
  SsfInt rc;
  int type = get_signature_type(strFormat, strFormatL);
  if (!input_given(__func__, " 1 ", "ostrSignedData", ostrSignedData, ostrSignedDataL)) {
    rc = SSF_API_NOINPUT;
  } else if (signer == nullptr) {
    log_err("%s() 2 : signer is NULL", __func__);
    rc = SSF_API_SIGNER_FAILED;
  } else if (!format_known(__func__, " 3 ", strFormat, strFormatL)) {
    signer->uResult = SSF_INITIAL_VALUE;
    rc = SSF_API_UNKNOWN_FORMAT;
  } else if (!check_hash_alg(strHashalg, strHashalgL)) {
    log_err("%s() 4 : invalid hash_alg: '%s'", __func__, SapText(strHashalg, strHashalgL).c_str());
    rc = SSF_API_UNKNOWN_HASH;
  } else if (!is_signing_type(type)) {
    log_err("%s() : wrong signature format: '%s'", __func__,
            SapText(strFormat, strFormatL).c_str());
    rc = SSF_API_UNKNOWN_FORMAT;
  } else if (!output_given(__func__, " ", "ostrUpdatedSignedData", ostrUpdatedSignedData,
                           ostrUpdatedSignedDataL)) {
    rc = SSF_API_CRYPTO_FAILED;
  } else {
    SsfDataBlob signed_data = input_blob(ostrSignedData, ostrSignedDataL);
    SsfDataBlob input = input_blob(ostrInputData, ostrInputDataL);
    SsfDataBlob output;
    rc = add_sign_data(&output, &signed_data, &input, bIncCerts != 0, signer, type);
    hand_out(output, rc, ostrUpdatedSignedData, ostrUpdatedSignedDataL);
  }
  release_mutex();
  print_brekssl_leaks();
  dbg("%s() end, ret_code = %d", __func__, rc);
  return rc;
}

SsfInt SsfVerify(const char* strFormat, SsfInt strFormatL, SsfBool bUseCerts,
                 const unsigned char* ostrSignedData, SsfInt ostrSignedDataL,
                 const unsigned char* ostrInputData, SsfInt ostrInputDataL, const char* strPab,
                 SsfInt strPabL, const char* strPabPassword, SsfInt strPabPasswordL,
                 SigRcpSsfInformationList* signerResultList, unsigned char** ostrOutputData,
                 SsfInt* ostrOutputDataL) {
  frame_begin();
  dbg("%s() start, strFormat = %#x, strFormatL = %d, bUseCerts = %d, ostrSignedData = %#x, "
      "ostrSignedDataL = %d, ostrInputData = %#x, ostrInputDataL = %d, strPab = %#x, strPabL = %d, "
      "strPabPassword = %#x, strPabPasswordL = %d, signerResultList = %#x, ostrOutputData = %#x, "
      "ostrOutputDataL = %#x",
      __func__, low32(strFormat), strFormatL, bUseCerts, low32(ostrSignedData), ostrSignedDataL,
      low32(ostrInputData), ostrInputDataL, low32(strPab), strPabL, low32(strPabPassword),
      strPabPasswordL, low32(signerResultList), low32(ostrOutputData), low32(ostrOutputDataL));
  zero_output(ostrOutputData, ostrOutputDataL);
  SsfInt rc;
  if (!input_given(__func__, "", "ostrSignedData", ostrSignedData, ostrSignedDataL)) {
    rc = SSF_API_NOINPUT;
  } else if (!format_known(__func__, " ", strFormat, strFormatL)) {
    rc = SSF_API_UNKNOWN_FORMAT;
  } else if (signerResultList == nullptr) {
    log_err("%s() : signerResultList is NULL", __func__);
    rc = SSF_API_NOINPUT;
  } else if (!output_given(__func__, " ", "ostrOutputData", ostrOutputData, ostrOutputDataL)) {
    rc = SSF_API_CRYPTO_FAILED;
  } else {
    SsfDataBlob signed_data = input_blob(ostrSignedData, ostrSignedDataL);
    SsfDataBlob input = input_blob(ostrInputData, ostrInputDataL);
    SsfDataBlob pab = text_blob(strPab, strPabL);
    SsfDataBlob pab_password = input_blob(strPabPassword, strPabPasswordL);
    SsfDataBlob output;
    rc = ssf_verify_data(&output, &input, &signed_data, bUseCerts != 0, &pab, &pab_password,
                         signerResultList, get_signature_type(strFormat, strFormatL));
    // The host gets what verification produced, whatever its result.
    *ostrOutputData = output.pbData;
    *ostrOutputDataL = output.cbData;
    if (*signerResultList == nullptr)
      log_write("SsfVerify: signerResultList is not created");
    else if ((*signerResultList)->ptrSigRcp == nullptr)
      log_write("SsfVerify: signerResultList is empty");
  }
  return frame_end(__func__, rc);
}

SsfInt SsfEnhanceSignatures(const char* strPab, SsfInt strPabL, const unsigned char* strSignedData,
                            SsfInt strSignedDataL, const unsigned char* strInputData,
                            SsfInt strInputDataL, SigRcpSsfInformationList* signerResultList,
                            unsigned char** ostrEnhancedSignData, SsfInt* ostrEnhancedSignDataL) {
  frame_begin();
  dbg("%s() begin, strPab = 0x%p, strPabL = %d, strSignedData = 0x%p, strSignedDataL = %d, "
      "strInputData = 0x%p, strInputDataL = %d, signerResultList = 0x%p, "
      "ostrEnhancedSignData = 0x%p, ostrEnhancedSignDataL = 0x%p",
      __func__, static_cast<const void*>(strPab), strPabL, static_cast<const void*>(strSignedData),
      strSignedDataL, static_cast<const void*>(strInputData), strInputDataL,
      static_cast<void*>(signerResultList), static_cast<void*>(ostrEnhancedSignData),
      static_cast<void*>(ostrEnhancedSignDataL));
  SsfInt rc;
  if (!input_given(__func__, " 1 ", "strSignedData", strSignedData, strSignedDataL)) {
    rc = SSF_API_NOINPUT;
  } else if (signerResultList == nullptr) {
    log_err("%s() 2 : signerResultList is NULL", __func__);
    rc = SSF_API_NOINPUT;
  } else if (!output_given(__func__, " 3 ", "ostrEnhancedSignData", ostrEnhancedSignData,
                           ostrEnhancedSignDataL)) {
    rc = SSF_API_NOINPUT;
  } else {
    rc = ssf_enhance_signatures(strPab, strPabL, strSignedData, strSignedDataL, strInputData,
                                strInputDataL, signerResultList, ostrEnhancedSignData,
                                ostrEnhancedSignDataL);
  }
  return frame_end(__func__, rc);
}
