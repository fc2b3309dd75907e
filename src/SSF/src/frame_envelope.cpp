// The frame of envelope and develope.
#include "codes.h"
#include "frame.h"
#include "frame_checks.h"
#include "log.h"
#include "operations.h"
#include "orvel_ssf.h"
#include "sap_string.h"
#include "startup.h"

using orvel::SapText;

SsfInt SsfEnvelope(const char* strFormat, SsfInt strFormatL, const char* strSymEncr,
                   SsfInt strSymEncrL, const unsigned char* ostrInputData, SsfInt ostrInputDataL,
                   const char* strPab, SsfInt strPabL, const char* strPabPassword,
                   SsfInt strPabPasswordL, SigRcpSsfInformationList recipientList,
                   unsigned char** ostrEnvelopedData, SsfInt* ostrEnvelopedDataL) {
  frame_begin();
  zero_output(ostrEnvelopedData, ostrEnvelopedDataL);
  dbg("%s() start, strFormat = %#x, strFormatL = %d, strSymEncr = %#x, strSymEncrL = %d, "
      "ostrInputData = %#x, ostrInputDataL = %d, strPab = %#x, strPabL = %d, strPabPassword = %#x, "
      "strPabPasswordL = %d, recipientList = %#x, ostrEnvelopedData = %#x, "
      "ostrEnvelopedDataL = %#x",
      __func__, low32(strFormat), strFormatL, low32(strSymEncr), strSymEncrL, low32(ostrInputData),
      ostrInputDataL, low32(strPab), strPabL, low32(strPabPassword), strPabPasswordL,
      low32(recipientList), low32(ostrEnvelopedData), low32(ostrEnvelopedDataL));
  SsfInt rc;
  if (!input_given(__func__, " 1 ", "ostrInputData", ostrInputData, ostrInputDataL)) {
    rc = SSF_API_NOINPUT;
  } else if (recipientList == nullptr) {
    log_err("%s() 2 : recipientList is NULL", __func__);
    rc = SSF_API_RECIPIENT_FAILED;
  } else if (!format_known(__func__, " 3 ", strFormat, strFormatL)) {
    set_sig_rcp_res_code(recipientList, SSF_INITIAL_VALUE);
    rc = SSF_API_UNKNOWN_FORMAT;
  } else if (!check_encr_alg(strSymEncr, strSymEncrL)) {
    log_err("%s() 4 : invalid encryption algorithm: '%s'", __func__,
            SapText(strSymEncr, strSymEncrL).c_str());
    rc = SSF_API_UNKNOWN_CIPHER;
  } else if (!output_given(__func__, " ", "ostrEnvelopedData", ostrEnvelopedData,
                           ostrEnvelopedDataL)) {
    rc = SSF_API_CRYPTO_FAILED;
  } else {
    SsfDataBlob input = input_blob(ostrInputData, ostrInputDataL);
    SsfDataBlob pab = text_blob(strPab, strPabL);
    SsfDataBlob pab_password = input_blob(strPabPassword, strPabPasswordL);
    SsfDataBlob output;
    rc = envelope_data(&output, &input, &pab, &pab_password, recipientList,
                       get_signature_type(strFormat, strFormatL));
    if (rc == SSF_API_SIGNER_FAILED) rc = SSF_API_RECIPIENT_FAILED;
    hand_out(output, rc, ostrEnvelopedData, ostrEnvelopedDataL);
  }
  release_mutex();
  print_brekssl_leaks();
  dbg("end SsfEnvelope = %d", rc);
  return rc;
}

SsfInt SsfDevelope(const char* strFormat, SsfInt strFormatL, const unsigned char* ostrEnvelopedData,
                   SsfInt ostrEnvelopedDataL, SigRcpSsfInfo* ptrRecipient,
                   unsigned char** ostrOutputData, SsfInt* ostrOutputDataL) {
  frame_begin();
  zero_output(ostrOutputData, ostrOutputDataL);
  dbg("%s() start, strFormat = %#x, strFormatL = %d, ostrEnvelopedData = %#x, "
      "ostrEnvelopedDataL = %d, ptrRecipient = %#x, ostrOutputData = %#x, ostrOutputDataL = %#x",
      __func__, low32(strFormat), strFormatL, low32(ostrEnvelopedData), ostrEnvelopedDataL,
      low32(ptrRecipient), low32(ostrOutputData), low32(ostrOutputDataL));
  SsfInt rc;
  if (!input_given(__func__, " 1 ", "ostrEnvelopedData", ostrEnvelopedData,
                   ostrEnvelopedDataL)) {
    rc = SSF_API_NOINPUT;
  } else if (!format_known(__func__, " 2 ", strFormat, strFormatL)) {
    if (ptrRecipient != nullptr) ptrRecipient->uResult = SSF_INITIAL_VALUE;
    rc = SSF_API_UNKNOWN_FORMAT;
  } else if (!output_given(__func__, " ", "ostrOutputData", ostrOutputData, ostrOutputDataL)) {
    rc = SSF_API_CRYPTO_FAILED;
  } else {
    SsfDataBlob input = input_blob(ostrEnvelopedData, ostrEnvelopedDataL);
    SsfDataBlob output;
    rc = develope_data(&output, &input, ptrRecipient, get_signature_type(strFormat, strFormatL));
    hand_out(output, rc, ostrOutputData, ostrOutputDataL);
  }
  return frame_end(__func__, rc);
}
