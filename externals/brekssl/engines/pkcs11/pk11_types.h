// PKCS#11 v2.x types and values that the provider's token code and the
// "pkcs11" engine use, with the TC26 vendor values for GOST R 34.10-2012
// keys. The layout follows the standard's C binding on Linux (no structure
// packing, unsigned long values); the function list keeps the standard's
// order.
#ifndef ORVEL_PK11_TYPES_H
#define ORVEL_PK11_TYPES_H

#include <cstddef>

extern "C" {

using CK_BYTE = unsigned char;
using CK_BBOOL = unsigned char;
using CK_ULONG = unsigned long;
using CK_RV = unsigned long;
using CK_FLAGS = unsigned long;
using CK_SLOT_ID = unsigned long;
using CK_SESSION_HANDLE = unsigned long;
using CK_OBJECT_HANDLE = unsigned long;
using CK_OBJECT_CLASS = unsigned long;
using CK_KEY_TYPE = unsigned long;
using CK_ATTRIBUTE_TYPE = unsigned long;
using CK_MECHANISM_TYPE = unsigned long;
using CK_USER_TYPE = unsigned long;
using CK_NOTIFICATION = unsigned long;

inline constexpr CK_BBOOL CK_TRUE = 1;
inline constexpr CK_BBOOL CK_FALSE = 0;
inline constexpr CK_ULONG CK_UNAVAILABLE_INFORMATION = ~0UL;

struct CK_VERSION {
  CK_BYTE major;
  CK_BYTE minor;
};

struct CK_INFO {
  CK_VERSION cryptokiVersion;
  CK_BYTE manufacturerID[32];
  CK_FLAGS flags;
  CK_BYTE libraryDescription[32];
  CK_VERSION libraryVersion;
};

struct CK_SLOT_INFO {
  CK_BYTE slotDescription[64];
  CK_BYTE manufacturerID[32];
  CK_FLAGS flags;
  CK_VERSION hardwareVersion;
  CK_VERSION firmwareVersion;
};

struct CK_TOKEN_INFO {
  CK_BYTE label[32];
  CK_BYTE manufacturerID[32];
  CK_BYTE model[16];
  CK_BYTE serialNumber[16];
  CK_FLAGS flags;
  CK_ULONG ulMaxSessionCount;
  CK_ULONG ulSessionCount;
  CK_ULONG ulMaxRwSessionCount;
  CK_ULONG ulRwSessionCount;
  CK_ULONG ulMaxPinLen;
  CK_ULONG ulMinPinLen;
  CK_ULONG ulTotalPublicMemory;
  CK_ULONG ulFreePublicMemory;
  CK_ULONG ulTotalPrivateMemory;
  CK_ULONG ulFreePrivateMemory;
  CK_VERSION hardwareVersion;
  CK_VERSION firmwareVersion;
  CK_BYTE utcTime[16];
};

struct CK_SESSION_INFO {
  CK_SLOT_ID slotID;
  CK_ULONG state;
  CK_FLAGS flags;
  CK_ULONG ulDeviceError;
};

struct CK_ATTRIBUTE {
  CK_ATTRIBUTE_TYPE type;
  void* pValue;
  CK_ULONG ulValueLen;
};

struct CK_MECHANISM {
  CK_MECHANISM_TYPE mechanism;
  void* pParameter;
  CK_ULONG ulParameterLen;
};

struct CK_MECHANISM_INFO {
  CK_ULONG ulMinKeySize;
  CK_ULONG ulMaxKeySize;
  CK_FLAGS flags;
};

// Parameter of CKM_GOSTR3410_DERIVE.
struct CK_GOSTR3410_DERIVE_PARAMS {
  CK_ULONG kdf;
  CK_BYTE* pPublicData;
  CK_ULONG ulPublicDataLen;
  CK_BYTE* pUKM;
  CK_ULONG ulUKMLen;
};

using CK_NOTIFY = CK_RV (*)(CK_SESSION_HANDLE, CK_NOTIFICATION, void*);
// A slot of the function list that this system never calls.
using CK_UNUSED_FN = CK_RV (*)();

struct CK_FUNCTION_LIST;

struct CK_FUNCTION_LIST {
  CK_VERSION version;
  CK_RV (*C_Initialize)(void* init_args);
  CK_RV (*C_Finalize)(void* reserved);
  CK_RV (*C_GetInfo)(CK_INFO* info);
  CK_RV (*C_GetFunctionList)(CK_FUNCTION_LIST** list);
  CK_RV (*C_GetSlotList)(CK_BBOOL token_present, CK_SLOT_ID* slots, CK_ULONG* count);
  CK_RV (*C_GetSlotInfo)(CK_SLOT_ID slot, CK_SLOT_INFO* info);
  CK_RV (*C_GetTokenInfo)(CK_SLOT_ID slot, CK_TOKEN_INFO* info);
  CK_UNUSED_FN C_GetMechanismList;
  CK_UNUSED_FN C_GetMechanismInfo;
  CK_UNUSED_FN C_InitToken;
  CK_UNUSED_FN C_InitPIN;
  CK_UNUSED_FN C_SetPIN;
  CK_RV (*C_OpenSession)(CK_SLOT_ID slot, CK_FLAGS flags, void* app, CK_NOTIFY notify,
                         CK_SESSION_HANDLE* session);
  CK_RV (*C_CloseSession)(CK_SESSION_HANDLE session);
  CK_UNUSED_FN C_CloseAllSessions;
  CK_UNUSED_FN C_GetSessionInfo;
  CK_UNUSED_FN C_GetOperationState;
  CK_UNUSED_FN C_SetOperationState;
  CK_RV (*C_Login)(CK_SESSION_HANDLE session, CK_USER_TYPE user, CK_BYTE* pin, CK_ULONG pin_len);
  CK_RV (*C_Logout)(CK_SESSION_HANDLE session);
  CK_UNUSED_FN C_CreateObject;
  CK_UNUSED_FN C_CopyObject;
  CK_UNUSED_FN C_DestroyObject;
  CK_UNUSED_FN C_GetObjectSize;
  CK_RV (*C_GetAttributeValue)(CK_SESSION_HANDLE session, CK_OBJECT_HANDLE object,
                               CK_ATTRIBUTE* templ, CK_ULONG count);
  CK_RV (*C_SetAttributeValue)(CK_SESSION_HANDLE session, CK_OBJECT_HANDLE object,
                               CK_ATTRIBUTE* templ, CK_ULONG count);
  CK_RV (*C_FindObjectsInit)(CK_SESSION_HANDLE session, CK_ATTRIBUTE* templ, CK_ULONG count);
  CK_RV (*C_FindObjects)(CK_SESSION_HANDLE session, CK_OBJECT_HANDLE* objects, CK_ULONG max,
                         CK_ULONG* count);
  CK_RV (*C_FindObjectsFinal)(CK_SESSION_HANDLE session);
  CK_UNUSED_FN C_EncryptInit;
  CK_UNUSED_FN C_Encrypt;
  CK_UNUSED_FN C_EncryptUpdate;
  CK_UNUSED_FN C_EncryptFinal;
  CK_RV (*C_DecryptInit)(CK_SESSION_HANDLE session, CK_MECHANISM* mech, CK_OBJECT_HANDLE key);
  CK_RV (*C_Decrypt)(CK_SESSION_HANDLE session, CK_BYTE* in, CK_ULONG in_len, CK_BYTE* out,
                     CK_ULONG* out_len);
  CK_UNUSED_FN C_DecryptUpdate;
  CK_UNUSED_FN C_DecryptFinal;
  CK_UNUSED_FN C_DigestInit;
  CK_UNUSED_FN C_Digest;
  CK_UNUSED_FN C_DigestUpdate;
  CK_UNUSED_FN C_DigestKey;
  CK_UNUSED_FN C_DigestFinal;
  CK_RV (*C_SignInit)(CK_SESSION_HANDLE session, CK_MECHANISM* mech, CK_OBJECT_HANDLE key);
  CK_RV (*C_Sign)(CK_SESSION_HANDLE session, CK_BYTE* data, CK_ULONG data_len, CK_BYTE* sig,
                  CK_ULONG* sig_len);
  CK_UNUSED_FN C_SignUpdate;
  CK_UNUSED_FN C_SignFinal;
  CK_UNUSED_FN C_SignRecoverInit;
  CK_UNUSED_FN C_SignRecover;
  CK_UNUSED_FN C_VerifyInit;
  CK_UNUSED_FN C_Verify;
  CK_UNUSED_FN C_VerifyUpdate;
  CK_UNUSED_FN C_VerifyFinal;
  CK_UNUSED_FN C_VerifyRecoverInit;
  CK_UNUSED_FN C_VerifyRecover;
  CK_UNUSED_FN C_DigestEncryptUpdate;
  CK_UNUSED_FN C_DecryptDigestUpdate;
  CK_UNUSED_FN C_SignEncryptUpdate;
  CK_UNUSED_FN C_DecryptVerifyUpdate;
  CK_UNUSED_FN C_GenerateKey;
  CK_RV (*C_GenerateKeyPair)(CK_SESSION_HANDLE session, CK_MECHANISM* mech, CK_ATTRIBUTE* pub,
                             CK_ULONG pub_count, CK_ATTRIBUTE* priv, CK_ULONG priv_count,
                             CK_OBJECT_HANDLE* pub_key, CK_OBJECT_HANDLE* priv_key);
  CK_UNUSED_FN C_WrapKey;
  CK_UNUSED_FN C_UnwrapKey;
  CK_RV (*C_DeriveKey)(CK_SESSION_HANDLE session, CK_MECHANISM* mech, CK_OBJECT_HANDLE base,
                       CK_ATTRIBUTE* templ, CK_ULONG count, CK_OBJECT_HANDLE* key);
  CK_UNUSED_FN C_SeedRandom;
  CK_UNUSED_FN C_GenerateRandom;
  CK_UNUSED_FN C_GetFunctionStatus;
  CK_UNUSED_FN C_CancelFunction;
  CK_UNUSED_FN C_WaitForSlotEvent;
};

using CK_C_GetFunctionList = CK_RV (*)(CK_FUNCTION_LIST** list);

}  // extern "C"

// Return values.
inline constexpr CK_RV CKR_OK = 0x0;
inline constexpr CK_RV CKR_HOST_MEMORY = 0x2;
inline constexpr CK_RV CKR_SLOT_ID_INVALID = 0x3;
inline constexpr CK_RV CKR_GENERAL_ERROR = 0x5;
inline constexpr CK_RV CKR_FUNCTION_FAILED = 0x6;
inline constexpr CK_RV CKR_ARGUMENTS_BAD = 0x7;
inline constexpr CK_RV CKR_ATTRIBUTE_TYPE_INVALID = 0x12;
inline constexpr CK_RV CKR_DATA_LEN_RANGE = 0x21;
inline constexpr CK_RV CKR_KEY_HANDLE_INVALID = 0x60;
inline constexpr CK_RV CKR_MECHANISM_INVALID = 0x70;
inline constexpr CK_RV CKR_OBJECT_HANDLE_INVALID = 0x82;
inline constexpr CK_RV CKR_OPERATION_NOT_INITIALIZED = 0x91;
inline constexpr CK_RV CKR_PIN_INCORRECT = 0xA0;
inline constexpr CK_RV CKR_SESSION_HANDLE_INVALID = 0xB3;
inline constexpr CK_RV CKR_TOKEN_NOT_PRESENT = 0xE0;
inline constexpr CK_RV CKR_USER_ALREADY_LOGGED_IN = 0x100;
inline constexpr CK_RV CKR_USER_NOT_LOGGED_IN = 0x101;
inline constexpr CK_RV CKR_TEMPLATE_INCOMPLETE = 0xD0;
inline constexpr CK_RV CKR_BUFFER_TOO_SMALL = 0x150;
inline constexpr CK_RV CKR_CRYPTOKI_NOT_INITIALIZED = 0x190;
inline constexpr CK_RV CKR_CRYPTOKI_ALREADY_INITIALIZED = 0x191;

// Session flags and user types.
inline constexpr CK_FLAGS CKF_RW_SESSION = 0x2;
inline constexpr CK_FLAGS CKF_SERIAL_SESSION = 0x4;
inline constexpr CK_USER_TYPE CKU_USER = 1;

// Attributes.
inline constexpr CK_ATTRIBUTE_TYPE CKA_CLASS = 0x0;
inline constexpr CK_ATTRIBUTE_TYPE CKA_TOKEN = 0x1;
inline constexpr CK_ATTRIBUTE_TYPE CKA_PRIVATE = 0x2;
inline constexpr CK_ATTRIBUTE_TYPE CKA_LABEL = 0x3;
inline constexpr CK_ATTRIBUTE_TYPE CKA_VALUE = 0x11;
inline constexpr CK_ATTRIBUTE_TYPE CKA_CERTIFICATE_TYPE = 0x80;
inline constexpr CK_ATTRIBUTE_TYPE CKA_KEY_TYPE = 0x100;
inline constexpr CK_ATTRIBUTE_TYPE CKA_ID = 0x102;
inline constexpr CK_ATTRIBUTE_TYPE CKA_ENCRYPT = 0x104;
inline constexpr CK_ATTRIBUTE_TYPE CKA_DECRYPT = 0x105;
inline constexpr CK_ATTRIBUTE_TYPE CKA_SIGN = 0x108;
inline constexpr CK_ATTRIBUTE_TYPE CKA_DERIVE = 0x10C;
inline constexpr CK_ATTRIBUTE_TYPE CKA_MODULUS = 0x120;
inline constexpr CK_ATTRIBUTE_TYPE CKA_MODULUS_BITS = 0x121;
inline constexpr CK_ATTRIBUTE_TYPE CKA_PUBLIC_EXPONENT = 0x122;
inline constexpr CK_ATTRIBUTE_TYPE CKA_GOSTR3410_PARAMS = 0x250;
inline constexpr CK_ATTRIBUTE_TYPE CKA_GOSTR3411_PARAMS = 0x251;
inline constexpr CK_ATTRIBUTE_TYPE CKA_GOST28147_PARAMS = 0x252;

// Object classes, key and certificate types.
inline constexpr CK_OBJECT_CLASS CKO_CERTIFICATE = 1;
inline constexpr CK_OBJECT_CLASS CKO_PUBLIC_KEY = 2;
inline constexpr CK_OBJECT_CLASS CKO_PRIVATE_KEY = 3;
inline constexpr CK_OBJECT_CLASS CKO_SECRET_KEY = 4;
inline constexpr CK_KEY_TYPE CKK_RSA = 0x0;
inline constexpr CK_KEY_TYPE CKK_GOSTR3410 = 0x30;
inline constexpr CK_KEY_TYPE CKK_GOST28147 = 0x32;
inline constexpr CK_KEY_TYPE CKK_TC26_GOSTR3410_512 = 0xD4321003;
inline constexpr CK_ULONG CKC_X_509 = 0;

// Mechanisms and key derivation functions.
inline constexpr CK_MECHANISM_TYPE CKM_RSA_PKCS = 0x1;
inline constexpr CK_MECHANISM_TYPE CKM_GOSTR3410_KEY_PAIR_GEN = 0x1200;
inline constexpr CK_MECHANISM_TYPE CKM_GOSTR3410 = 0x1201;
inline constexpr CK_MECHANISM_TYPE CKM_GOSTR3410_DERIVE = 0x1204;
inline constexpr CK_MECHANISM_TYPE CKM_TC26_GOSTR3410_512_KEY_PAIR_GEN = 0xD4321005;
inline constexpr CK_MECHANISM_TYPE CKM_TC26_GOSTR3410_512 = 0xD4321006;
inline constexpr CK_MECHANISM_TYPE CKM_TC26_GOSTR3410_2012_DERIVE = 0xD4321007;
inline constexpr CK_ULONG CKD_NULL = 1;

#endif
