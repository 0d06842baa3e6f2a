#pragma once
// Shared pieces of the libFuzzer targets: lines from bytes, a scratch data folder in memory, and
// the check that stops the run when a property fails.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

// A failed property is a finding: abort so libFuzzer keeps the input.
#define FUZZ_CHECK(cond)                                                                           \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            std::fprintf(stderr, "fuzz property failed: %s (%s:%d)\n", #cond, __FILE__, __LINE__); \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

inline std::string FuzzBytes(const uint8_t* data, size_t size) {
    return std::string(reinterpret_cast<const char*>(data), size);
}

// Split at LF, one CR before it dropped, as the control and data connections deliver lines.
inline std::vector<std::string> FuzzLines(const std::string& bytes) {
    std::vector<std::string> lines;
    std::string::size_type from = 0;
    while (from <= bytes.size()) {
        std::string::size_type nl = bytes.find('\n', from);
        if (nl == std::string::npos) nl = bytes.size();
        std::string line = bytes.substr(from, nl - from);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        from = nl + 1;
    }
    return lines;
}

// Two empty data folders on tmpfs for one run: "in" holds the input file, "out" what was saved.
// Emptied at every call, so files a loader keeps (NAME.damaged) never pile up.
class FuzzDataDirs {
public:
    FuzzDataDirs() {
        base_ = "/dev/shm/orlix-fuzz-" + std::to_string(getpid());
        in_ = base_ + "/in";
        out_ = base_ + "/out";
    }
    ~FuzzDataDirs() { Clean(); }

    void Reset() {
        Clean();
        std::filesystem::create_directories(in_);
        std::filesystem::create_directories(out_);
    }
    const std::string& In() const { return in_; }
    const std::string& Out() const { return out_; }
    void Put(const std::string& name, const std::string& bytes) const {
        std::ofstream(in_ + "/" + name, std::ios::binary) << bytes;
    }

private:
    void Clean() const {
        std::error_code ec;
        std::filesystem::remove_all(base_, ec);
    }
    std::string base_, in_, out_;
};
