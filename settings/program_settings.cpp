#include "settings/program_settings.h"

#include <sys/stat.h>

#include "sites/record_codec.h"
#include "sites/text_convert.h"

int32_t BufferSizeInRange(int32_t size, int32_t defaultSize) {
    return (size < 1 || size > MaxBufferSize) ? defaultSize : size;
}

std::string TStatusFileRecord::Encode() const {
    std::string r(Size, '\0');
    PutShortString(r, LastSiteNameOffset, LastSiteNameCapacity, LastSiteName);
    PutShortString(r, LocalDirOffset, PathCapacity, LocalDir);
    PutInt32LE(r, RecvBufferSizeOffset, RecvBufferSize);
    PutInt32LE(r, SendBufferSizeOffset, SendBufferSize);
    PutShortString(r, SoundConnectedOffset, PathCapacity, SoundConnected);
    PutShortString(r, SoundDisconnectedOffset, PathCapacity, SoundDisconnected);
    PutShortString(r, SoundBeginTransferOffset, PathCapacity, SoundBeginTransfer);
    PutShortString(r, SoundTransferDoneOffset, PathCapacity, SoundTransferDone);
    PutShortString(r, SoundTransferStoppedOffset, PathCapacity, SoundTransferStopped);
    r[PlayConnectedOffset] = static_cast<char>(PlayConnected);
    r[PlayDisconnectedOffset] = static_cast<char>(PlayDisconnected);
    r[PlayBeginTransferOffset] = static_cast<char>(PlayBeginTransfer);
    r[PlayTransferDoneOffset] = static_cast<char>(PlayTransferDone);
    r[PlayTransferStoppedOffset] = static_cast<char>(PlayTransferStopped);
    r[MinimizeToTrayOffset] = static_cast<char>(MinimizeToTray);
    return r;
}

TStatusFileRecord TStatusFileRecord::Decode(std::string_view r, bool* overlong) {
    TStatusFileRecord s;
    s.LastSiteName = GetShortString(r, LastSiteNameOffset, LastSiteNameCapacity, overlong);
    s.LocalDir = GetShortString(r, LocalDirOffset, PathCapacity, overlong);
    s.RecvBufferSize = GetInt32LE(r, RecvBufferSizeOffset);
    s.SendBufferSize = GetInt32LE(r, SendBufferSizeOffset);
    s.SoundConnected = GetShortString(r, SoundConnectedOffset, PathCapacity, overlong);
    s.SoundDisconnected = GetShortString(r, SoundDisconnectedOffset, PathCapacity, overlong);
    s.SoundBeginTransfer = GetShortString(r, SoundBeginTransferOffset, PathCapacity, overlong);
    s.SoundTransferDone = GetShortString(r, SoundTransferDoneOffset, PathCapacity, overlong);
    s.SoundTransferStopped = GetShortString(r, SoundTransferStoppedOffset, PathCapacity, overlong);
    auto byteAt = [&](std::size_t off) { return static_cast<uint8_t>(r[off]); };
    s.PlayConnected = byteAt(PlayConnectedOffset);
    s.PlayDisconnected = byteAt(PlayDisconnectedOffset);
    s.PlayBeginTransfer = byteAt(PlayBeginTransferOffset);
    s.PlayTransferDone = byteAt(PlayTransferDoneOffset);
    s.PlayTransferStopped = byteAt(PlayTransferStoppedOffset);
    s.MinimizeToTray = byteAt(MinimizeToTrayOffset);
    return s;
}

namespace {

bool IsExistingFolder(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

TSettingsLoadReport TProgramSettings::Load(const std::string& dataDir, TSiteTable& sites) {
    TSettingsLoadReport report;
    std::optional<std::string> bytes = File_.Read(dataDir);
    if (!bytes) return report;
    report.FileFound = true;

    if (bytes->size() < TStatusFileRecord::Size)
        throw EInOutError(
            File_.MarkDamaged(dataDir, "it holds " + std::to_string(bytes->size()) + " bytes, a whole record needs " +
                                           std::to_string(TStatusFileRecord::Size)),
            0);

    bool overlong = false;
    TStatusFileRecord rec = TStatusFileRecord::Decode(*bytes, &overlong);
    std::string damage;
    if (bytes->size() > TStatusFileRecord::Size)
        damage = std::to_string(bytes->size() - TStatusFileRecord::Size) + " bytes after the record were ignored";
    if (overlong) {
        if (!damage.empty()) damage += "; ";
        damage += "a text field claimed more characters than it can hold and was cut";
    }
    if (damage.empty())
        File_.MarkLoaded();
    else
        report.Message = File_.MarkDamaged(dataDir, damage);

    report.StoredLocalDir = rec.LocalDir;
    if (!rec.LocalDir.empty() && rec.LocalDir[0] == '/' && IsExistingFolder(rec.LocalDir))
        report.LocalDirToOpen = rec.LocalDir;

    if (sites.SelectByName(rec.LastSiteName)) report.LastSiteName = rec.LastSiteName;

    Status.RecvBufferSize = BufferSizeInRange(rec.RecvBufferSize, DefaultRecvBufferSize);
    Status.SendBufferSize = BufferSizeInRange(rec.SendBufferSize, DefaultSendBufferSize);
    Status.SoundConnected = rec.SoundConnected;
    Status.SoundDisconnected = rec.SoundDisconnected;
    Status.SoundBeginTransfer = rec.SoundBeginTransfer;
    Status.SoundTransferDone = rec.SoundTransferDone;
    Status.SoundTransferStopped = rec.SoundTransferStopped;
    Status.PlayConnected = rec.PlayConnected == 1;
    Status.PlayDisconnected = rec.PlayDisconnected == 1;
    Status.PlayBeginTransfer = rec.PlayBeginTransfer == 1;
    Status.PlayTransferDone = rec.PlayTransferDone == 1;
    Status.PlayTransferStopped = rec.PlayTransferStopped == 1;
    Status.MinimizeToTray = rec.MinimizeToTray != 0;
    return report;
}

TStatusFileRecord TProgramSettings::MakeRecord(const TSiteTable& sites, const std::string& localDir) const {
    TStatusFileRecord rec;
    rec.LastSiteName = sites.CurrentSiteName();
    rec.LocalDir = localDir;
    rec.RecvBufferSize = Status.RecvBufferSize;
    rec.SendBufferSize = Status.SendBufferSize;
    rec.SoundConnected = Status.SoundConnected;
    rec.SoundDisconnected = Status.SoundDisconnected;
    rec.SoundBeginTransfer = Status.SoundBeginTransfer;
    rec.SoundTransferDone = Status.SoundTransferDone;
    rec.SoundTransferStopped = Status.SoundTransferStopped;
    rec.PlayConnected = Status.PlayConnected ? 1 : 0;
    rec.PlayDisconnected = Status.PlayDisconnected ? 1 : 0;
    rec.PlayBeginTransfer = Status.PlayBeginTransfer ? 1 : 0;
    rec.PlayTransferDone = Status.PlayTransferDone ? 1 : 0;
    rec.PlayTransferStopped = Status.PlayTransferStopped ? 1 : 0;
    rec.MinimizeToTray = Status.MinimizeToTray ? 1 : 0;
    return rec;
}

void TProgramSettings::Save(const std::string& dataDir, const TSiteTable& sites, const std::string& localDir) {
    File_.Write(dataDir, MakeRecord(sites, localDir).Encode());
}

TSettingsDialogValues TProgramSettings::DialogValues(int32_t clientRecvBufferSize, int32_t clientSendBufferSize) const {
    TSettingsDialogValues v;
    v.RecvBufferText = std::to_string(clientRecvBufferSize);
    v.SendBufferText = std::to_string(clientSendBufferSize);
    v.SoundConnected = Status.SoundConnected;
    v.SoundDisconnected = Status.SoundDisconnected;
    v.SoundBeginTransfer = Status.SoundBeginTransfer;
    v.SoundTransferDone = Status.SoundTransferDone;
    v.SoundTransferStopped = Status.SoundTransferStopped;
    v.PlayConnected = Status.PlayConnected;
    v.PlayDisconnected = Status.PlayDisconnected;
    v.PlayBeginTransfer = Status.PlayBeginTransfer;
    v.PlayTransferDone = Status.PlayTransferDone;
    v.PlayTransferStopped = Status.PlayTransferStopped;
    v.MinimizeToTray = Status.MinimizeToTray;
    return v;
}

TSettingsApplyResult TProgramSettings::Apply(const TSettingsDialogValues& v) {
    Status.PlayConnected = v.PlayConnected;
    Status.PlayDisconnected = v.PlayDisconnected;
    Status.PlayBeginTransfer = v.PlayBeginTransfer;
    Status.PlayTransferDone = v.PlayTransferDone;
    Status.PlayTransferStopped = v.PlayTransferStopped;
    Status.MinimizeToTray = v.MinimizeToTray;

    int32_t size = 0;
    if (!TryStrToInt(v.RecvBufferText, size)) return {false, InvalidIntegerMessage(v.RecvBufferText), {}};
    Status.RecvBufferSize = size;
    if (!TryStrToInt(v.SendBufferText, size)) return {false, InvalidIntegerMessage(v.SendBufferText), {}};
    Status.SendBufferSize = size;

    TSettingsApplyResult result;
    const auto inRange = [&result](int32_t& value, int32_t fallback, const char* what) {
        const int32_t used = BufferSizeInRange(value, fallback);
        if (used != value) {
            if (!result.Notice.empty()) result.Notice += "\n";
            result.Notice += OutOfRangeNotice(what, value, 1, MaxBufferSize, used);
        }
        value = used;
    };
    inRange(Status.RecvBufferSize, DefaultRecvBufferSize, "Receive buffer size");
    inRange(Status.SendBufferSize, DefaultSendBufferSize, "Send buffer size");

    Status.SoundConnected = v.SoundConnected;
    Status.SoundDisconnected = v.SoundDisconnected;
    Status.SoundBeginTransfer = v.SoundBeginTransfer;
    Status.SoundTransferDone = v.SoundTransferDone;
    Status.SoundTransferStopped = v.SoundTransferStopped;
    return result;
}

bool TProgramSettings::PlayEventSound(TSoundEvent event, ISoundPlayer* player) const {
    bool on = false;
    const std::string* path = nullptr;
    switch (event) {
        case TSoundEvent::Connected:
            on = Status.PlayConnected;
            path = &Status.SoundConnected;
            break;
        case TSoundEvent::Disconnected:
            on = Status.PlayDisconnected;
            path = &Status.SoundDisconnected;
            break;
        case TSoundEvent::BeginTransfer:
            on = Status.PlayBeginTransfer;
            path = &Status.SoundBeginTransfer;
            break;
        case TSoundEvent::TransferDone:
            on = Status.PlayTransferDone;
            path = &Status.SoundTransferDone;
            break;
        case TSoundEvent::TransferStopped:
            on = Status.PlayTransferStopped;
            path = &Status.SoundTransferStopped;
            break;
    }
    if (!on || !path || path->empty() || !player) return false;
    try {
        player->PlayFile(*path);
    } catch (...) {
        // Event sounds never interrupt the user.
    }
    return true;
}
