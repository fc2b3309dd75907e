// The record functions: signer/recipient records and their lists, and the
// release of output octet strings.
#include <openssl/crypto.h>

#include <cstring>

#include "frame.h"
#include "log.h"
#include "orvel_ssf.h"
#include "startup.h"

namespace {

// A copy of len bytes with a NUL behind, from the toolkit's allocator.
char* copy_field(const char* src, SsfInt len) {
  auto* p = static_cast<char*>(OPENSSL_malloc(static_cast<size_t>(len) + 1));
  if (p == nullptr) return nullptr;
  memcpy(p, src, static_cast<size_t>(len));
  p[len] = '\0';
  return p;
}

// Optional strings are copied only when given with a positive length; a
// negative length counts as absent.
bool optional_given(const char* p, SsfInt len) { return p != nullptr && len > 0; }

}  // namespace

SsfInt SsfNEWSigRcpSsfInfo(const char* strSigRcpId, SsfInt strSigRcpIdL,
                           const char* strSigRcpReserved, SsfInt strSigRcpReservedL,
                           const char* strSigRcpProfile, SsfInt strSigRcpProfileL,
                           const char* strSigRcpPassword, SsfInt strSigRcpPasswordL, SsfInt uResult,
                           SigRcpSsfInfo** ptrSigRcpSsfInfo) {
  lock_mutex();
  init_lib();
  if (ptrSigRcpSsfInfo != nullptr) *ptrSigRcpSsfInfo = nullptr;
  dbg("%s() started, strSigRcpId = %#x, strSigRcpIdL = %d, strSigRcpReserved = %#x, "
      "strSigRcpReservedL = %d, strSigRcpProfile = %#x, strSigRcpProfileL = %d, "
      "strSigRcpPassword = %#x, strSigRcpPasswordL = %d, uResult = %d, ptrSigRcpSsfInfo = %#x",
      __func__, low32(strSigRcpId), strSigRcpIdL, low32(strSigRcpReserved), strSigRcpReservedL,
      low32(strSigRcpProfile), strSigRcpProfileL, low32(strSigRcpPassword), strSigRcpPasswordL,
      uResult, low32(ptrSigRcpSsfInfo));
  dbg_hex_dump(strSigRcpId, strSigRcpIdL, "strSigRcpId");

  SsfInt rc = SSF_API_OK;
  SigRcpSsfInfo* rec = nullptr;
  if (ptrSigRcpSsfInfo == nullptr) {
    log_err("%s() 0 : ptrSigRcpSsfInfo == NULL", __func__);
    rc = SSF_API_REC_NO_RECORD;
  } else if (strSigRcpId == nullptr || strSigRcpIdL <= 0) {
    log_err("%s() 1 : strSigRcpId = %#x, strSigRcpIdL = %d", __func__, low32(strSigRcpId),
            strSigRcpIdL);
    rc = SSF_API_REC_NO_ID;
  } else {
    const char* failed_step = nullptr;
    size_t failed_size = 0;
    rec = static_cast<SigRcpSsfInfo*>(OPENSSL_zalloc(sizeof(SigRcpSsfInfo)));
    if (rec == nullptr) {
      failed_step = "2";
      failed_size = sizeof(SigRcpSsfInfo);
    } else {
      rec->uResult = uResult;
      struct Field {
        const char* src;
        SsfInt len;
        char** dst;
        SsfInt* dst_len;
        const char* step;
        bool required;
      } fields[] = {
          {strSigRcpId, strSigRcpIdL, &rec->strSigRcpId, &rec->strSigRcpIdL, "3", true},
          {strSigRcpReserved, strSigRcpReservedL, &rec->strSigRcpReserved, &rec->strSigRcpReservedL,
           "4", false},
          {strSigRcpPassword, strSigRcpPasswordL, &rec->strSigRcpPassword, &rec->strSigRcpPasswordL,
           "5", false},
          {strSigRcpProfile, strSigRcpProfileL, &rec->strSigRcpProfile, &rec->strSigRcpProfileL,
           "6", false},
      };
      for (const Field& f : fields) {
        if (!f.required && !optional_given(f.src, f.len)) continue;
        *f.dst = copy_field(f.src, f.len);
        if (*f.dst == nullptr) {
          failed_step = f.step;
          failed_size = static_cast<size_t>(f.len) + 1;
          break;
        }
        *f.dst_len = f.len;
      }
    }
    if (failed_step != nullptr) {
      log_err("%s() %s : OPENSSL_malloc( %d ) failed", __func__, failed_step,
              static_cast<int>(failed_size));
      print_brekssl_errors();
      if (rec != nullptr) SsfDELSigRcpSsfInfo(&rec);
      rc = SSF_API_REC_NOMEMORY;
    } else {
      *ptrSigRcpSsfInfo = rec;
    }
  }
  release_mutex();
  dbg("%s() end, retcode = %d", __func__, rc);
  return rc;
}

SsfInt SsfINSSigRcpSsfInfo(SigRcpSsfInfo* ptrSigRcpSsfInfo,
                           SigRcpSsfInformationList* sigRcpSsfInfoList) {
  lock_mutex();
  init_lib();
  dbg("start SsfINSSigRcpSsfInfo, ptrSigRcpSsfInfo = %#x, sigRcpSsfInfoList = %#x",
      low32(ptrSigRcpSsfInfo), low32(sigRcpSsfInfoList));
  SsfInt rc = SSF_API_OK;
  if (ptrSigRcpSsfInfo == nullptr) {
    log_err("%s() 1 : ptrSigRcpSsfInfo == NULL", __func__);
    rc = SSF_API_REC_NO_RECORD;
  } else if (sigRcpSsfInfoList == nullptr) {
    log_err("%s() 1 : sigRcpSsfInfoList == NULL", __func__);
    rc = SSF_API_REC_NO_LIST;
  } else {
    auto* element = static_cast<SigRcpSsfInformationListElement*>(
        OPENSSL_malloc(sizeof(SigRcpSsfInformationListElement)));
    if (element == nullptr) {
      log_err("%s() 2 : can't alloc %d bytes for SigRcpSsfInformationListElement", __func__,
              static_cast<int>(sizeof(SigRcpSsfInformationListElement)));
      rc = SSF_API_REC_NOMEMORY;
    } else {
      element->next = nullptr;
      element->ptrSigRcp = ptrSigRcpSsfInfo;
      if (*sigRcpSsfInfoList == nullptr) {
        *sigRcpSsfInfoList = element;
        dbg("end SsfINSSigRcpSsfInfo, list == NULL");
      } else {
        SigRcpSsfInformationListElement* last = *sigRcpSsfInfoList;
        while (last->next != nullptr) last = last->next;
        last->next = element;
      }
    }
  }
  release_mutex();
  dbg("end SsfINSSigRcpSsfInfo, rc = %d", rc);
  return rc;
}

SsfInt SsfDELSigRcpSsfInfo(SigRcpSsfInfo** ptrSigRcpSsfInfo) {
  lock_mutex();
  init_lib();
  dbg("start SsfDELSigRcpSsfInfo, ptrSigRcpSsfInfo = %#x", low32(ptrSigRcpSsfInfo));
  SsfInt rc = SSF_API_OK;
  if (ptrSigRcpSsfInfo == nullptr) {
    log_err("%s() 1 : ptrSigRcpSsfInfo == NULL", __func__);
    rc = SSF_API_REC_NO_RECORD;
  } else if (*ptrSigRcpSsfInfo == nullptr) {
    log_err("%s() 2 : *ptrSigRcpSsfInfo == NULL", __func__);
    rc = SSF_API_REC_NO_RECORD;
  } else {
    SigRcpSsfInfo* rec = *ptrSigRcpSsfInfo;
    OPENSSL_free(rec->strSigRcpId);
    // The password may be a PIN: wiped before it is freed.
    if (rec->strSigRcpPassword != nullptr)
      OPENSSL_clear_free(
          rec->strSigRcpPassword,
          static_cast<size_t>(rec->strSigRcpPasswordL > 0 ? rec->strSigRcpPasswordL : 0));
    OPENSSL_free(rec->strSigRcpProfile);
    OPENSSL_free(rec->strSigRcpReserved);
    OPENSSL_free(rec);
    // No dangling pointer is left with the host.
    *ptrSigRcpSsfInfo = nullptr;
  }
  release_mutex();
  dbg("end SsfDELSigRcpSsfInfo, rc = %d", rc);
  return rc;
}

SsfInt SsfDELSigRcpSsfInfoList(SigRcpSsfInformationList* sigRcpSsfInfoList) {
  lock_mutex();
  init_lib();
  dbg("start SsfDELSigRcpSsfInfoList. sigRcpSsfInfoList = %#x", low32(sigRcpSsfInfoList));
  SsfInt rc = SSF_API_OK;
  if (sigRcpSsfInfoList == nullptr) {
    log_err("%s() 1 : sigRcpSsfInfoList = %#x", __func__, low32(sigRcpSsfInfoList));
    rc = SSF_API_REC_NO_LIST;
  } else {
    SigRcpSsfInformationListElement* cur = *sigRcpSsfInfoList;
    while (cur != nullptr) {
      if (cur->ptrSigRcp == nullptr) {
        log_err("######################## !cur->ptrSigRcp ############");
        rc = -1;
        break;
      }
      SigRcpSsfInformationListElement* next = cur->next;
      SsfDELSigRcpSsfInfo(&cur->ptrSigRcp);
      OPENSSL_free(cur);
      cur = next;
    }
    // The host's list now starts where freeing stopped (null when all is
    // freed), never at a freed element.
    *sigRcpSsfInfoList = cur;
  }
  release_mutex();
  dbg("end SsfDELSigRcpSsfInfoList, rc = %d", rc);
  return rc;
}

SsfInt SsfDELSsfOctetstring(unsigned char** ostrData, SsfInt* ostrDataL) {
  lock_mutex();
  init_lib();
  if (ostrData != nullptr && *ostrData != nullptr) {
    OPENSSL_free(*ostrData);
    *ostrData = nullptr;
  }
  if (ostrDataL != nullptr) *ostrDataL = 0;
  release_mutex();
  return SSF_API_OK;
}
