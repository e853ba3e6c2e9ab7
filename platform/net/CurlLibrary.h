#pragma once

// libcurl is loaded when the first on-line session opens instead of being linked to the
// program: with its TLS, Kerberos, LDAP and other libraries it is some thirty shared objects,
// whose loading and relocation alone took about as long as the rest of the program's start-up,
// and most runs of the program never go on-line.

#include <curl/curl.h>

#include <string>

struct CurlLibrary
{
    CURLcode (*globalInit)(long flags) = nullptr;
    CURL *(*easyInit)() = nullptr;
    CURLcode (*easySetopt)(CURL *curl, CURLoption option, ...) = nullptr;
    CURLcode (*easyPerform)(CURL *curl) = nullptr;
    CURLcode (*easyGetinfo)(CURL *curl, CURLINFO info, ...) = nullptr;
    void (*easyCleanup)(CURL *curl) = nullptr;
    curl_slist *(*slistAppend)(curl_slist *list, const char *text) = nullptr;
    void (*slistFreeAll)(curl_slist *list) = nullptr;
};

// Loads the named shared object and finds every call above in it; false, with nothing kept
// loaded, when the file cannot be loaded or lacks one of them.
bool LoadCurlLibrary(const std::string &fileName, CurlLibrary *library);

// The program's libcurl (its soname), loaded and globally initialised once; null when it cannot
// be loaded, which the on-line calls report as an internal error.
const CurlLibrary *Curl();
