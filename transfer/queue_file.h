#pragma once
// The 672-byte record of FTPQueueStore.dat: one queue entry of one site.

#include <cstddef>
#include <string>
#include <string_view>

#include "transfer/queue_model.h"

struct TQueueFileRecord {
    static constexpr std::size_t Size = 672;
    static constexpr std::size_t SiteNameOffset = 0;
    static constexpr std::size_t SiteNameCapacity = 100;
    static constexpr std::size_t FileNameOffset = 108;
    static constexpr std::size_t FileNameCapacity = 100;
    static constexpr std::size_t LocalPathOffset = 209;
    static constexpr std::size_t PathCapacity = 200;
    static constexpr std::size_t FileSizeOffset = 416;
    static constexpr std::size_t ProcessOffset = 424;
    static constexpr std::size_t WordCapacity = 20;
    static constexpr std::size_t RemotePathOffset = 445;
    static constexpr std::size_t StatusOffset = 646;
    static constexpr std::size_t IsFolderOffset = 667;

    std::string SiteName;
    TQueueInfo Entry;

    std::string Encode() const;
    // `record` holds at least Size bytes; `overlong` is set when a length byte exceeded its capacity.
    static TQueueFileRecord Decode(std::string_view record, bool* overlong = nullptr);
};
