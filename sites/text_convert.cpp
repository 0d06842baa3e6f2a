#include "sites/text_convert.h"

#include <algorithm>
#include <limits>

namespace {

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool TryStrToInt(const std::string& text, int32_t& value) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i == text.size()) return false;
    int64_t v = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        v = v * 10 + (text[i] - '0');
        if (v > static_cast<int64_t>(std::numeric_limits<int32_t>::max()) + 1) return false;
    }
    if (negative) v = -v;
    if (v > std::numeric_limits<int32_t>::max() || v < std::numeric_limits<int32_t>::min()) return false;
    value = static_cast<int32_t>(v);
    return true;
}

std::string OutOfRangeNotice(const std::string& what, int32_t value, int32_t min, int32_t max, int32_t used) {
    return what + " " + std::to_string(value) + " is outside the allowed range " + std::to_string(min) + " to " +
           std::to_string(max) + "; " + std::to_string(used) + " is used.";
}

std::string InvalidIntegerMessage(const std::string& text) { return "'" + text + "' is not a valid integer value"; }

bool IsNumberKeyAccepted(char key, const std::string& fieldText, char decimalSeparator) {
    if (key == 8) return true;
    if (key >= '0' && key <= '9') return true;
    return key == decimalSeparator && fieldText.find(decimalSeparator) == std::string::npos;
}

std::string WrongNumberKeyMessage(char key) { return std::string("Please enter a number.  Wrong input: ") + key; }

int CompareTextIgnoreCase(const std::string& a, const std::string& b) {
    std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        unsigned char x = static_cast<unsigned char>(LowerAscii(a[i]));
        unsigned char y = static_cast<unsigned char>(LowerAscii(b[i]));
        if (x != y) return x < y ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}
