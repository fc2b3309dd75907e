// Runs an operation so that no exception leaves it: an exception that escapes
// (an allocation failure) is written as "<func>() : out of memory" and turns
// into the given return code.
#ifndef ORVEL_SSF_OP_GUARD_H
#define ORVEL_SSF_OP_GUARD_H

#include <openssl/crypto.h>
#include <openssl/err.h>

#include "log.h"
#include "orvel_ssf.h"
#include "operations.h"

template <class Op>
int run_guarded(const char* func, int out_of_memory_rc, Op&& op) {
  try {
    return op();
  } catch (...) {
    log_err("%s() : out of memory", func);
    return out_of_memory_rc;
  }
}

// An operation that builds *output: on failure the output is freed and
// emptied; the toolkit's error queue is left empty either way.
template <class Op>
int run_output_op(const char* func, SsfDataBlob* output, Op&& op) {
  const int rc = run_guarded(func, SSF_API_NOMEMORY, op);
  if (rc != 0) {
    OPENSSL_free(output->pbData);
    output->pbData = nullptr;
    output->cbData = 0;
  }
  ERR_clear_error();
  return rc;
}

#endif
