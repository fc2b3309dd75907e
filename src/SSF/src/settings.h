// Process-wide settings. Written only by start-up (startup.cpp) and by the
// two exported server setters; read everywhere else.
#ifndef ORVEL_SSF_SETTINGS_H
#define ORVEL_SSF_SETTINGS_H

struct list_head;

extern int library_is_inited;
extern const char* local_encoding;
extern const char* server_encoding;

extern int check_chain;
extern int check_crl;
extern char* CA_FILE;
extern list_head* proto_list;
extern char* tsp_server;
extern char* tsp_server_2012;
extern char* ocsp_server;
extern int use_profile_timestamp;
extern char* default_password;
extern int use_heapdump;
extern int debug_mode;
extern char* default_verify_name;
extern int max_tsp_ocsp_diff;
extern char* default_crl_url;
extern char* default_crl_url_2012;
extern int password_caching;
extern int use_only_default_crl_url;
extern char* proxy_host;
extern char* proxy_port;
extern char* proxy_login_pwd;
extern int disable_ocsp_issuer_check;
extern int verify_use_signing_time;
extern int disable_cades_crl_using;
extern char* hok_urls;
extern char* hok_login;
extern char* hok_password;
extern int verify_use_sha1_id;
extern int max_ocsp_age;
extern int use_profile_password_encryption;

#endif
