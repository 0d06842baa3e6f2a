#pragma once
// Helpers for the data-file tests: a private temporary folder and raw byte access to files.

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

class TTempDir {
public:
    TTempDir() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "orlix-state-XXXXXX").string();
        Path = mkdtemp(tmpl.data());
    }
    ~TTempDir() {
        std::error_code ec;
        std::filesystem::remove_all(Path, ec);
    }
    std::string File(const std::string& name) const { return Path + "/" + name; }
    std::string Path;
};

inline std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline bool FileExists(const std::string& path) { return std::filesystem::exists(path); }

// Raw record building from the documented offsets, independent of the code under test.
inline void RawString(std::string& rec, std::size_t offset, const std::string& text) {
    rec[offset] = static_cast<char>(text.size());
    rec.replace(offset + 1, text.size(), text);
}
inline void RawInt32(std::string& rec, std::size_t offset, uint32_t v) {
    for (int i = 0; i < 4; ++i) rec[offset + i] = static_cast<char>(v >> (8 * i));
}
inline void RawInt64(std::string& rec, std::size_t offset, uint64_t v) {
    for (int i = 0; i < 8; ++i) rec[offset + i] = static_cast<char>(v >> (8 * i));
}
inline std::string RawStringAt(const std::string& rec, std::size_t offset) {
    return rec.substr(offset + 1, static_cast<unsigned char>(rec[offset]));
}
inline uint32_t RawInt32At(const std::string& rec, std::size_t offset) {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(static_cast<unsigned char>(rec[offset + i])) << (8 * i);
    return v;
}
inline uint64_t RawInt64At(const std::string& rec, std::size_t offset) {
    uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v |= static_cast<uint64_t>(static_cast<unsigned char>(rec[offset + i])) << (8 * i);
    return v;
}

// Files named NAME.damaged* in the folder.
inline int CountDamagedCopies(const std::string& dir, const std::string& name) {
    int n = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        if (e.path().filename().string().rfind(name + ".damaged", 0) == 0) ++n;
    return n;
}

// No temporary files left behind by a failed save.
inline int CountHiddenFiles(const std::string& dir) {
    int n = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        if (e.path().filename().string().rfind(".", 0) == 0) ++n;
    return n;
}
