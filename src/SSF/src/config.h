// The configuration file (INI, read with iniparser) and the values start-up
// derives from it.
#ifndef ORVEL_SSF_CONFIG_H
#define ORVEL_SSF_CONFIG_H

struct list_head;

constexpr const char kConfigFileName[] = "orvel-ssf-server.cfg";
constexpr const char kLogFileName[] = "orvel-ssf-server.log";

// The value of "section:key" in the file, in one static buffer valid until
// the next look-up (at most 1023 characters); null when absent or when the
// file cannot be loaded.
const char* qel_get_parameter(const char* file, const char* key);

// True when the file is a regular file that iniparser loads; a file that
// is not counts as absent, so every key takes its default.
bool qel_config_loadable(const char* file);

// DIR_LIBRARY in a static buffer; null when not set (or too long to hold).
const char* qel_get_config_dir();
const char* qel_get_default_log_dir();
const char* get_default_log_file();

// Appends one malloc'ed copy per blank-separated word (empty words too);
// the number of entries, or -1 for a null list or text.
int ParseProtocols(list_head* list, const char* text);

// Splits a proxy URL into host and optional port (malloc'ed copies; the
// port is null when the URL has no ':').
void split_proxy_url(const char* url, char** host, char** port);

#endif
