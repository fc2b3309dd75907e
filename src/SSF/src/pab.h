// The PAB: a directory of certificate files (DER, PEM, or bare Base64
// without the PEM lines), and a certificate store from one PEM file.
#ifndef ORVEL_SSF_PAB_H
#define ORVEL_SSF_PAB_H

#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

// Longest path of a PAB entry, and of a LoadCertificatesFromPAB file.
constexpr size_t kMaxPabEntryPath = 4096;
constexpr int kMaxPabFilePath = 4095;

// The certificates of every regular file of the directory that holds one,
// in directory order (a stack that may be empty); null when the directory
// cannot be opened. Files that do not load are skipped with a line.
STACK_OF(X509) * load_certs_from_pab(const char* dir);
STACK_OF(X509) * load_certs_from_pab_brekssl(const char* dir);

// 1 with a new store in *store whose file lookup has loaded the PEM file at
// the path (length characters, at most 4095); -1 on failure.
int LoadCertificatesFromPAB(X509_STORE** store, const char* path, int length);

#endif
