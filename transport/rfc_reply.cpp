#include "transport/rfc_reply.h"

#include <cstdlib>

void TIdRFCReply::SetNumericCode(int code) {
    numericCode_ = code;
    if (code > 0) textCode_ = std::to_string(code);
}

void TIdRFCReply::SetTextCode(const std::string& code) {
    textCode_ = code;
    if (code.empty()) return;
    // Only a plain decimal number counts; anything else gives 0.
    bool digits = code.size() <= 9;
    for (char c : code)
        if (c < '0' || c > '9') digits = false;
    numericCode_ = digits ? std::atoi(code.c_str()) : 0;
}

void TIdRFCReply::Clear() {
    numericCode_ = 0;
    textCode_.clear();
    Text.clear();
    Lines.clear();
}

std::string TIdRFCReply::DisplayName() const {
    if (Text.empty()) return textCode_;
    return textCode_ + " " + Text.front();
}

std::string TIdRFCReply::TextWithCRLF() const {
    std::string out;
    for (const auto& l : Text) out += l + "\r\n";
    return out;
}

void TIdRFCReply::ParseLines(const std::vector<std::string>& lines) {
    Clear();
    if (lines.empty()) return;
    std::string code = lines.front().substr(0, 4);
    // Trim characters of code 32 and below.
    size_t b = 0, e = code.size();
    while (b < e && static_cast<unsigned char>(code[b]) <= 32) ++b;
    while (e > b && static_cast<unsigned char>(code[e - 1]) <= 32) --e;
    code = code.substr(b, e - b);
    if (code.size() == 4 && code[3] == '-') code.resize(3);
    if (code.empty()) {
        textCode_.clear();
        numericCode_ = 0;
    } else {
        SetTextCode(code);
    }
    for (const auto& l : lines) Text.push_back(l.size() > 4 ? l.substr(4) : std::string());
    Lines = lines;
}
