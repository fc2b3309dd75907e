// The one helper of the fuzz targets: start-up of the library once per
// process (a private configuration and trace directory), the fixtures that
// make_seeds.sh made, owners of what the interface hands out, and a
// loopback service for the clients that ask one.
#ifndef ORVEL_FUZZ_COMMON_H
#define ORVEL_FUZZ_COMMON_H

#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "orvel_ssf.h"
#include "ossl_ptr.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace orvel_fuzz {

// Starts the library once for this process: DIR_LIBRARY names a private
// directory whose configuration traces there with debug lines on; the
// extra lines are appended to the [common] section (and may open others).
void start(const std::string& extra_config = "");

// One run, from the first statement of LLVMFuzzerTestOneInput: keeps the
// trace file small (the library appends to it line by line) and, at the
// end, empties the toolkit's error queue as the library's own callers do
// (print_brekssl_errors): error texts left there are allocations of the
// run that outlive it, and would make the leak check follow every input.
// Nothing of the library's state is touched.
class Run {
 public:
  Run();
  ~Run();
  Run(const Run&) = delete;
  Run& operator=(const Run&) = delete;
};

// A file or directory of the fixtures (make_seeds.sh), by its path inside
// the fixture directory; fixture("") is that directory with a '/'.
std::string fixture(const std::string& name);
std::string read_fixture(const std::string& name);
// A fixture certificate (PEM).
orvel::X509Ptr fixture_cert(const std::string& name);
// A new store trusting the fixture CA (tsa/ca.pem). A store per run: the
// checks may add the certificates an answer carries.
orvel::X509StorePtr ca_store();

// Most inputs start with a selector byte (format, recipient, mode).
struct Input {
  unsigned selector = 0;
  const unsigned char* data = nullptr;
  SsfInt size = 0;
};
bool split(const uint8_t* data, size_t size, Input* in);

// An output octet string, freed as the host frees it.
struct Output {
  unsigned char* p = nullptr;
  SsfInt n = 0;
  Output() = default;
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;
  ~Output() { SsfDELSsfOctetstring(&p, &n); }
};

// A result list of the library, freed as the host frees it.
struct ResultList {
  SigRcpSsfInformationList head = nullptr;
  ResultList() = default;
  ResultList(const ResultList&) = delete;
  ResultList& operator=(const ResultList&) = delete;
  ~ResultList() { SsfDELSigRcpSsfInfoList(&head); }
};

// A signer or recipient record, made and freed through the record
// functions. An empty password is passed as none; get() is null when the
// record functions refuse the values (an empty id).
class Record {
 public:
  Record(const std::string& id, const std::string& profile, const std::string& password = "");
  ~Record() { SsfDELSigRcpSsfInfo(&rec_); }
  Record(const Record&) = delete;
  Record& operator=(const Record&) = delete;
  SigRcpSsfInfo* get() const { return rec_; }

 private:
  SigRcpSsfInfo* rec_ = nullptr;
};

// The fixture keys: 0 RSA, 1 GOST R 34.10-2012 (256 bits); their subject
// id and certfile profile.
struct Party {
  std::string id;
  std::string profile;
};
const Party& party(unsigned which);

// An HTTP service on a free loopback port that answers every request with
// the bytes set last and closes.
class Responder {
 public:
  Responder();
  ~Responder();
  Responder(const Responder&) = delete;
  Responder& operator=(const Responder&) = delete;
  int port() const { return port_; }
  void set_answer(const unsigned char* p, size_t n);

 private:
  void serve();
  int fd_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::string answer_;
  std::thread thread_;
};

}  // namespace orvel_fuzz

#endif
