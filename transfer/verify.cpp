#include "transfer/verify.h"

#include <openssl/evp.h>

#include <array>
#include <cstdio>
#include <cctype>
#include <cstdint>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "transport/stream.h"

namespace {

std::string Lower(std::string t) {
    for (char& c : t) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return t;
}

bool IsHex(const std::string& t) {
    if (t.empty()) return false;
    for (char c : t)
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

// Reads the whole file in pieces, handing each to fn.
template <class Fn>
void ReadPieces(const std::string& path, Fn fn) {
    TIdFileStream file(path, TIdFileMode::fmOpenRead);
    std::vector<char> buf(1 << 20);
    for (;;) {
        const int64_t got = file.Read(buf.data(), static_cast<int64_t>(buf.size()));
        if (got <= 0) break;
        fn(reinterpret_cast<const unsigned char*>(buf.data()), static_cast<size_t>(got));
    }
}

std::string Crc32(const std::string& path) {
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    uint32_t crc = 0xFFFFFFFFu;
    ReadPieces(path, [&](const unsigned char* p, size_t n) {
        for (size_t i = 0; i < n; ++i) crc = table[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
    });
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08x", crc ^ 0xFFFFFFFFu);
    return hex;
}

}  // namespace

std::string DigestAlgorithmName(const std::string& name) {
    std::string key;
    for (char c : name)
        if (c != '-' && c != '_') key += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (key == "MD5") return "MD5";
    if (key == "SHA1") return "SHA-1";
    if (key == "SHA256") return "SHA-256";
    if (key == "SHA512") return "SHA-512";
    if (key == "CRC32" || key == "CRC") return "CRC32";
    return {};
}

std::string LocalFileDigest(const std::string& path, const std::string& algorithm) {
    const std::string name = DigestAlgorithmName(algorithm);
    if (name == "CRC32") return Crc32(path);
    const EVP_MD* md = name == "MD5"       ? EVP_md5()
                       : name == "SHA-1"   ? EVP_sha1()
                       : name == "SHA-256" ? EVP_sha256()
                       : name == "SHA-512" ? EVP_sha512()
                                           : nullptr;
    if (!md) throw std::invalid_argument("Unknown digest " + algorithm);
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    if (!ctx || EVP_DigestInit_ex(ctx.get(), md, nullptr) != 1) throw std::runtime_error("Digest not available");
    ReadPieces(path, [&](const unsigned char* p, size_t n) { EVP_DigestUpdate(ctx.get(), p, n); });
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    EVP_DigestFinal_ex(ctx.get(), out, &len);
    static const char* digits = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < len; ++i) {
        hex += digits[out[i] >> 4];
        hex += digits[out[i] & 15];
    }
    return hex;
}

std::optional<TFileDigest> ParseHashReply(const std::string& text) {
    std::istringstream in(text);
    std::string algorithm, range, hex;
    if (!(in >> algorithm >> range >> hex)) return std::nullopt;
    const std::string name = DigestAlgorithmName(algorithm);
    if (name.empty() || !IsHex(hex)) return std::nullopt;
    return TFileDigest{name, Lower(hex)};
}

std::optional<TFileDigest> ParseXDigestReply(const std::string& text, const std::string& algorithm) {
    std::istringstream in(text);
    std::string hex;
    if (!(in >> hex) || !IsHex(hex)) return std::nullopt;
    return TFileDigest{DigestAlgorithmName(algorithm), Lower(hex)};
}
