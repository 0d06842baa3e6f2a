#pragma once
// Byte streams with 64-bit sizes and positions, used for transfers (Get/Put) and by the intercepts.

#include <cstdint>
#include <string>

enum class TIdSeekOrigin { soBeginning, soCurrent, soEnd };

class TIdStream {
public:
    virtual ~TIdStream() = default;
    // Reads up to count bytes; returns the number read (0 at the end).
    virtual int64_t Read(void* buffer, int64_t count) = 0;
    // Writes count bytes; returns the number written.
    virtual int64_t Write(const void* buffer, int64_t count) = 0;
    // Moves the position; returns the new position.
    virtual int64_t Seek(int64_t offset, TIdSeekOrigin origin) = 0;
    virtual int64_t Size();
    // Grows or cuts the stream; the position stays unless it lies past the new end.
    virtual void SetSize(int64_t newSize) = 0;

    int64_t Position() { return Seek(0, TIdSeekOrigin::soCurrent); }
    void SetPosition(int64_t pos) { Seek(pos, TIdSeekOrigin::soBeginning); }
    // Read or write exactly count bytes, or raise EIdStreamError.
    void ReadBuffer(void* buffer, int64_t count);
    void WriteBuffer(const void* buffer, int64_t count);
    void WriteString(const std::string& s) { WriteBuffer(s.data(), static_cast<int64_t>(s.size())); }
    // Copies count bytes (all from the current position when count <= 0) from source; returns bytes copied.
    int64_t CopyFrom(TIdStream& source, int64_t count);
};

// A stream held in memory as a byte string.
class TIdMemoryStream : public TIdStream {
public:
    TIdMemoryStream() = default;
    explicit TIdMemoryStream(std::string data) : data_(std::move(data)) {}

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TIdSeekOrigin origin) override;
    int64_t Size() override { return static_cast<int64_t>(data_.size()); }
    void SetSize(int64_t newSize) override;

    const std::string& DataString() const { return data_; }
    std::string& Data() { return data_; }
    void Clear() {
        data_.clear();
        pos_ = 0;
    }

private:
    std::string data_;
    int64_t pos_ = 0;
};

enum class TIdFileMode {
    fmCreate,         // create, or truncate an existing file; read and write
    fmOpenRead,       // existing file, read only
    fmOpenReadWrite,  // existing file, read and write, position 0
    fmOpenAppend      // create when missing, read and write, position at the end
};

// A local file through a POSIX descriptor with 64-bit offsets.
class TIdFileStream : public TIdStream {
public:
    // Raises EIdStreamError when the file cannot be opened.
    TIdFileStream(const std::string& path, TIdFileMode mode, int permissions = 0644);
    ~TIdFileStream() override;
    TIdFileStream(const TIdFileStream&) = delete;
    TIdFileStream& operator=(const TIdFileStream&) = delete;

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TIdSeekOrigin origin) override;
    int64_t Size() override;
    void SetSize(int64_t newSize) override;

    const std::string& FileName() const { return path_; }
    int Handle() const { return fd_; }
    // Closes the file early (the destructor does it otherwise); raises on a failed close.
    void Close();

private:
    std::string path_;
    int fd_ = -1;
};
