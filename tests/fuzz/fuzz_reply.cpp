// The control connection's reply reader over a byte stream a server sends, delivered in chunks.
// Input: byte 0 seeds the chunk sizes, the rest is the stream. Every reply read from one chunking
// must equal the replies read from the whole stream at once: where TCP splits must not matter.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "ftp/ftp_client.h"
#include "tests/fuzz/fuzz_support.h"
#include "transport/io_handler.h"

namespace {

class ChunkFeed : public TIdIOHandler {
public:
    ChunkFeed(const std::string& bytes, uint32_t seed) : bytes_(bytes), seed_(seed) { OpenHandler(); }
    void ConnectPeer(const std::string&, int, const std::string&, int, int, int, int) override {}
    bool WaitReadable(int) override { return true; }
    long ReceiveBytes(void* buf, long len) override {
        if (pos_ >= bytes_.size()) return 0;
        size_t n = bytes_.size() - pos_;
        if (seed_ != 0) {
            seed_ = seed_ * 1103515245u + 12345u;
            n = std::min<size_t>(n, 1 + (seed_ >> 16) % 17);
        }
        n = std::min<size_t>(n, static_cast<size_t>(len));
        std::copy_n(bytes_.data() + pos_, n, static_cast<char*>(buf));
        pos_ += n;
        return static_cast<long>(n);
    }
    long SendBytes(const void*, long len) override { return len; }

private:
    std::string bytes_;
    size_t pos_ = 0;
    uint32_t seed_;
};

struct Reply {
    int code;
    std::vector<std::string> lines;
    bool operator==(const Reply&) const = default;
};

std::vector<Reply> ReadAll(const std::string& bytes, uint32_t seed, int maxLine) {
    std::vector<Reply> out;
    TIdFTP ftp;
    ChunkFeed feed(bytes, seed);
    ftp.SetIOHandler(&feed);
    ftp.MaxLineLength = maxLine;
    try {
        for (;;) {
            ftp.ReadReply();
            const TIdRFCReply& r = ftp.LastReply;
            FUZZ_CHECK(!r.Lines.empty() && r.Text.size() == r.Lines.size());
            out.push_back({r.NumericCode(), r.Lines});
            const std::string first = r.Text.front();
            try {
                if (r.NumericCode() == 227) {
                    std::string host;
                    int port = -1;
                    TIdFTP::ParsePasvReply(first, host, port);
                } else if (r.NumericCode() == 229) {
                    TIdFTP::ParseEpsvReply(first);
                }
            } catch (const EIdException&) {
            }
        }
    } catch (const EIdException&) {
        // The stream ended, a line was too long, or a 421 closed the session: all clean errors.
    }
    ftp.SetIOHandler(nullptr);
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::string stream = FuzzBytes(data + 1, size - 1);
    const int maxLine = data[0] & 0x80 ? 40 : IdMaxLineLengthDefault;
    const std::vector<Reply> whole = ReadAll(stream, 0, maxLine);
    const std::vector<Reply> split = ReadAll(stream, data[0] | 1u, maxLine);
    FUZZ_CHECK(whole == split);
    return 0;
}
