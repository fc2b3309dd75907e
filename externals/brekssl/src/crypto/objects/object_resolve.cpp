#include "objects/object_resolve.h"

#include <openssl/asn1.h>
#include <openssl/err.h>
#include <openssl/objects.h>

#include "ossl_ptr.h"

namespace {

using orvel::Asn1ObjectPtr;

int conflict(const SsfObjectRow& row, const char* what) {
  ERR_raise(ERR_LIB_OBJ, OBJ_R_OID_EXISTS);
  ERR_add_error_data(4, "object ", row.sn, ": ", what);
  return NID_undef;
}

// Adds an object that carries nid with the given names and identifier, so
// that the toolkit's look-ups by name or identifier find nid. For a NID of
// the toolkit's own table, OBJ_nid2obj keeps returning the table's object.
bool add_object(int nid, const ASN1_OBJECT* oid, const char* sn, const char* ln) {
  const unsigned char* data = oid != nullptr ? OBJ_get0_data(oid) : nullptr;
  int len = oid != nullptr ? static_cast<int>(OBJ_length(oid)) : 0;
  // ASN1_OBJECT_create copies data and names; it does not write to them.
  Asn1ObjectPtr obj(ASN1_OBJECT_create(nid, const_cast<unsigned char*>(data), len, sn, ln));
  if (!obj) return false;
  return OBJ_add_object(obj.get()) != NID_undef;
}

int create_object(const SsfObjectRow& row, const ASN1_OBJECT* oid) {
  if (oid != nullptr) {
    int nid = OBJ_create(row.oid, row.sn, row.ln);
    if (nid == NID_undef) ERR_add_error_data(2, "cannot create object ", row.sn);
    return nid;
  }
  // OBJ_create needs an identifier; name-only objects get a fresh NID.
  int nid = OBJ_new_nid(1);
  if (!add_object(nid, nullptr, row.sn, row.ln)) {
    ERR_add_error_data(2, "cannot create object ", row.sn);
    return NID_undef;
  }
  return nid;
}

}  // namespace

int ssf_resolve_object_row(const SsfObjectRow& row) {
  Asn1ObjectPtr oid;
  if (row.oid != nullptr && (row.flags & kSsfObjOidTaken) == 0) {
    oid.reset(OBJ_txt2obj(row.oid, 1));
    if (!oid) return conflict(row, "identifier does not parse");
  }
  int by_oid = oid ? OBJ_obj2nid(oid.get()) : NID_undef;
  int by_sn = OBJ_sn2nid(row.sn);
  int by_ln = OBJ_ln2nid(row.ln);

  int nid = by_oid;
  if (nid == NID_undef) {
    nid = by_sn != NID_undef ? by_sn : by_ln;
    // A name of an object that has an identifier of its own cannot take on
    // the row's identifier.
    if (nid != NID_undef && oid && OBJ_length(OBJ_nid2obj(nid)) != 0)
      return conflict(row, "name taken by an object with another identifier");
  }
  if (nid == NID_undef) return create_object(row, oid.get());

  if ((by_sn != NID_undef && by_sn != nid) || (by_ln != NID_undef && by_ln != nid))
    return conflict(row, "name taken by another object");
  const char* sn_alias = by_sn == NID_undef ? row.sn : nullptr;
  const char* ln_alias = by_ln == NID_undef ? row.ln : nullptr;
  const ASN1_OBJECT* oid_alias = oid && by_oid == NID_undef ? oid.get() : nullptr;
  if (sn_alias == nullptr && ln_alias == nullptr && oid_alias == nullptr) return nid;
  if (!add_object(nid, oid_alias, sn_alias, ln_alias)) {
    ERR_add_error_data(2, "cannot add aliases of object ", row.sn);
    return NID_undef;
  }
  return nid;
}
