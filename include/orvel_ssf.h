/* liborvel-ssf-server: the SSF provider interface as the host calls it.
 *
 * Every string argument is a pointer and a 32-bit signed length, not
 * NUL-terminated. Outputs are pairs of pointers that the library fills with
 * bytes from the toolkit's allocator; the host frees them with
 * SsfDELSsfOctetstring. Records and lists are made and freed through the
 * record functions. */
#ifndef ORVEL_SSF_H
#define ORVEL_SSF_H

#include <stdint.h>

#include "orvel_export.h"

ORVEL_EXTERN_C_BEGIN

typedef int32_t SsfInt;
typedef unsigned char SsfBool;

/* Return codes of the exported functions. */
enum SsfReturnCode {
  SSF_API_OK = 0,
  SSF_API_UNKNOWN_FORMAT = 2,
  SSF_API_NOINPUT = 3,
  SSF_API_NOMEMORY = 4,
  SSF_API_SIGNER_FAILED = 5,
  SSF_API_RESULT_RECORD_FAILED = 6,
  SSF_API_PAB_FAILED = 7,
  SSF_API_RECIPIENT_FAILED = 9,
  SSF_API_UNKNOWN_HASH = 10,
  SSF_API_ENCODE_FAILED = 11,
  SSF_API_DECODE_FAILED = 12,
  SSF_API_CRYPTO_FAILED = 13,
  SSF_API_UNKNOWN_CIPHER = 14,
  SSF_API_REC_NOMEMORY = 51,
  SSF_API_REC_NO_ID = 52,
  SSF_API_REC_NO_RECORD = 53,
  SSF_API_REC_NO_LIST = 54
};

/* Values of uResult. */
enum SignerResultCode {
  SSF_SIGNATURE_VALID = 0,
  SSF_UNKNOWN_SIGNER = 22,
  SSF_PROFILE_NOT_FOUND = 23,
  SSF_PROFILE_NOT_USABLE = 24,
  SSF_INVALID_PASSWORD = 25,
  SSF_CERT_NOT_FOUND = 26,
  SSF_SIGNATURE_INVALID = 27,
  SSF_INITIAL_VALUE = 28,
  SSF_CERT_EXPIRED = 100
};

/* Signer or recipient record. Every string is the library's own copy with
 * a NUL behind the given length; an absent string is null with length 0. */
typedef struct SigRcpSsfInfo {
  char* strSigRcpId;
  SsfInt strSigRcpIdL;
  char* strSigRcpReserved;
  SsfInt strSigRcpReservedL;
  char* strSigRcpProfile;
  SsfInt strSigRcpProfileL;
  char* strSigRcpPassword;
  SsfInt strSigRcpPasswordL;
  SsfInt uResult;
} SigRcpSsfInfo;

typedef struct SigRcpSsfInformationListElement {
  struct SigRcpSsfInformationListElement* next;
  SigRcpSsfInfo* ptrSigRcp;
} SigRcpSsfInformationListElement;

/* A list is the pointer to its first element; null is the empty list. */
typedef SigRcpSsfInformationListElement* SigRcpSsfInformationList;

ORVEL_EXPORT SsfInt SsfSign(const char* strFormat, SsfInt strFormatL, const char* strHashalg,
                            SsfInt strHashalgL, SsfBool bIncCerts, SsfBool bDetached,
                            const unsigned char* ostrInputData, SsfInt ostrInputDataL,
                            SigRcpSsfInformationList signerList, unsigned char** ostrSignedData,
                            SsfInt* ostrSignedDataL);

ORVEL_EXPORT SsfInt SsfVerify(const char* strFormat, SsfInt strFormatL, SsfBool bUseCerts,
                              const unsigned char* ostrSignedData, SsfInt ostrSignedDataL,
                              const unsigned char* ostrInputData, SsfInt ostrInputDataL,
                              const char* strPab, SsfInt strPabL, const char* strPabPassword,
                              SsfInt strPabPasswordL, SigRcpSsfInformationList* signerResultList,
                              unsigned char** ostrOutputData, SsfInt* ostrOutputDataL);

ORVEL_EXPORT SsfInt SsfEnvelope(const char* strFormat, SsfInt strFormatL, const char* strSymEncr,
                                SsfInt strSymEncrL, const unsigned char* ostrInputData,
                                SsfInt ostrInputDataL, const char* strPab, SsfInt strPabL,
                                const char* strPabPassword, SsfInt strPabPasswordL,
                                SigRcpSsfInformationList recipientList,
                                unsigned char** ostrEnvelopedData, SsfInt* ostrEnvelopedDataL);

ORVEL_EXPORT SsfInt SsfDevelope(const char* strFormat, SsfInt strFormatL,
                                const unsigned char* ostrEnvelopedData, SsfInt ostrEnvelopedDataL,
                                SigRcpSsfInfo* ptrRecipient, unsigned char** ostrOutputData,
                                SsfInt* ostrOutputDataL);

ORVEL_EXPORT SsfInt SsfAddSign(const char* strFormat, SsfInt strFormatL, const char* strHashalg,
                               SsfInt strHashalgL, SsfBool bIncCerts,
                               const unsigned char* ostrSignedData, SsfInt ostrSignedDataL,
                               const unsigned char* ostrInputData, SsfInt ostrInputDataL,
                               SigRcpSsfInfo* signer, unsigned char** ostrUpdatedSignedData,
                               SsfInt* ostrUpdatedSignedDataL);

ORVEL_EXPORT SsfInt SsfDigest(const char* strFormat, SsfInt strFormatL, SsfBool bDetached,
                              const unsigned char* ostrInputData, SsfInt ostrInputDataL,
                              const char* strHashalg, SsfInt strHashalgL,
                              unsigned char** ostrDigestedData, SsfInt* ostrDigestedDataL);

ORVEL_EXPORT SsfInt SsfEncode(const char* strFormat, SsfInt strFormatL,
                              const unsigned char* ostrInputData, SsfInt ostrInputDataL,
                              unsigned char** ostrEncodedData, SsfInt* ostrEncodedDataL);

ORVEL_EXPORT SsfInt SsfDecode(const char* strFormat, SsfInt strFormatL,
                              const unsigned char* ostrEncodedData, SsfInt ostrEncodedDataL,
                              unsigned char** ostrOutputData, SsfInt* ostrOutputDataL);

ORVEL_EXPORT SsfInt SsfQueryProperties(const char* strProperty, SsfInt strPropertyL,
                                       const char* strArgument, SsfInt strArgumentL,
                                       unsigned char** outputData, SsfInt* outputDataL);

ORVEL_EXPORT SsfInt SsfVersion(unsigned char** outputData, SsfInt* outputDataL);

ORVEL_EXPORT SsfInt SsfEnhanceSignatures(const char* strPab, SsfInt strPabL,
                                         const unsigned char* strSignedData, SsfInt strSignedDataL,
                                         const unsigned char* strInputData, SsfInt strInputDataL,
                                         SigRcpSsfInformationList* signerResultList,
                                         unsigned char** ostrEnhancedSignData,
                                         SsfInt* ostrEnhancedSignDataL);

ORVEL_EXPORT SsfInt SsfNEWSigRcpSsfInfo(const char* strSigRcpId, SsfInt strSigRcpIdL,
                                        const char* strSigRcpReserved, SsfInt strSigRcpReservedL,
                                        const char* strSigRcpProfile, SsfInt strSigRcpProfileL,
                                        const char* strSigRcpPassword, SsfInt strSigRcpPasswordL,
                                        SsfInt uResult, SigRcpSsfInfo** ptrSigRcpSsfInfo);

ORVEL_EXPORT SsfInt SsfINSSigRcpSsfInfo(SigRcpSsfInfo* ptrSigRcpSsfInfo,
                                        SigRcpSsfInformationList* sigRcpSsfInfoList);

ORVEL_EXPORT SsfInt SsfDELSigRcpSsfInfo(SigRcpSsfInfo** ptrSigRcpSsfInfo);

ORVEL_EXPORT SsfInt SsfDELSigRcpSsfInfoList(SigRcpSsfInformationList* sigRcpSsfInfoList);

ORVEL_EXPORT SsfInt SsfDELSsfOctetstring(unsigned char** ostrData, SsfInt* ostrDataL);

/* Host setters of the time-stamp and OCSP service URLs. */
ORVEL_EXPORT void set_tsp_server(const char* url);
ORVEL_EXPORT void set_ocsp_server(const char* url);

ORVEL_EXTERN_C_END

#endif
