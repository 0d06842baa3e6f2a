// The passive-mode replies: the text of a 227 (PASV) and a 229 (EPSV) reply. An accepted reply
// names a port the data connection can be made to; anything else is refused with an error.

#include <cstddef>
#include <cstdint>
#include <string>

#include "ftp/ftp_client.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string line = FuzzBytes(data, size);
    try {
        std::string host;
        int port = -1;
        TIdFTP::ParsePasvReply(line, host, port);
        FUZZ_CHECK(port >= 1 && port <= 65535);
    } catch (const EIdException&) {
    }
    try {
        const int port = TIdFTP::ParseEpsvReply(line);
        FUZZ_CHECK(port >= 1 && port <= 65535);
    } catch (const EIdException&) {
    }
    return 0;
}
