#pragma once
// The program's fixed-record data files: reading them whole, writing them safely, and keeping a
// file that could not be loaded before anything is saved over it.

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

// An input/output error on a data file, carrying the system's error number (0 when the data
// itself is at fault) and a message fit for a message box.
class EInOutError : public std::runtime_error {
public:
    EInOutError(const std::string& message, int errorCode) : std::runtime_error(message), ErrorCode(errorCode) {}
    std::string Message() const { return what(); }
    int ErrorCode;
};

// The desktop's per-user data home: $XDG_DATA_HOME when it is absolute, else the home folder
// ($HOME, or the account's home) + "/.local/share". Raises EInOutError when there is no home.
std::string DesktopDataHome();

// The program's data folder, ending in "/": DesktopDataHome() + "/orlix-ftp/", created with
// mode 0700 when missing (a failure to create it shows up when a file is written there).
// The one lookup of it for the whole program.
std::string ProgramDataFolder();

// Joins the data folder and a file name ("dir" or "dir/" + "name").
std::string DataFilePath(const std::string& dataDir, const std::string& fileName);

// The system's text for an error number.
std::string SystemErrorText(int errorCode);

// Writes bytes to path through a temporary file in the same folder (mode 0600), flushed to disk
// and renamed over the old file; on any failure the old file is untouched and EInOutError is
// raised. The folder is created (mode 0700) when missing.
void WriteFileAtomically(const std::string& path, const std::string& bytes);

// Test seam: makes the next atomic writes fail at a chosen step with a chosen error number.
struct TWriteFaultInjection {
    enum TStep { None, Create, Write, Sync, Rename } Step = None;
    int64_t FailAfterBytes = 0;  // for Write: bytes that reach the temporary file before the failure
    int ErrorCode = 28;          // ENOSPC
};
void SetWriteFaultInjection(const TWriteFaultInjection& fault);
void ClearWriteFaultInjection();

// One data file of the data folder, remembering whether this run has loaded it cleanly.
// A file that failed to load, was damaged, or was never loaded is kept as NAME.damaged (or
// NAME.damaged.1, ...) before the first save over it, so its contents are never lost.
class TDataFile {
public:
    explicit TDataFile(std::string fileName) : FileName_(std::move(fileName)) {}

    const std::string& FileName() const { return FileName_; }

    // Reads the whole file; nullopt when it does not exist (a clean state). A read error marks
    // the file for keeping and raises EInOutError whose message names the copy.
    std::optional<std::string> Read(const std::string& dataDir);

    // The loader found damage in the contents: mark the file for keeping and return the text
    // to append to the loader's message ("... will be kept as NAME.damaged ...").
    std::string MarkDamaged(const std::string& dataDir, const std::string& what);

    // The loader accepted the contents as they were.
    void MarkLoaded() { LoadedCleanly_ = true; }

    bool KeepPending() const { return !LoadedCleanly_; }

    // Keeps the old file first when needed, then writes atomically.
    void Write(const std::string& dataDir, const std::string& bytes);

private:
    std::string DamagedName(const std::string& dataDir) const;

    std::string FileName_;
    bool LoadedCleanly_ = false;
};
