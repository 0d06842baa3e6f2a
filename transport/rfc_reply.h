#pragma once
// One numbered protocol reply.

#include <string>
#include <vector>

class TIdRFCReply {
public:
    int NumericCode() const { return numericCode_; }
    // A value above 0 also sets TextCode to its decimal text.
    void SetNumericCode(int code);
    const std::string& TextCode() const { return textCode_; }
    // A non-empty text also sets NumericCode to its value (0 when not a number).
    void SetTextCode(const std::string& code);

    std::vector<std::string> Text;   // the reply's lines without their code prefix
    std::vector<std::string> Lines;  // the reply's lines as received (FEAT lines have no prefix to cut)

    void Clear();
    void Assign(const TIdRFCReply& other) { *this = other; }
    // TextCode, a space and the first text line (only TextCode without lines).
    std::string DisplayName() const;
    // The text lines, each followed by CR LF.
    std::string TextWithCRLF() const;
    // Fills the reply from the kept (trimmed) lines of one reply.
    void ParseLines(const std::vector<std::string>& lines);

private:
    int numericCode_ = 0;
    std::string textCode_;
};
