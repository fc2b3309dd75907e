// The toolkit engine "pkcs11": keys whose private half stays on a PKCS#11
// token, the module named by a control command.
#ifndef ORVEL_E_PKCS11_H
#define ORVEL_E_PKCS11_H

inline constexpr const char* kPkcs11EngineId = "pkcs11";
inline constexpr const char* kPkcs11EngineName = "PKCS#11 engine support";

// Makes and binds the engine and adds it to the toolkit's engine list.
void ENGINE_load_pkcs11();

#endif
