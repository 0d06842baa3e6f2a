#include "tools/transfer_url.h"

#include <cctype>

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool PercentDecode(const std::string& in, std::string& out, const char* what, std::string& error) {
    out.clear();
    for (size_t i = 0; i < in.size(); ++i) {
        char c = in[i];
        if (c == '%') {
            const int hi = i + 2 < in.size() ? HexValue(in[i + 1]) : -1;
            const int lo = hi >= 0 ? HexValue(in[i + 2]) : -1;
            if (lo < 0) {
                error = std::string("bad percent-encoding in the ") + what;
                return false;
            }
            c = static_cast<char>(hi * 16 + lo);
            i += 2;
        }
        // Each of these goes on a command line, which cannot carry them.
        if (c == '\r' || c == '\n' || c == '\0') {
            error = std::string("the ") + what + " holds a line break or a NUL";
            return false;
        }
        out += c;
    }
    return true;
}

bool ValidHostName(const std::string& h) {
    for (const char c : h)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '.' && c != '_') return false;
    return true;
}

bool ValidIpv6Literal(const std::string& h) {
    if (h.find(':') == std::string::npos) return false;
    for (const char c : h)
        if (!std::isxdigit(static_cast<unsigned char>(c)) && c != ':' && c != '.') return false;
    return true;
}

}  // namespace

bool ParseFtpUrl(const std::string& text, TFtpUrl& url, std::string& error) {
    url = TFtpUrl{};
    auto hasScheme = [&text](const std::string& scheme) {
        if (text.size() < scheme.size()) return false;
        for (size_t i = 0; i < scheme.size(); ++i)
            if (std::tolower(static_cast<unsigned char>(text[i])) != scheme[i]) return false;
        return true;
    };
    std::string scheme = "ftp://";
    if (hasScheme("ftps://")) {
        scheme = "ftps://";
        url.Implicit = true;
        url.Port = 990;
    } else if (!hasScheme(scheme)) {
        error = "not an ftp:// or ftps:// URL";
        return false;
    }
    const size_t authStart = scheme.size();
    const size_t slash = text.find('/', authStart);
    const std::string authority =
        text.substr(authStart, slash == std::string::npos ? std::string::npos : slash - authStart);

    // The last "@" ends the user part, so a password typed with a bare "@" still works.
    std::string hostPort = authority;
    const size_t at = authority.rfind('@');
    if (at != std::string::npos) {
        const std::string userInfo = authority.substr(0, at);
        hostPort = authority.substr(at + 1);
        const size_t colon = userInfo.find(':');
        std::string user;
        if (!PercentDecode(userInfo.substr(0, colon), user, "user name", error)) return false;
        if (colon != std::string::npos) {
            if (!PercentDecode(userInfo.substr(colon + 1), url.Password, "password", error)) return false;
            url.HasPassword = true;
        }
        if (!user.empty()) url.User = user;
    }

    std::string portText;
    if (!hostPort.empty() && hostPort[0] == '[') {
        const size_t close = hostPort.find(']');
        if (close == std::string::npos) {
            error = "unclosed \"[\" in the host";
            return false;
        }
        url.Host = hostPort.substr(1, close - 1);
        if (!ValidIpv6Literal(url.Host)) {
            error = "bad IPv6 address \"" + url.Host + "\"";
            return false;
        }
        const std::string rest = hostPort.substr(close + 1);
        if (!rest.empty()) {
            if (rest[0] != ':') {
                error = "unexpected text after the IPv6 address";
                return false;
            }
            portText = rest.substr(1);
        }
    } else {
        const size_t colon = hostPort.find(':');
        url.Host = hostPort.substr(0, colon);
        if (colon != std::string::npos) portText = hostPort.substr(colon + 1);
        if (portText.find(':') != std::string::npos) {
            error = "an IPv6 address must be written in brackets, e.g. [::1]";
            return false;
        }
        if (!ValidHostName(url.Host)) {
            error = "bad host name \"" + url.Host + "\"";
            return false;
        }
    }
    if (url.Host.empty()) {
        error = "no host";
        return false;
    }
    if (!portText.empty()) {
        if (portText.size() > 5 || portText.find_first_not_of("0123456789") != std::string::npos ||
            std::stoi(portText) < 1 || std::stoi(portText) > 65535) {
            error = "bad port \"" + portText + "\"";
            return false;
        }
        url.Port = std::stoi(portText);
    }

    // The first "/" only separates the path from the host.
    if (slash != std::string::npos && !PercentDecode(text.substr(slash + 1), url.Path, "path", error)) return false;
    return true;
}
