// The trusted-certificate file. Loading never fails, every record read is one Parse found, and
// the store saved again loads cleanly to the same records and the same file.

#include <cstddef>
#include <cstdint>
#include <string>

#include "sites/trusted_certificates.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static FuzzDataDirs dirs;
    dirs.Reset();
    const std::string bytes = FuzzBytes(data, size);
    dirs.Put(TTrustedCertificateStore::FileName, bytes);

    TTrustedCertificateStore store;
    const std::string message = store.Load(dirs.In());
    const TTrustedCertificatesContents parsed = TTrustedCertificateStore::Parse(bytes);
    FUZZ_CHECK(store.Records() == parsed.Records);
    FUZZ_CHECK(message.empty() == parsed.Damage.empty());

    store.Save(dirs.Out());
    TTrustedCertificateStore again;
    FUZZ_CHECK(again.Load(dirs.Out()).empty());
    FUZZ_CHECK(again.Records() == store.Records());
    FUZZ_CHECK(again.EncodeFile() == store.EncodeFile());
    // Every record is found again by its own host and port.
    for (const TTrustedCertificate& r : store.Records()) FUZZ_CHECK(again.Find(r.Host, r.Port) != nullptr);
    return 0;
}
