// Version banner and revision texts of the library and its toolkit build.
#ifndef ORVEL_SSF_REVISION_H
#define ORVEL_SSF_REVISION_H

// The banner SsfVersion returns before its line feed.
extern const char kSsfVersionBanner[];

const char* get_ssf_svn_info();
const char* get_brekssl_svn_info();
const char* get_libiconv_svn_info();

#endif
