#pragma once
// Little-endian integers and length-prefixed strings of fixed capacity inside fixed-size records.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Cuts a byte string to at most `capacity` bytes. When the cut would split a UTF-8 sequence,
// the whole sequence is left out instead; bytes that are not UTF-8 are cut exactly at capacity.
std::string CutToCapacity(std::string_view text, std::size_t capacity);

void PutInt32LE(std::string& record, std::size_t offset, int32_t value);
void PutInt64LE(std::string& record, std::size_t offset, int64_t value);
int32_t GetInt32LE(std::string_view record, std::size_t offset);
int64_t GetInt64LE(std::string_view record, std::size_t offset);

// Writes a length byte and the text (cut to capacity) at offset; the field takes capacity + 1 bytes.
// The unused bytes of the field are set to zero.
void PutShortString(std::string& record, std::size_t offset, std::size_t capacity, std::string_view text);

// Reads a field written by PutShortString. A length byte above the capacity reads as the
// capacity, so a string never runs into the next field; `overlong` (when given) is then set.
std::string GetShortString(std::string_view record, std::size_t offset, std::size_t capacity, bool* overlong = nullptr);
