#pragma once
// Program settings: buffer sizes, event sounds and the tray option, kept with the last session
// (current site name and local folder) in FtpStstus.dat.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "sites/data_file.h"
#include "sites/site_table.h"

constexpr int32_t DefaultRecvBufferSize = 4096;
constexpr int32_t DefaultSendBufferSize = 2048;
constexpr int32_t MaxBufferSize = 32768;

// The buffer size itself when it lies in 1..32768, else the default.
int32_t BufferSizeInRange(int32_t size, int32_t defaultSize);

// The settings in force. The sizes start at 0: the FTP client starts with the defaults itself,
// and these fields follow only a load or an Apply.
struct TFTPStatus {
    int32_t RecvBufferSize = 0;
    int32_t SendBufferSize = 0;
    std::string SoundConnected;
    std::string SoundDisconnected;
    std::string SoundBeginTransfer;
    std::string SoundTransferDone;
    std::string SoundTransferStopped;
    bool PlayConnected = false;
    bool PlayDisconnected = false;
    bool PlayBeginTransfer = false;
    bool PlayTransferDone = false;
    bool PlayTransferStopped = false;
    bool MinimizeToTray = false;

    bool operator==(const TFTPStatus&) const = default;
};

// The one 1024-byte record of FtpStstus.dat, field by field as stored.
struct TStatusFileRecord {
    static constexpr std::size_t Size = 1024;
    static constexpr std::size_t LastSiteNameOffset = 0;
    static constexpr std::size_t LastSiteNameCapacity = 100;
    static constexpr std::size_t LocalDirOffset = 101;
    static constexpr std::size_t PathCapacity = 150;
    static constexpr std::size_t RecvBufferSizeOffset = 252;
    static constexpr std::size_t SendBufferSizeOffset = 256;
    static constexpr std::size_t SoundConnectedOffset = 260;
    static constexpr std::size_t SoundDisconnectedOffset = 411;
    static constexpr std::size_t SoundBeginTransferOffset = 562;
    static constexpr std::size_t SoundTransferDoneOffset = 713;
    static constexpr std::size_t SoundTransferStoppedOffset = 864;
    static constexpr std::size_t PlayConnectedOffset = 1015;
    static constexpr std::size_t PlayDisconnectedOffset = 1016;
    static constexpr std::size_t PlayBeginTransferOffset = 1017;
    static constexpr std::size_t PlayTransferDoneOffset = 1018;
    static constexpr std::size_t PlayTransferStoppedOffset = 1019;
    static constexpr std::size_t MinimizeToTrayOffset = 1020;

    std::string LastSiteName;
    std::string LocalDir;
    int32_t RecvBufferSize = 0;
    int32_t SendBufferSize = 0;
    std::string SoundConnected;
    std::string SoundDisconnected;
    std::string SoundBeginTransfer;
    std::string SoundTransferDone;
    std::string SoundTransferStopped;
    uint8_t PlayConnected = 0;
    uint8_t PlayDisconnected = 0;
    uint8_t PlayBeginTransfer = 0;
    uint8_t PlayTransferDone = 0;
    uint8_t PlayTransferStopped = 0;
    uint8_t MinimizeToTray = 0;

    std::string Encode() const;
    // `record` holds at least Size bytes; `overlong` is set when a length byte exceeded its capacity.
    static TStatusFileRecord Decode(std::string_view record, bool* overlong = nullptr);
};

// The event sounds of the program.
enum class TSoundEvent { Connected, Disconnected, BeginTransfer, TransferDone, TransferStopped };

// Plays a sound file by path; filled in by the user interface. May throw on any error.
class ISoundPlayer {
public:
    virtual ~ISoundPlayer() = default;
    virtual void PlayFile(const std::string& path) = 0;
};

// What the settings dialog shows and what Apply takes from it.
struct TSettingsDialogValues {
    std::string RecvBufferText;  // Edit1
    std::string SendBufferText;  // Edit2
    std::string SoundConnected;  // Edit3 .. Edit7
    std::string SoundDisconnected;
    std::string SoundBeginTransfer;
    std::string SoundTransferDone;
    std::string SoundTransferStopped;
    bool PlayConnected = false;  // CheckBox1 .. CheckBox6
    bool PlayDisconnected = false;
    bool PlayBeginTransfer = false;
    bool PlayTransferDone = false;
    bool PlayTransferStopped = false;
    bool MinimizeToTray = false;
};

struct TSettingsApplyResult {
    bool Ok = true;
    std::string Message;  // "'%s' is not a valid integer value" when a size was refused
    // Applied, but a size outside its range was replaced: what the range is and what is used.
    std::string Notice;
};

struct TSettingsLoadReport {
    bool FileFound = false;
    // The stored site name when a site of that name exists (it became the current site).
    // The stored queues use it to pick the live queue.
    std::optional<std::string> LastSiteName;
    std::string StoredLocalDir;
    // The folder for the local view to open: the stored one, when absolute and existing.
    std::optional<std::string> LocalDirToOpen;
    std::string Message;  // not empty when the file was damaged; it names the kept copy
};

class TProgramSettings {
public:
    static constexpr const char* FileName = "FtpStstus.dat";

    TFTPStatus Status;

    // Reads FtpStstus.dat: makes the last site of the stored name current, takes the sizes
    // (out-of-range ones replaced by their defaults), the sound paths and the flags (a sound
    // flag is on only at byte value 1, the tray option at any non-zero byte). A missing file
    // changes nothing. A read error or a file shorter than a record raises EInOutError and
    // changes nothing.
    TSettingsLoadReport Load(const std::string& dataDir, TSiteTable& sites);

    // Writes the record: the current site's name, the local folder and the settings.
    void Save(const std::string& dataDir, const TSiteTable& sites, const std::string& localDir);
    TStatusFileRecord MakeRecord(const TSiteTable& sites, const std::string& localDir) const;

    // The dialog's contents on activation: the FTP client's sizes in force, the paths and flags.
    TSettingsDialogValues DialogValues(int32_t clientRecvBufferSize, int32_t clientSendBufferSize) const;

    // Apply: flags first, then each size in turn (stopping at the first text that is not a whole
    // number, with the message), out-of-range sizes replaced by defaults, then the sound paths.
    // On success the caller hands Status.RecvBufferSize and SendBufferSize to the FTP client.
    TSettingsApplyResult Apply(const TSettingsDialogValues& values);

    // Plays the event's sound when its flag is on and its path not empty; any error of the
    // player is ignored. Returns whether the player was asked.
    bool PlayEventSound(TSoundEvent event, ISoundPlayer* player) const;

private:
    TDataFile File_{FileName};
};
