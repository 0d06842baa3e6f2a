#pragma once
// Checking a transferred file against what the server says of it: the digest names servers use in
// HASH, XCRC and XMD5 replies, the same digests of a local file, and the parsing of the replies.

#include <optional>
#include <string>

struct TFileDigest {
    std::string Algorithm;  // "MD5", "SHA-1", "SHA-256", "SHA-512" or "CRC32"
    std::string Hex;        // lower-case
};

// The algorithm name in its usual spelling ("sha1", "SHA-1" -> "SHA-1"), empty when unknown.
std::string DigestAlgorithmName(const std::string& name);

// Digest of a local file in lower-case hex; raises EIdStreamError when it cannot be read and
// std::invalid_argument for an unknown algorithm.
std::string LocalFileDigest(const std::string& path, const std::string& algorithm);

// The text of a 213 answer to HASH: "SHA-256 0-49 <hex> <name>".
std::optional<TFileDigest> ParseHashReply(const std::string& text);
// The text of a 250 answer to XCRC or XMD5: the hex value, possibly followed by more words.
std::optional<TFileDigest> ParseXDigestReply(const std::string& text, const std::string& algorithm);
