// The two directory requests: the certificate fingerprints of a SNILS owner
// (getCertsByOwner) and a certificate by fingerprint (getCertsByIds), each
// tried on the configured URLs in turn until one answers.
#include <openssl/err.h>
#include <openssl/pem.h>

#include <cstring>
#include <string>
#include <utility>

#include "hok_client.h"
#include "log.h"
#include "ossl_ptr.h"
#include "settings.h"

namespace {

// The SOAP 1.1 envelope namespace and the directory service's namespace.
constexpr char kSoapNamespace[] = "http://schemas.xmlsoap.org/soap/envelope/";
constexpr char kServiceNamespace[] = "http://ws.hok.orvel.ru/";

// The URLs of hok:hok_urls, split on the first request of the process.
list_head* hok_url_list = nullptr;

void free_text(void* p) { OPENSSL_free(p); }

// Texts sent inside elements: '&', '<' and '>' written as entities, so that
// a recipient id cannot change the structure of the request.
std::string xml_text(const char* s) {
  std::string out;
  for (; *s; ++s) {
    switch (*s) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      default:
        out.push_back(*s);
    }
  }
  return out;
}

std::string body_head(const char* operation) {
  std::string b = "<soapenv:Envelope xmlns:soapenv=\"";
  b += kSoapNamespace;
  b += "\" xmlns:ws=\"";
  b += kServiceNamespace;
  b += "\">\n<soapenv:Header/>\n\t<soapenv:Body>\n\t\t<ws:";
  b += operation;
  b += ">\n\t\t\t<arg0>\n\t\t\t<login>";
  b += hok_login ? hok_login : "";
  b += "</login>\n\t\t\t<password>";
  b += hok_password ? hok_password : "";
  b += "</password>\n";
  return b;
}

std::string body_tail(const char* operation) {
  std::string b = "\t\t\t<offset>0</offset>\n\t\t\t<limit>10</limit>\n\t\t\t</arg0>\n\t\t</ws:";
  b += operation;
  b += ">\n\t</soapenv:Body>\n</soapenv:Envelope>";
  return b;
}

std::string owner_body(const std::string& digits) {
  return body_head("getCertsByOwner") + "\t\t\t<snils>" + digits +
         "</snils>\n\t\t\t<states><state>1</state></states>\n" + body_tail("getCertsByOwner");
}

std::string ids_body(const char* fingerprint) {
  return body_head("getCertsByIds") + "\t\t\t<fingerprints>\n\t\t\t\t<fingerprint>" +
         xml_text(fingerprint) + "</fingerprint>\n\t\t\t</fingerprints>\n" +
         body_tail("getCertsByIds");
}

// A request body: it carries the directory password, so it is wiped when
// it goes.
struct Body {
  explicit Body(std::string t) : text(std::move(t)) {}
  ~Body() { OPENSSL_cleanse(text.data(), text.size()); }
  Body(const Body&) = delete;
  Body& operator=(const Body&) = delete;
  std::string text;
};

// The digits of a SNILS text, without its separators.
std::string snils_digits(const char* snils) {
  std::string d;
  for (; *snils; ++snils)
    if (*snils >= '0' && *snils <= '9') d.push_back(*snils);
  return d;
}

// The URL list, split now if it does not exist yet; null (with the line)
// when it cannot be made or is empty.
const list_head* url_list(const char* func) {
  if (hok_url_list == nullptr) hok_url_list = create_url_list(hok_urls);
  if (hok_url_list == nullptr) {
    log_err("%s() 2 : create_url_list() failed", func);
    return nullptr;
  }
  if (list_is_empty(hok_url_list)) {
    log_err("%s() 2 : no hok URL", func);
    return nullptr;
  }
  return hok_url_list;
}

// The certificate text with every character reference ("&#" up to the
// next ';') removed; "&#" without a ';' after it is kept as it stands.
std::string ssf_clean_str(const char* text) {
  std::string out;
  const char* p = text;
  for (;;) {
    const char* ref = strstr(p, "&#");
    const char* semi = ref ? strchr(ref + 2, ';') : nullptr;
    if (semi == nullptr) {
      out += p;
      return out;
    }
    out.append(p, size_t(ref - p));
    p = semi + 1;
  }
}

// PEM of a certificate text: PEM as it stands, or bare Base64 (white space
// dropped) in 64-character lines between the PEM lines.
std::string as_pem(const std::string& text) {
  if (!text.empty() && text[0] == '-') return text;
  std::string b64;
  for (const char c : text)
    if (!isspace(static_cast<unsigned char>(c))) b64.push_back(c);
  std::string pem = "-----BEGIN CERTIFICATE-----\n";
  for (size_t i = 0; i < b64.size(); i += 64) {
    pem.append(b64, i, 64);
    pem.push_back('\n');
  }
  pem += "-----END CERTIFICATE-----\n";
  return pem;
}

X509* read_certificate(const char* func, const char* run) {
  const std::string pem = as_pem(ssf_clean_str(run));
  dbg("Cert: '%s'", pem.c_str());
  orvel::BioPtr bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  X509* cert = bio ? PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr) : nullptr;
  if (cert == nullptr) {
    log_err("%s() 6 : PEM_read_bio_X509( '%s' ) failed", func, pem.c_str());
    print_brekssl_errors();
  }
  return cert;
}

}  // namespace

list_head* create_url_list(const char* urls) {
  static const char kFunc[] = "create_url_list";
  if (urls == nullptr) {
    log_err("%s() 1 : urls is NULL", kFunc);
    return nullptr;
  }
  list_head* list = list_create();
  if (list == nullptr) {
    log_err("%s() 2 : list_create() failed", kFunc);
    return nullptr;
  }
  for (const char* p = urls;;) {
    const char* comma = strchr(p, ',');
    const size_t n = comma ? size_t(comma - p) : strlen(p);
    char* url = OPENSSL_strndup(p, n);
    list_node* node = url ? list_node_create(url) : nullptr;
    if (node == nullptr || !list_push(list, node)) {
      OPENSSL_free(url);
      list_destroy(list, free_text);
      log_err("%s() 2 : list_create() failed", kFunc);
      return nullptr;
    }
    if (comma == nullptr) break;
    p = comma + 1;
  }
  return list;
}

void orvel::hok_reset_url_list() {
  if (hok_url_list != nullptr) list_destroy(hok_url_list, free_text);
  hok_url_list = nullptr;
}

int hok_get_fingerprint_by_snils(const char* snils, char** fingerprints) {
  static const char kFunc[] = "hok_get_fingerprint_by_snils";
  if (snils == nullptr || fingerprints == nullptr) {
    log_err("%s() 1 : snils or fingerprint is NULL", kFunc);
    return kHokNotFound;
  }
  *fingerprints = nullptr;
  const list_head* urls = url_list(kFunc);
  if (urls == nullptr) return kHokNotFound;
  const Body body(owner_body(snils_digits(snils)));
  for (list_node* it = list_first_it(urls); it != nullptr; it = list_next_it(it)) {
    const char* url = static_cast<const char*>(list_get_element(it));
    char* run = get_hok_resp(url, body.text.c_str(), "<fingerprint>", "</fingerprint>");
    if (run != nullptr) {
      *fingerprints = run;
      return 0;
    }
    log_err("%s() 3 : get_hok_resp( url = '%s', snils = '%s' ) failed", kFunc,
            url_for_log(url).c_str(), snils);
  }
  return kHokNotFound;
}

int hok_get_cert_by_fingerprint(const char* fingerprint, X509** cert) {
  static const char kFunc[] = "hok_get_cert_by_fingerprint";
  if (fingerprint == nullptr || cert == nullptr) {
    log_err("%s() 1 : fingerprint or cert is NULL", kFunc);
    return kHokNotFound;
  }
  const list_head* urls = url_list(kFunc);
  if (urls == nullptr) return kHokNotFound;
  const Body body(ids_body(fingerprint));
  for (list_node* it = list_first_it(urls); it != nullptr; it = list_next_it(it)) {
    const char* url = static_cast<const char*>(list_get_element(it));
    orvel::CharsPtr run(get_hok_resp(url, body.text.c_str(), "<pkcs>", "</pkcs>"));
    if (!run) {
      log_err("%s() 3 : get_hok_resp( url = '%s', fingerprint = '%s' ) failed", kFunc,
              url_for_log(url).c_str(), fingerprint);
      continue;
    }
    X509* c = read_certificate(kFunc, run.get());
    if (c == nullptr) continue;
    X509_free(*cert);
    *cert = c;
    return 0;
  }
  return kHokNotFound;
}
