// Error reasons of the system's X.509v3 additions whose texts the toolkit
// does not have. They live in a small error library of the system's own;
// reasons the toolkit has (invalid name, invalid object identifier, ...) are
// raised under ERR_LIB_X509V3.
#ifndef ORVEL_SSF_X509V3_ERR_H
#define ORVEL_SSF_X509V3_ERR_H

inline constexpr int kSsfX509v3CannotFindFreeFunction = 168;
inline constexpr int kSsfX509v3InvalidStringsNumber = 169;
inline constexpr int kSsfX509v3EmptyValue = 170;

// The library number, registering the library and its texts on first use.
int ssf_x509v3_err_lib();

#define SSF_X509V3_RAISE(reason) ERR_raise(ssf_x509v3_err_lib(), (reason))

#endif
