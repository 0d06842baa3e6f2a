#include "sites/text_lines.h"

#include "sites/text_convert.h"

std::vector<std::string> SplitTextLines(const std::string& bytes) {
    std::vector<std::string> lines;
    std::string::size_type from = 0;
    while (from < bytes.size()) {
        std::string::size_type nl = bytes.find('\n', from);
        if (nl == std::string::npos) nl = bytes.size();
        std::string line = bytes.substr(from, nl - from);
        // Every CR and space before the LF: lines are words, and a line written back ends in LF
        // alone, so "w\r \r\n" must read as the same line when it is loaded again.
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
        lines.push_back(line);
        from = nl + 1;
    }
    return lines;
}

std::vector<std::string> SplitSpaces(const std::string& line) {
    std::vector<std::string> out;
    std::string::size_type from = 0;
    while (from <= line.size()) {
        std::string::size_type sp = line.find(' ', from);
        if (sp == std::string::npos) sp = line.size();
        if (sp > from) out.push_back(line.substr(from, sp - from));
        from = sp + 1;
    }
    return out;
}

std::string CheckHeaderAndVersion(const std::vector<std::string>& lines, const char* header, int32_t& version) {
    version = 0;
    if (lines.size() < 2 || lines[0] != header || lines[1].rfind("version ", 0) != 0)
        return "it does not begin with its header and version lines, so none of it was read";
    if (!TryStrToInt(lines[1].substr(8), version) || version < 1)
        return "its version line is not a version, so none of it was read";
    return {};
}

void AddDamage(std::string& damage, const std::string& what) {
    if (damage.find(what) != std::string::npos) return;
    if (!damage.empty()) damage += "; ";
    damage += what;
}
