#include "transport/stream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "transport/id_exception.h"

static_assert(sizeof(off_t) == 8, "files over 2 GiB need 64-bit offsets");

int64_t TIdStream::Size() {
    int64_t pos = Position();
    int64_t end = Seek(0, TIdSeekOrigin::soEnd);
    SetPosition(pos);
    return end;
}

void TIdStream::ReadBuffer(void* buffer, int64_t count) {
    char* p = static_cast<char*>(buffer);
    while (count > 0) {
        int64_t n = Read(p, count);
        if (n <= 0) throw EIdStreamError("Stream read error");
        p += n;
        count -= n;
    }
}

void TIdStream::WriteBuffer(const void* buffer, int64_t count) {
    const char* p = static_cast<const char*>(buffer);
    while (count > 0) {
        int64_t n = Write(p, count);
        if (n <= 0) throw EIdStreamError("Stream write error");
        p += n;
        count -= n;
    }
}

int64_t TIdStream::CopyFrom(TIdStream& source, int64_t count) {
    const bool all = count <= 0;
    std::vector<char> buf(65536);
    int64_t total = 0;
    while (all || total < count) {
        int64_t want = static_cast<int64_t>(buf.size());
        if (!all) want = std::min(want, count - total);
        int64_t n = source.Read(buf.data(), want);
        if (n <= 0) {
            if (all) break;
            throw EIdStreamError("Stream read error");
        }
        WriteBuffer(buf.data(), n);
        total += n;
    }
    return total;
}

// ---- TIdMemoryStream ----

int64_t TIdMemoryStream::Read(void* buffer, int64_t count) {
    const int64_t size = Size();
    if (count <= 0 || pos_ >= size) return 0;
    int64_t n = std::min(count, size - pos_);
    std::memcpy(buffer, data_.data() + pos_, static_cast<size_t>(n));
    pos_ += n;
    return n;
}

int64_t TIdMemoryStream::Write(const void* buffer, int64_t count) {
    if (count <= 0) return 0;
    const size_t end = static_cast<size_t>(pos_ + count);
    if (end > data_.size()) data_.resize(end);
    std::memcpy(data_.data() + pos_, buffer, static_cast<size_t>(count));
    pos_ += count;
    return count;
}

int64_t TIdMemoryStream::Seek(int64_t offset, TIdSeekOrigin origin) {
    int64_t base = 0;
    if (origin == TIdSeekOrigin::soCurrent)
        base = pos_;
    else if (origin == TIdSeekOrigin::soEnd)
        base = Size();
    int64_t p = base + offset;
    if (p < 0) throw EIdStreamError("Invalid stream position");
    pos_ = p;
    return pos_;
}

void TIdMemoryStream::SetSize(int64_t newSize) {
    if (newSize < 0) throw EIdStreamError("Invalid stream size");
    data_.resize(static_cast<size_t>(newSize));
    if (pos_ > newSize) pos_ = newSize;
}

// ---- TIdFileStream ----

namespace {
std::string SysText(const std::string& what, const std::string& path, int err) {
    return what + " \"" + path + "\". " + std::strerror(err);
}
}  // namespace

TIdFileStream::TIdFileStream(const std::string& path, TIdFileMode mode, int permissions) : path_(path) {
    int flags = O_CLOEXEC;
    switch (mode) {
        case TIdFileMode::fmCreate:
            flags |= O_RDWR | O_CREAT | O_TRUNC;
            break;
        case TIdFileMode::fmOpenRead:
            flags |= O_RDONLY;
            break;
        case TIdFileMode::fmOpenReadWrite:
            flags |= O_RDWR;
            break;
        case TIdFileMode::fmOpenAppend:
            flags |= O_RDWR | O_CREAT;
            break;
    }
    do {
        fd_ = ::open(path.c_str(), flags, static_cast<mode_t>(permissions));
    } while (fd_ < 0 && errno == EINTR);
    if (fd_ < 0) {
        int err = errno;
        throw EIdStreamError(
            SysText(mode == TIdFileMode::fmCreate ? "Cannot create file" : "Cannot open file", path, err), err);
    }
    if (mode == TIdFileMode::fmOpenAppend) Seek(0, TIdSeekOrigin::soEnd);
}

TIdFileStream::~TIdFileStream() {
    if (fd_ >= 0) ::close(fd_);
}

void TIdFileStream::Close() {
    if (fd_ < 0) return;
    int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 && errno != EINTR) {
        int err = errno;
        throw EIdStreamError(SysText("Cannot close file", path_, err), err);
    }
}

int64_t TIdFileStream::Read(void* buffer, int64_t count) {
    if (count <= 0) return 0;
    if (fd_ < 0) throw EIdStreamError("File is closed: \"" + path_ + "\"");
    for (;;) {
        ssize_t n = ::read(fd_, buffer, static_cast<size_t>(std::min<int64_t>(count, 1 << 30)));
        if (n >= 0) return n;
        if (errno == EINTR) continue;
        int err = errno;
        throw EIdStreamError(SysText("Cannot read file", path_, err), err);
    }
}

int64_t TIdFileStream::Write(const void* buffer, int64_t count) {
    if (count <= 0) return 0;
    if (fd_ < 0) throw EIdStreamError("File is closed: \"" + path_ + "\"");
    const char* p = static_cast<const char*>(buffer);
    int64_t done = 0;
    while (done < count) {
        ssize_t n = ::write(fd_, p + done, static_cast<size_t>(std::min<int64_t>(count - done, 1 << 30)));
        if (n < 0) {
            if (errno == EINTR) continue;
            int err = errno;
            throw EIdStreamError(SysText("Cannot write file", path_, err), err);
        }
        done += n;
    }
    return done;
}

int64_t TIdFileStream::Seek(int64_t offset, TIdSeekOrigin origin) {
    if (fd_ < 0) throw EIdStreamError("File is closed: \"" + path_ + "\"");
    int whence = origin == TIdSeekOrigin::soBeginning ? SEEK_SET
                 : origin == TIdSeekOrigin::soCurrent ? SEEK_CUR
                                                      : SEEK_END;
    off_t r = ::lseek(fd_, static_cast<off_t>(offset), whence);
    if (r < 0) {
        int err = errno;
        throw EIdStreamError(SysText("Cannot seek in file", path_, err), err);
    }
    return static_cast<int64_t>(r);
}

int64_t TIdFileStream::Size() {
    if (fd_ < 0) throw EIdStreamError("File is closed: \"" + path_ + "\"");
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
        int err = errno;
        throw EIdStreamError(SysText("Cannot read the size of file", path_, err), err);
    }
    return static_cast<int64_t>(st.st_size);
}

void TIdFileStream::SetSize(int64_t newSize) {
    if (fd_ < 0) throw EIdStreamError("File is closed: \"" + path_ + "\"");
    int64_t pos = Position();
    if (::ftruncate(fd_, static_cast<off_t>(newSize)) != 0) {
        int err = errno;
        throw EIdStreamError(SysText("Cannot set the size of file", path_, err), err);
    }
    if (pos > newSize) Seek(newSize, TIdSeekOrigin::soBeginning);
}
