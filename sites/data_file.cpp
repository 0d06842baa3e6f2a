#include "sites/data_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

TWriteFaultInjection g_fault;

bool FaultAt(TWriteFaultInjection::TStep step) { return g_fault.Step == step; }

std::string FolderOf(const std::string& path) {
    std::string::size_type slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
    std::string::size_type slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool Exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

// Creates the folder and any missing parents with mode 0700.
void MakeFolders(const std::string& folder) {
    struct stat st;
    if (folder.empty() || stat(folder.c_str(), &st) == 0) return;
    std::string parent = FolderOf(folder);
    if (parent != folder) MakeFolders(parent);
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
        throw EInOutError("Cannot create the folder " + folder + ": " + SystemErrorText(errno), errno);
}

[[noreturn]] void RaiseWriteError(const std::string& path, int err) {
    throw EInOutError("Cannot save " + BaseName(path) + ": " + SystemErrorText(err), err);
}

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        ssize_t n = write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool ReadAll(const std::string& path, std::string& out, int& err) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        err = errno;
        return false;
    }
    out.clear();
    char buf[65536];
    for (;;) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            err = errno;
            close(fd);
            return false;
        }
        if (n == 0) break;
        out.append(buf, static_cast<std::size_t>(n));
    }
    close(fd);
    return true;
}

// Keeps the file at path under keepPath: a second name for the same contents if the file system
// allows it, else a copy, else a plain rename.
void KeepFile(const std::string& path, const std::string& keepPath) {
    if (link(path.c_str(), keepPath.c_str()) == 0) return;
    std::string bytes;
    int err = 0;
    if (ReadAll(path, bytes, err)) {
        int fd = open(keepPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) {
            bool ok = WriteAll(fd, bytes.data(), bytes.size()) && fsync(fd) == 0;
            ok = (close(fd) == 0) && ok;
            if (ok) return;
            unlink(keepPath.c_str());
        }
    }
    if (rename(path.c_str(), keepPath.c_str()) == 0) return;
    err = errno;
    throw EInOutError("Cannot keep " + BaseName(path) + " as " + BaseName(keepPath) + ": " + SystemErrorText(err) +
                          ". The file was not saved.",
                      err);
}

// Removes the temporary files of saves of path that were killed before their rename ("." + name +
// "." + six characters). Only ones untouched for a while: a save under way is never that slow.
void RemoveStaleTemporaries(const std::string& folder, const std::string& path) {
    const std::string prefix = "." + BaseName(path) + ".";
    DIR* d = opendir(folder.c_str());
    if (!d) return;
    const time_t now = time(nullptr);
    while (const dirent* e = readdir(d)) {
        const std::string name = e->d_name;
        if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0) continue;
        const std::string file = DataFilePath(folder, name);
        struct stat st;
        if (lstat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode) && now - st.st_mtime > 120) unlink(file.c_str());
    }
    closedir(d);
}

}  // namespace

std::string DesktopDataHome() {
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && xdg[0] == '/') return xdg;
    std::string home;
    if (const char* h = std::getenv("HOME"); h && h[0] == '/') {
        home = h;
    } else if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir && pw->pw_dir[0] == '/') {
        home = pw->pw_dir;
    } else {
        // Never a shared folder instead: the site list holds passwords.
        throw EInOutError("No home folder for the data files.", 0);
    }
    while (home.size() > 1 && home.back() == '/') home.pop_back();
    return (home == "/" ? "" : home) + "/.local/share";
}

std::string ProgramDataFolder() {
    std::string dir = DesktopDataHome();
    if (dir.empty() || dir.back() != '/') dir += '/';
    dir += "orlix-ftp/";
    std::string partial;
    for (std::size_t i = 0; i < dir.size(); ++i) {
        partial += dir[i];
        if (dir[i] == '/' && i > 0) ::mkdir(partial.c_str(), 0700);  // existing folders stay as they are
    }
    return dir;
}

std::string DataFilePath(const std::string& dataDir, const std::string& fileName) {
    if (dataDir.empty()) return fileName;
    if (dataDir.back() == '/') return dataDir + fileName;
    return dataDir + "/" + fileName;
}

std::string SystemErrorText(int errorCode) {
    if (errorCode == 0) return "I/O error";
    return std::strerror(errorCode);
}

void SetWriteFaultInjection(const TWriteFaultInjection& fault) { g_fault = fault; }
void ClearWriteFaultInjection() { g_fault = TWriteFaultInjection{}; }

void WriteFileAtomically(const std::string& path, const std::string& bytes) {
    std::string folder = FolderOf(path);
    MakeFolders(folder);
    RemoveStaleTemporaries(folder, path);

    std::string tmpl = DataFilePath(folder, "." + BaseName(path) + ".XXXXXX");
    int fd = FaultAt(TWriteFaultInjection::Create) ? (errno = g_fault.ErrorCode, -1) : mkostemp(tmpl.data(), O_CLOEXEC);
    if (fd < 0) RaiseWriteError(path, errno);

    auto fail = [&](int err) {
        close(fd);
        unlink(tmpl.c_str());
        RaiseWriteError(path, err);
    };

    if (fchmod(fd, 0600) != 0) fail(errno);
    if (FaultAt(TWriteFaultInjection::Write)) {
        std::size_t part = static_cast<std::size_t>(
            std::max<int64_t>(0, std::min<int64_t>(g_fault.FailAfterBytes, static_cast<int64_t>(bytes.size()))));
        WriteAll(fd, bytes.data(), part);
        fail(g_fault.ErrorCode);
    }
    if (!WriteAll(fd, bytes.data(), bytes.size())) fail(errno);
    if (FaultAt(TWriteFaultInjection::Sync)) fail(g_fault.ErrorCode);
    if (fsync(fd) != 0) fail(errno);
    if (close(fd) != 0) {
        int err = errno;
        unlink(tmpl.c_str());
        RaiseWriteError(path, err);
    }
    if (FaultAt(TWriteFaultInjection::Rename) || rename(tmpl.c_str(), path.c_str()) != 0) {
        int err = FaultAt(TWriteFaultInjection::Rename) ? g_fault.ErrorCode : errno;
        unlink(tmpl.c_str());
        RaiseWriteError(path, err);
    }
    // Make the rename itself durable; a failure here no longer endangers either version.
    int dirFd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        fsync(dirFd);
        close(dirFd);
    }
}

std::optional<std::string> TDataFile::Read(const std::string& dataDir) {
    std::string path = DataFilePath(dataDir, FileName_);
    std::string bytes;
    int err = 0;
    if (!ReadAll(path, bytes, err)) {
        if (err == ENOENT) {
            LoadedCleanly_ = true;
            return std::nullopt;
        }
        LoadedCleanly_ = false;
        throw EInOutError("Cannot read " + FileName_ + ": " + SystemErrorText(err) + ". " + MarkDamaged(dataDir, ""),
                          err);
    }
    LoadedCleanly_ = false;  // until the loader accepts the contents
    return bytes;
}

std::string TDataFile::MarkDamaged(const std::string& dataDir, const std::string& what) {
    LoadedCleanly_ = false;
    std::string text = what.empty() ? "" : FileName_ + " is damaged: " + what + ". ";
    return text + "The file will be kept as " + BaseName(DamagedName(dataDir)) + " before it is saved again.";
}

std::string TDataFile::DamagedName(const std::string& dataDir) const {
    std::string base = DataFilePath(dataDir, FileName_ + ".damaged");
    if (!Exists(base)) return base;
    for (int i = 1;; ++i) {
        std::string candidate = base + "." + std::to_string(i);
        if (!Exists(candidate)) return candidate;
    }
}

void TDataFile::Write(const std::string& dataDir, const std::string& bytes) {
    std::string path = DataFilePath(dataDir, FileName_);
    if (!LoadedCleanly_ && Exists(path)) {
        KeepFile(path, DamagedName(dataDir));
        LoadedCleanly_ = true;  // the old contents are safe now; later saves may replace the file
    }
    WriteFileAtomically(path, bytes);
    LoadedCleanly_ = true;
}
