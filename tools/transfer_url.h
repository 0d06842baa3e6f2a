#pragma once
// ftp:// addresses of the command-line transfer tool.

#include <string>

struct TFtpUrl {
    std::string Host;       // without brackets for an IPv6 literal
    int Port = 21;          // 990 for ftps://
    bool Implicit = false;  // ftps://: TLS from the first byte
    std::string User = "anonymous";
    std::string Password;
    bool HasPassword = false;
    // Decoded, relative to the login directory ("" for it); a leading "/" makes it absolute
    // ("ftp://host//etc/x" or "ftp://host/%2Fetc/x").
    std::string Path;
};

// ftp:// or ftps://[user[:password]@]host[:port][/path], user, password and path percent-decoded, an IPv6 host
// in brackets. Returns false with a reason in error for anything else.
bool ParseFtpUrl(const std::string& text, TFtpUrl& url, std::string& error);
