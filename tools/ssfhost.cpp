// Stand-in host: loads liborvel-ssf-server with dlopen and calls it as the
// application server would. One subcommand per operation:
//
//   ssfhost version [--out FILE]
//   ssfhost properties [--property NAME ...] [--argument TEXT]
//   ssfhost digest --format F --hash H --in FILE --out FILE [--detached]
//   ssfhost encode --format F --in FILE --out FILE
//   ssfhost decode --format F --in FILE --out FILE
//   ssfhost sign --format F --hash H --in FILE --out FILE [--detached] [--inc-certs]
//                --signer ID --profile P [--password PW]
//                [--signer ID --profile P [--password PW] ...]
//   ssfhost addsign --format F --hash H --signed FILE [--in FILE] --out FILE [--inc-certs]
//                   --signer ID --profile P [--password PW]
//   ssfhost verify --format F --signed FILE [--in FILE] --pab DIR [--use-certs] [--out FILE]
//   ssfhost enhance --signed FILE [--in FILE] --pab DIR --out FILE
//   ssfhost envelope --format F --in FILE --out FILE --pab DIR [--cipher C]
//                    --signer RECIPIENT-ID ...
//   ssfhost develope --format F --in FILE --out FILE --signer ID --profile P [--password PW]
//
// --profile and --password belong to the --signer before them. The --in of
// enhance is the detached content itself, not a PKCS#7 data ContentInfo.
//
// It prints the return code with its name, each record's uResult with its
// text, and writes the output octet string to --out. Library:
// $ORVEL_LIBRARY, else the one installed beside this program, else the one
// built with it.
#include <limits.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "ssf_api.h"

namespace {

// One --signer with the --profile and --password given after it.
struct SignerArgs {
  std::string id;
  std::optional<std::string> profile, password;
};

struct Options {
  std::map<std::string, std::vector<std::string>> values;
  std::set<std::string> flags;
  std::vector<SignerArgs> signers;  // in command-line order

  bool has(const std::string& k) const {
    return k == "signer" ? !signers.empty() : values.count(k) != 0;
  }
  std::string get(const std::string& k) const {
    auto it = values.find(k);
    return it == values.end() || it->second.empty() ? std::string() : it->second.front();
  }
  const std::vector<std::string>& all(const std::string& k) const {
    static const std::vector<std::string> none;
    auto it = values.find(k);
    return it == values.end() ? none : it->second;
  }
  bool flag(const std::string& k) const { return flags.count(k) != 0; }
};

struct Command {
  const char* name;
  const char* usage;
  std::vector<const char*> required;  // options that must be given
  int (*run)(const SsfApi&, const Options&);
};

// Options that take a value; everything else starting with "--" is a flag.
// The record options go to Options::signers, the others to Options::values.
const std::set<std::string> kValueOptions = {"format",   "hash",     "in",  "out",
                                             "property", "argument", "pab", "pab-password",
                                             "cipher",   "signed"};
const std::set<std::string> kRecordOptions = {"signer", "profile", "password"};
const std::set<std::string> kFlagOptions = {"detached", "inc-certs", "use-certs"};

bool read_input(const std::string& path, std::string* out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    fprintf(stderr, "ssfhost: cannot read '%s'\n", path.c_str());
    return false;
  }
  out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

bool write_output(const std::string& path, const OctetString& out) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  if (!f) {
    fprintf(stderr, "ssfhost: cannot write '%s'\n", path.c_str());
    return false;
  }
  if (out.len > 0) f.write(reinterpret_cast<const char*>(out.data), out.len);
  return static_cast<bool>(f);
}

SsfInt len_of(const std::string& s) { return static_cast<SsfInt>(s.size()); }
const unsigned char* bytes_of(const std::string& s) {
  return reinterpret_cast<const unsigned char*>(s.data());
}

// "return code: 2 (SSF_API_UNKNOWN_FORMAT)".
std::string return_code_text(SsfInt rc) {
  return "return code: " + std::to_string(rc) + " (" + return_code_name(rc) + ")";
}

// The return code, the records' results, and the output file; the process
// exit status is 0 only for return code 0.
int report(SsfInt rc, const OctetString* out, const Options& opt,
           SigRcpSsfInformationList records = nullptr) {
  printf("%s\n", return_code_text(rc).c_str());
  int i = 1;
  for (auto* e = records; e != nullptr; e = e->next, ++i)
    if (e->ptrSigRcp != nullptr)
      printf("record %d: uResult = %d (%s)\n", i, e->ptrSigRcp->uResult,
             result_text(e->ptrSigRcp->uResult));
  if (out != nullptr && rc == 0 && opt.has("out") && !write_output(opt.get("out"), *out)) return 1;
  return rc == 0 ? 0 : 1;
}

// The signer ids of the records the library made (verify, enhance).
void print_signers(SigRcpSsfInformationList records) {
  int i = 1;
  for (auto* e = records; e != nullptr; e = e->next, ++i)
    if (e->ptrSigRcp != nullptr && e->ptrSigRcp->strSigRcpId != nullptr)
      printf("record %d: signer '%.*s'\n", i, e->ptrSigRcp->strSigRcpIdL,
             e->ptrSigRcp->strSigRcpId);
}

// Builds the signer or recipient list from the --signer options, each with
// the --profile and --password given after it (for the commands that take
// records: sign, addsign, envelope, develope).
bool build_records(const Options& opt, RecordList* list) {
  for (size_t i = 0; i < opt.signers.size(); ++i) {
    const SignerArgs& s = opt.signers[i];
    SsfInt rc = list->add(s.id, s.profile.value_or(""), s.password.value_or(""));
    if (rc != 0) {
      printf("record %zu: %s\n", i + 1, return_code_text(rc).c_str());
      return false;
    }
  }
  return true;
}

int run_version(const SsfApi& api, const Options& opt) {
  OctetString out(api);
  SsfInt rc = api.Version(&out.data, &out.len);
  if (rc == 0) printf("%.*s\n", out.len, reinterpret_cast<const char*>(out.data));
  return report(rc, &out, opt);
}

int run_properties(const SsfApi& api, const Options& opt) {
  std::vector<std::string> names = opt.all("property");
  if (names.empty()) names = {"PROPERTIES", "FORMATS", "HASHALGS", "ENCRALGS", "SSF_POPUPS"};
  const std::string arg = opt.get("argument");
  int status = 0;
  for (const auto& name : names) {
    OctetString out(api);
    SsfInt rc = api.QueryProperties(name.data(), len_of(name), arg.data(), len_of(arg), &out.data,
                                    &out.len);
    if (rc == 0)
      printf("%s: %.*s\n", name.c_str(), out.len, reinterpret_cast<const char*>(out.data));
    else
      printf("%s: %s\n", name.c_str(), return_code_text(rc).c_str());
    if (rc != 0) status = 1;
  }
  return status;
}

int run_digest(const SsfApi& api, const Options& opt) {
  std::string input;
  if (!read_input(opt.get("in"), &input)) return 1;
  const std::string format = opt.get("format"), hash = opt.get("hash");
  OctetString out(api);
  SsfInt rc =
      api.Digest(format.data(), len_of(format), opt.flag("detached") ? 1 : 0, bytes_of(input),
                 len_of(input), hash.data(), len_of(hash), &out.data, &out.len);
  return report(rc, &out, opt);
}

int run_encode(const SsfApi& api, const Options& opt) {
  std::string input;
  if (!read_input(opt.get("in"), &input)) return 1;
  const std::string format = opt.get("format");
  OctetString out(api);
  SsfInt rc = api.Encode(format.data(), len_of(format), bytes_of(input), len_of(input), &out.data,
                         &out.len);
  return report(rc, &out, opt);
}

int run_decode(const SsfApi& api, const Options& opt) {
  std::string input;
  if (!read_input(opt.get("in"), &input)) return 1;
  const std::string format = opt.get("format");
  OctetString out(api);
  SsfInt rc = api.Decode(format.data(), len_of(format), bytes_of(input), len_of(input), &out.data,
                         &out.len);
  return report(rc, &out, opt);
}

int run_sign(const SsfApi& api, const Options& opt) {
  std::string input;
  if (!read_input(opt.get("in"), &input)) return 1;
  RecordList signers(api);
  if (!build_records(opt, &signers)) return 1;
  const std::string format = opt.get("format"), hash = opt.get("hash");
  OctetString out(api);
  SsfInt rc = api.Sign(format.data(), len_of(format), hash.data(), len_of(hash),
                       opt.flag("inc-certs") ? 1 : 0, opt.flag("detached") ? 1 : 0, bytes_of(input),
                       len_of(input), signers.head(), &out.data, &out.len);
  return report(rc, &out, opt, signers.head());
}

int run_addsign(const SsfApi& api, const Options& opt) {
  std::string signed_data, input;
  if (!read_input(opt.get("signed"), &signed_data)) return 1;
  if (opt.has("in") && !read_input(opt.get("in"), &input)) return 1;
  RecordList signers(api);
  if (!build_records(opt, &signers)) return 1;
  if (signers.head() == nullptr || signers.head()->next != nullptr) {
    fprintf(stderr, "ssfhost: addsign takes exactly one --signer\n");
    return 2;
  }
  const std::string format = opt.get("format"), hash = opt.get("hash");
  OctetString out(api);
  SsfInt rc = api.AddSign(format.data(), len_of(format), hash.data(), len_of(hash),
                          opt.flag("inc-certs") ? 1 : 0, bytes_of(signed_data), len_of(signed_data),
                          input.empty() ? nullptr : bytes_of(input), len_of(input),
                          signers.head()->ptrSigRcp, &out.data, &out.len);
  return report(rc, &out, opt, signers.head());
}

int run_verify(const SsfApi& api, const Options& opt) {
  std::string signed_data, input;
  if (!read_input(opt.get("signed"), &signed_data)) return 1;
  if (opt.has("in") && !read_input(opt.get("in"), &input)) return 1;
  const std::string format = opt.get("format"), pab = opt.get("pab"),
                    pab_password = opt.get("pab-password");
  RecordList results(api);
  OctetString out(api);
  SsfInt rc = api.Verify(format.data(), len_of(format), opt.flag("use-certs") ? 1 : 0,
                         bytes_of(signed_data), len_of(signed_data),
                         input.empty() ? nullptr : bytes_of(input), len_of(input), pab.data(),
                         len_of(pab), pab_password.data(), len_of(pab_password), results.head_ptr(),
                         &out.data, &out.len);
  print_signers(results.head());
  return report(rc, &out, opt, results.head());
}

// Every plain signature of the signedData enhanced (signature time stamp,
// revocation and certificate references and values, ES-C time stamp; it
// needs cades:tsp_server), every enhanced one verified (uResult 101); the
// library makes one result record per signature.
int run_enhance(const SsfApi& api, const Options& opt) {
  std::string signed_data, input;
  if (!read_input(opt.get("signed"), &signed_data)) return 1;
  if (opt.has("in") && !read_input(opt.get("in"), &input)) return 1;
  const std::string pab = opt.get("pab");
  RecordList results(api);
  OctetString out(api);
  SsfInt rc = api.EnhanceSignatures(pab.data(), len_of(pab), bytes_of(signed_data),
                                    len_of(signed_data), input.empty() ? nullptr : bytes_of(input),
                                    len_of(input), results.head_ptr(), &out.data, &out.len);
  print_signers(results.head());
  return report(rc, &out, opt, results.head());
}

int run_envelope(const SsfApi& api, const Options& opt) {
  std::string input;
  if (!read_input(opt.get("in"), &input)) return 1;
  RecordList recipients(api);
  if (!build_records(opt, &recipients)) return 1;
  const std::string format = opt.get("format"), pab = opt.get("pab"),
                    pab_password = opt.get("pab-password");
  const std::string cipher = opt.has("cipher") ? opt.get("cipher") : "GOST-28147-89";
  OctetString out(api);
  SsfInt rc =
      api.Envelope(format.data(), len_of(format), cipher.data(), len_of(cipher), bytes_of(input),
                   len_of(input), pab.data(), len_of(pab), pab_password.data(),
                   len_of(pab_password), recipients.head(), &out.data, &out.len);
  return report(rc, &out, opt, recipients.head());
}

int run_develope(const SsfApi& api, const Options& opt) {
  std::string input;
  if (!read_input(opt.get("in"), &input)) return 1;
  RecordList recipients(api);
  if (!build_records(opt, &recipients)) return 1;
  if (recipients.head() == nullptr || recipients.head()->next != nullptr) {
    fprintf(stderr, "ssfhost: develope takes exactly one --signer\n");
    return 2;
  }
  const std::string format = opt.get("format");
  OctetString out(api);
  SsfInt rc = api.Develope(format.data(), len_of(format), bytes_of(input), len_of(input),
                           recipients.head()->ptrSigRcp, &out.data, &out.len);
  return report(rc, &out, opt, recipients.head());
}

const Command kCommands[] = {
    {"version", "version [--out FILE]", {}, run_version},
    {"properties", "properties [--property NAME ...] [--argument TEXT]", {}, run_properties},
    {"digest",
     "digest --format F --hash H --in FILE --out FILE [--detached]",
     {"format", "hash", "in", "out"},
     run_digest},
    {"encode", "encode --format F --in FILE --out FILE", {"format", "in", "out"}, run_encode},
    {"decode", "decode --format F --in FILE --out FILE", {"format", "in", "out"}, run_decode},
    {"sign",
     "sign --format F --hash H --in FILE --out FILE [--detached] [--inc-certs] "
     "--signer ID --profile P [--password PW] [--signer ID --profile P [--password PW] ...]",
     {"format", "hash", "in", "out", "signer"},
     run_sign},
    {"addsign",
     "addsign --format F --hash H --signed FILE [--in FILE] --out FILE [--inc-certs] "
     "--signer ID --profile P [--password PW]",
     {"format", "hash", "signed", "out", "signer"},
     run_addsign},
    {"verify",
     "verify --format F --signed FILE [--in FILE] --pab DIR [--use-certs] [--out FILE]",
     {"format", "signed", "pab"},
     run_verify},
    {"enhance",
     "enhance --signed FILE [--in FILE] --pab DIR --out FILE",
     {"signed", "pab", "out"},
     run_enhance},
    {"envelope",
     "envelope --format F --in FILE --out FILE --pab DIR [--cipher C] --signer RECIPIENT-ID ...",
     {"format", "in", "out", "pab", "signer"},
     run_envelope},
    {"develope",
     "develope --format F --in FILE --out FILE --signer ID --profile P [--password PW]",
     {"format", "in", "out", "signer"},
     run_develope},
};

void usage() {
  fprintf(stderr, "usage: ssfhost COMMAND [OPTIONS]\n");
  for (const auto& c : kCommands) fprintf(stderr, "  ssfhost %s\n", c.usage);
  fprintf(stderr, "--profile and --password belong to the --signer before them.\n");
}

// --signer starts a record; --profile and --password go, once each, to the
// record of the --signer before them.
bool add_record_option(const std::string& name, const std::string& value, Options* opt) {
  if (name == "signer") {
    opt->signers.push_back({value, std::nullopt, std::nullopt});
    return true;
  }
  if (opt->signers.empty()) {
    fprintf(stderr, "ssfhost: --%s before any --signer\n", name.c_str());
    return false;
  }
  SignerArgs& s = opt->signers.back();
  std::optional<std::string>& slot = name == "profile" ? s.profile : s.password;
  if (slot) {
    fprintf(stderr, "ssfhost: second --%s for --signer '%s'\n", name.c_str(), s.id.c_str());
    return false;
  }
  slot = value;
  return true;
}

bool parse_options(int argc, char** argv, Options* opt) {
  for (int i = 2; i < argc; ++i) {
    std::string a = argv[i];
    if (a.rfind("--", 0) != 0) {
      fprintf(stderr, "ssfhost: unexpected argument '%s'\n", argv[i]);
      return false;
    }
    a = a.substr(2);
    if (kFlagOptions.count(a)) {
      opt->flags.insert(a);
    } else if (kValueOptions.count(a) || kRecordOptions.count(a)) {
      if (i + 1 >= argc) {
        fprintf(stderr, "ssfhost: --%s needs a value\n", a.c_str());
        return false;
      }
      const char* value = argv[++i];
      if (!kRecordOptions.count(a))
        opt->values[a].push_back(value);
      else if (!add_record_option(a, value, opt))
        return false;
    } else {
      fprintf(stderr, "ssfhost: unknown option --%s\n", a.c_str());
      return false;
    }
  }
  return true;
}

// An installed host finds the library through the relative path from its
// bin directory to the lib directory; a host in the build tree has none there
// and takes the library it was built with.
std::string library_path() {
  if (const char* env = getenv("ORVEL_LIBRARY")) return env;
  char exe[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n > 0) {
    const std::string self(exe, static_cast<size_t>(n));
    const std::string installed = self.substr(0, self.rfind('/') + 1) + ORVEL_INSTALLED_LIBRARY;
    if (access(installed.c_str(), R_OK) == 0) return installed;
  }
  return ORVEL_DEFAULT_LIBRARY;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    usage();
    return 2;
  }
  const Command* cmd = nullptr;
  for (const auto& c : kCommands)
    if (strcmp(c.name, argv[1]) == 0) cmd = &c;
  if (cmd == nullptr) {
    fprintf(stderr, "ssfhost: unknown command '%s'\n", argv[1]);
    usage();
    return 2;
  }
  Options opt;
  if (!parse_options(argc, argv, &opt)) return 2;
  for (const char* r : cmd->required) {
    if (!opt.has(r)) {
      fprintf(stderr, "ssfhost: %s needs --%s\nusage: ssfhost %s\n", cmd->name, r, cmd->usage);
      return 2;
    }
  }
  SsfApi api;
  std::string error;
  if (!api.load(library_path(), &error)) {
    fprintf(stderr, "ssfhost: %s\n", error.c_str());
    return 1;
  }
  return cmd->run(api, opt);
}
