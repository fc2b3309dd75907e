#include "settings.h"

// Values before start-up: flags off, texts null, numbers 0 but
// max_tsp_ocsp_diff, and the host's strings taken as CP1251.
int library_is_inited = 0;
const char* local_encoding = "UTF-8";
const char* server_encoding = "CP1251";

int check_chain = 0;
int check_crl = 0;
char* CA_FILE = nullptr;
list_head* proto_list = nullptr;
char* tsp_server = nullptr;
char* tsp_server_2012 = nullptr;
char* ocsp_server = nullptr;
int use_profile_timestamp = 0;
char* default_password = nullptr;
int use_heapdump = 0;
int debug_mode = 0;
char* default_verify_name = nullptr;
int max_tsp_ocsp_diff = 60;
char* default_crl_url = nullptr;
char* default_crl_url_2012 = nullptr;
int password_caching = 0;
int use_only_default_crl_url = 0;
char* proxy_host = nullptr;
char* proxy_port = nullptr;
char* proxy_login_pwd = nullptr;
int disable_ocsp_issuer_check = 0;
int verify_use_signing_time = 0;
int disable_cades_crl_using = 0;
char* hok_urls = nullptr;
char* hok_login = nullptr;
char* hok_password = nullptr;
int verify_use_sha1_id = 0;
int max_ocsp_age = 0;
int use_profile_password_encryption = 0;
