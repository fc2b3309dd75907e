#include "fuzz_common.h"

#include <openssl/err.h>
#include <openssl/pem.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include "test_servers.h"

namespace orvel_fuzz {

namespace {

// Above this size the trace file is emptied at the start of a run.
constexpr off_t kTraceLimit = 16 << 20;

std::string g_dir;    // the process's configuration and trace directory
std::string g_trace;  // the trace file in it

void remove_dir() {
  if (g_dir.empty()) return;
  unlink((g_dir + "/orvel-ssf-server.cfg").c_str());
  unlink(g_trace.c_str());
  rmdir(g_dir.c_str());
}

[[noreturn]] void fail(const std::string& what) {
  fprintf(stderr, "fuzz set-up: %s\n", what.c_str());
  abort();
}

std::string data_dir() {
  const char* env = getenv("ORVEL_FUZZ_DATA");
  return env != nullptr ? env : ORVEL_FUZZ_DATA_DEFAULT;
}

}  // namespace

void start(const std::string& extra_config) {
  if (!g_dir.empty()) return;
  char tmpl[] = "/tmp/orvel-fuzz-XXXXXX";
  if (mkdtemp(tmpl) == nullptr) fail("mkdtemp");
  g_dir = tmpl;
  g_trace = g_dir + "/orvel-ssf-server.log";
  atexit(remove_dir);
  std::ofstream cfg(g_dir + "/orvel-ssf-server.cfg");
  cfg << "[common]\nlog_dir = " << g_dir << "\ndebug_mode = yes\n" << extra_config;
  cfg.close();
  if (!cfg) fail("cannot write the configuration");
  setenv("DIR_LIBRARY", g_dir.c_str(), 1);
  // The first exported call starts the library; no run pays for it.
  Output version;
  if (SsfVersion(&version.p, &version.n) != SSF_API_OK) fail("SsfVersion");
  if (access(fixture("pab").c_str(), R_OK) != 0)
    fail("no fixtures in " + data_dir() + " (set ORVEL_FUZZ_DATA)");
}

Run::Run() {
  struct stat st;
  if (stat(g_trace.c_str(), &st) == 0 && st.st_size > kTraceLimit &&
      truncate(g_trace.c_str(), 0) != 0)
    fail("cannot empty the trace file");
}

Run::~Run() { ERR_clear_error(); }

std::string fixture(const std::string& name) { return data_dir() + "/fixtures/" + name; }

std::string read_fixture(const std::string& name) {
  std::ifstream in(fixture(name), std::ios::binary);
  if (!in) fail("cannot read fixture " + name);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

orvel::X509Ptr fixture_cert(const std::string& name) {
  const std::string pem = read_fixture(name);
  orvel::BioPtr bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  orvel::X509Ptr cert(PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr));
  if (!cert) fail("cannot read certificate " + name);
  return cert;
}

orvel::X509StorePtr ca_store() {
  static const orvel::X509Ptr ca = fixture_cert("tsa/ca.pem");
  orvel::X509StorePtr store(X509_STORE_new());
  if (!store || X509_STORE_add_cert(store.get(), ca.get()) != 1) fail("X509_STORE");
  return store;
}

bool split(const uint8_t* data, size_t size, Input* in) {
  if (size < 1 || size - 1 > 0x7fffffff) return false;
  in->selector = data[0];
  in->data = data + 1;
  in->size = static_cast<SsfInt>(size - 1);
  return true;
}

Record::Record(const std::string& id, const std::string& profile, const std::string& password) {
  if (SsfNEWSigRcpSsfInfo(
          id.data(), static_cast<SsfInt>(id.size()), nullptr, 0, profile.data(),
          static_cast<SsfInt>(profile.size()), password.empty() ? nullptr : password.data(),
          static_cast<SsfInt>(password.size()), SSF_INITIAL_VALUE, &rec_) != SSF_API_OK)
    rec_ = nullptr;
}

const Party& party(unsigned which) {
  static const Party parties[2] = {
      {"CN=Fuzz RSA, O=Orvel Fuzz, C=RU",
       "certfile=" + fixture("rsa.pem") + ",keyfile=" + fixture("rsa.key")},
      {"CN=Fuzz GOST, O=Orvel Fuzz, C=RU",
       "certfile=" + fixture("gost.pem") + ",keyfile=" + fixture("gost.key")}};
  return parties[which & 1];
}

Responder::Responder() {
  fd_ = orvel_test::listen_on_free_port(&port_);
  if (fd_ < 0) fail("no loopback port");
  thread_ = std::thread([this] { serve(); });
}

Responder::~Responder() {
  stop_ = true;
  thread_.join();
  close(fd_);
}

void Responder::set_answer(const unsigned char* p, size_t n) {
  std::lock_guard<std::mutex> lock(mutex_);
  answer_.assign(reinterpret_cast<const char*>(p), n);
}

void Responder::serve() {
  while (!stop_) {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, 50) <= 0) continue;
    const int fd = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    orvel_test::read_http_request(fd);
    std::string answer;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      answer = answer_;
    }
    orvel_test::send_all(fd, answer);
    close(fd);
  }
}

}  // namespace orvel_fuzz

// The targets that start the library with the default configuration leave
// LLVMFuzzerInitialize to this one; the others define their own.
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int*, char***) {
  orvel_fuzz::start();
  return 0;
}
