#pragma once
// The line format of the data folder's text files: a header line, a "version N" line, then
// records of space-separated words.

#include <cstdint>
#include <string>
#include <vector>

// The lines of a file; CR LF (any CRs and spaces before the LF) ends a line as LF does.
std::vector<std::string> SplitTextLines(const std::string& bytes);
// The words of a line; runs of spaces separate, leading and trailing ones are ignored.
std::vector<std::string> SplitSpaces(const std::string& line);
// Checks the header and version lines. Returns why none of the file can be read, or empty.
std::string CheckHeaderAndVersion(const std::vector<std::string>& lines, const char* header, int32_t& version);
// Adds one reason to a damage report, once.
void AddDamage(std::string& damage, const std::string& what);
