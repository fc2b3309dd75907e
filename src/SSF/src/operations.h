// The operations behind the exported functions. Each takes and returns
// SsfDataBlob byte strings and returns an SsfReturnCode.
#ifndef ORVEL_SSF_OPERATIONS_H
#define ORVEL_SSF_OPERATIONS_H

#include "orvel_ssf.h"

// A byte string inside an operation; pbData comes from the toolkit's
// allocator when the blob owns the bytes.
struct SsfDataBlob {
  SsfInt cbData = 0;
  unsigned char* pbData = nullptr;
};

// Signing and co-signing.
int ssf_sign_data(SsfDataBlob* output, const SsfDataBlob* input, int bIncCerts, int bDetached,
                  SigRcpSsfInformationList signerList, int type);
int add_sign_data(SsfDataBlob* output, const SsfDataBlob* signed_data, const SsfDataBlob* input,
                  int bIncCerts, SigRcpSsfInfo* signer, int type);
// Verification.
int ssf_verify_data(SsfDataBlob* output, const SsfDataBlob* input, const SsfDataBlob* signed_data,
                    int bUseCerts, const SsfDataBlob* pab, const SsfDataBlob* pab_password,
                    SigRcpSsfInformationList* signerResultList, int type);
// Envelopes.
int envelope_data(SsfDataBlob* output, const SsfDataBlob* input, const SsfDataBlob* pab,
                  const SsfDataBlob* pab_password, SigRcpSsfInformationList recipientList,
                  int type);
int develope_data(SsfDataBlob* output, const SsfDataBlob* input, SigRcpSsfInfo* recipient,
                  int type);
// Digest, encoding, properties.
int digest_data(SsfDataBlob* output, const SsfDataBlob* input, int hash_id, int bDetached);
int base64_encode(SsfDataBlob* output, const SsfDataBlob* input, int no_line_feeds);
int base64_decode(SsfDataBlob* output, const SsfDataBlob* input, int no_line_feeds);
int encode_data(SsfDataBlob* output, const SsfDataBlob* input);
int decode_data(SsfDataBlob* output, const SsfDataBlob* input);
int ssf_query_properties(const char* property, int property_len, const char* argument,
                         int argument_len, unsigned char** output, SsfInt* output_len);
// CAdES enhancement of existing signatures.
int ssf_enhance_signatures(const char* strPab, SsfInt strPabL, const unsigned char* strSignedData,
                           SsfInt strSignedDataL, const unsigned char* strInputData,
                           SsfInt strInputDataL, SigRcpSsfInformationList* signerResultList,
                           unsigned char** ostrEnhancedSignData, SsfInt* ostrEnhancedSignDataL);

#endif
