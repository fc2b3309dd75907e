#include "critical_ext.h"

#include <algorithm>

std::string unprocessed_critical(const X509_EXTENSION* ext, std::initializer_list<int> processed) {
  if (ext == nullptr || X509_EXTENSION_get_critical(ext) <= 0) return std::string();
  const ASN1_OBJECT* obj = X509_EXTENSION_get_object(const_cast<X509_EXTENSION*>(ext));
  const int nid = OBJ_obj2nid(obj);
  if (nid != NID_undef && std::find(processed.begin(), processed.end(), nid) != processed.end())
    return std::string();
  char oid[128];
  const int n = OBJ_obj2txt(oid, sizeof oid, obj, 1);
  return n > 0 ? std::string(oid) : std::string("(unreadable object identifier)");
}
