#include "sites/record_codec.h"

#include <cstring>

namespace {

bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// Length of the UTF-8 sequence a lead byte announces, 0 when it is not a lead byte.
std::size_t SequenceLength(unsigned char c) {
    if (c >= 0xC2 && c <= 0xDF) return 2;
    if (c >= 0xE0 && c <= 0xEF) return 3;
    if (c >= 0xF0 && c <= 0xF4) return 4;
    return 0;
}

}  // namespace

std::string CutToCapacity(std::string_view text, std::size_t capacity) {
    if (text.size() <= capacity) return std::string(text);
    std::size_t cut = capacity;
    // Look back at most three bytes for the lead byte of a sequence that the cut would split.
    for (std::size_t back = 1; back <= 3 && back <= cut; ++back) {
        std::size_t lead = cut - back;
        unsigned char c = static_cast<unsigned char>(text[lead]);
        if (IsContinuation(c)) continue;
        std::size_t len = SequenceLength(c);
        if (len > back) {
            // Only a well-formed sequence counts; stray bytes of other encodings are cut as they are.
            bool wellFormed = lead + len <= text.size();
            for (std::size_t k = lead + 1; wellFormed && k < lead + len; ++k)
                wellFormed = IsContinuation(static_cast<unsigned char>(text[k]));
            if (wellFormed) cut = lead;
        }
        break;
    }
    return std::string(text.substr(0, cut));
}

void PutInt32LE(std::string& record, std::size_t offset, int32_t value) {
    uint32_t v = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i) record[offset + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

void PutInt64LE(std::string& record, std::size_t offset, int64_t value) {
    uint64_t v = static_cast<uint64_t>(value);
    for (int i = 0; i < 8; ++i) record[offset + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

int32_t GetInt32LE(std::string_view record, std::size_t offset) {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(static_cast<unsigned char>(record[offset + i])) << (8 * i);
    return static_cast<int32_t>(v);
}

int64_t GetInt64LE(std::string_view record, std::size_t offset) {
    uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v |= static_cast<uint64_t>(static_cast<unsigned char>(record[offset + i])) << (8 * i);
    return static_cast<int64_t>(v);
}

void PutShortString(std::string& record, std::size_t offset, std::size_t capacity, std::string_view text) {
    std::string cut = CutToCapacity(text, capacity);
    record[offset] = static_cast<char>(cut.size());
    std::memset(record.data() + offset + 1, 0, capacity);
    std::memcpy(record.data() + offset + 1, cut.data(), cut.size());
}

std::string GetShortString(std::string_view record, std::size_t offset, std::size_t capacity, bool* overlong) {
    std::size_t len = static_cast<unsigned char>(record[offset]);
    if (len > capacity) {
        len = capacity;
        if (overlong) *overlong = true;
    }
    return std::string(record.substr(offset + 1, len));
}
