// Names of PKCS#11 return values, shared by the provider's token code and
// the "pkcs11" engine.
#ifndef ORVEL_PK11_ERRORS_H
#define ORVEL_PK11_ERRORS_H

// The name of a return value ("CKR_PIN_INCORRECT"), or
// "unknown PKCS11 error".
const char* pk11errorString(unsigned long rv);

#endif
