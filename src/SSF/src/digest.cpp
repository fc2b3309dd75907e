#include "digest.h"

#include <openssl/err.h>
#include <openssl/objects.h>
#include <openssl/pkcs7.h>

#include "log.h"
#include "operations.h"
#include "ossl_ptr.h"

namespace {

const EVP_MD* digest_by_nid(int nid) { return EVP_get_digestbyname(OBJ_nid2sn(nid)); }

}  // namespace

const EVP_MD* SSF_EVP_gosthash() { return digest_by_nid(NID_id_GostR3411_94); }
const EVP_MD* SSF_EVP_gosthash_2012_256() { return digest_by_nid(NID_id_GostR3411_2012_256); }
const EVP_MD* SSF_EVP_gosthash_2012_512() { return digest_by_nid(NID_id_GostR3411_2012_512); }

const EVP_MD* get_EVP_MD_by_alg(int hash_id) {
  switch (hash_id) {
    case SSF_HASH_GOSTR3411_94:
      return SSF_EVP_gosthash();
    case SSF_HASH_MD5:
      return EVP_md5();
    case SSF_HASH_SHA1:
      return EVP_sha1();
    case SSF_HASH_GOSTR3411_2012_256:
      return SSF_EVP_gosthash_2012_256();
    case SSF_HASH_GOSTR3411_2012_512:
      return SSF_EVP_gosthash_2012_512();
    default:
      return nullptr;
  }
}

int digest_data(SsfDataBlob* output, const SsfDataBlob* input, int hash_id, int bDetached) {
  const EVP_MD* md = get_EVP_MD_by_alg(hash_id);
  if (md == nullptr) {
    log_err("%s() 1 : md is NULL", "digest_data");
    return SSF_API_UNKNOWN_HASH;
  }
  SsfDataBlob content;
  if (decode_data(&content, input) != SSF_API_OK) {
    log_err("%s() 2: decoding failed", "digest_data");
    return SSF_API_DECODE_FAILED;
  }
  orvel::BytesPtr content_owner(content.pbData);

  unsigned char md_value[EVP_MAX_MD_SIZE];
  unsigned int md_len = 0;
  if (!EVP_Digest(content.pbData, static_cast<size_t>(content.cbData), md_value, &md_len, md,
                  nullptr)) {
    log_err("%s() 3 : EVP_Digest() failed", "digest_data");
    print_brekssl_errors();
    return SSF_API_CRYPTO_FAILED;
  }

  orvel::Pkcs7Ptr p7(PKCS7_new());
  orvel::Pkcs7Ptr inner(PKCS7_new());
  bool built = p7 && inner && PKCS7_set_type(p7.get(), NID_pkcs7_digest) &&
               PKCS7_set_digest(p7.get(), md) && PKCS7_set_type(inner.get(), NID_pkcs7_data);
  if (built) {
    if (bDetached) {
      // A detached digest carries an inner data ContentInfo without content.
      ASN1_OCTET_STRING_free(inner->d.data);
      inner->d.data = nullptr;
    } else {
      built = ASN1_OCTET_STRING_set(inner->d.data, content.pbData, content.cbData) == 1;
    }
  }
  built = built && PKCS7_set_content(p7.get(), inner.get());
  if (built) inner.release();  // owned by p7 now
  built = built && ASN1_OCTET_STRING_set(p7->d.digest->digest, md_value, static_cast<int>(md_len));
  if (!built) {
    log_err("%s() 4 : PKCS7_new() failed", "digest_data");
    print_brekssl_errors();
    return SSF_API_NOMEMORY;
  }

  unsigned char* der = nullptr;
  int n = i2d_PKCS7(p7.get(), &der);
  if (n <= 0 || der == nullptr) {
    log_err("%s() 5 : i2d_PKCS7() failed", "digest_data");
    print_brekssl_errors();
    return SSF_API_NOMEMORY;
  }
  output->pbData = der;
  output->cbData = n;
  return SSF_API_OK;
}
