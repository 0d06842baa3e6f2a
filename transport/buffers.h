#pragma once
// Byte buffers of received input.

#include <cstdint>
#include <functional>
#include <string>

// A growable byte buffer that can hand out its first n bytes and remove them.
class TIdSimpleBuffer {
public:
    virtual ~TIdSimpleBuffer() = default;

    virtual int64_t Size() const { return static_cast<int64_t>(data_.size()); }
    bool Empty() const { return Size() == 0; }
    virtual const char* Data() const { return data_.data(); }
    char* Data() { return const_cast<char*>(static_cast<const TIdSimpleBuffer*>(this)->Data()); }
    void Append(const char* p, int64_t n) { data_.append(p, static_cast<size_t>(n)); }
    void Append(const std::string& s) { data_.append(s); }
    // Hands out the first n bytes and removes them; raises EIdNotEnoughDataInBuffer when n > Size.
    std::string Extract(int64_t n);
    // Copies the first n bytes to dest (which must hold n) and removes them; raises as Extract.
    void ExtractTo(char* dest, int64_t n);
    // Removes the first n bytes; raises EIdNotEnoughDataInBuffer when n > Size.
    virtual void Remove(int64_t n);
    virtual void Clear() { data_.clear(); }
    // The unconsumed bytes as a string (a copy).
    std::string AsString() const { return std::string(Data(), static_cast<size_t>(Size())); }

    // Raw storage, for a receive straight into the buffer (a simple buffer only).
    void SetSize(int64_t n) { data_.resize(static_cast<size_t>(n)); }

protected:
    std::string data_;
};

// Removes from its front lazily: consuming only advances a count until 32768 consumed bytes have
// piled up, then the unconsumed rest moves to the front. Consuming all remaining bytes empties the
// buffer. Every consumption is reported through OnBytesRemoved (the owning connection turns it
// into read work); Clear reports nothing.
class TIdManagedBuffer : public TIdSimpleBuffer {
public:
    static constexpr int64_t CompactAt = 32768;

    std::function<void(int64_t count)> OnBytesRemoved;

    int64_t Size() const override { return static_cast<int64_t>(data_.size()) - consumed_; }
    const char* Data() const override { return data_.data() + consumed_; }
    char At(int64_t i) const { return data_[static_cast<size_t>(consumed_ + i)]; }
    // Position (0-based, from the unconsumed front) of needle at or after from, or -1.
    int64_t Find(const std::string& needle, int64_t from = 0) const;
    void Remove(int64_t n) override;
    // As Remove, without the report: for callers that report the consumption themselves.
    void RemoveUnreported(int64_t n);
    void Clear() override;
    // Bytes consumed but not yet moved away (for tests of the compaction).
    int64_t ConsumedAtFront() const { return consumed_; }

private:
    int64_t consumed_ = 0;
};
