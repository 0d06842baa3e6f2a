#include "transport/buffers.h"

#include <cstring>

#include "transport/id_exception.h"

std::string TIdSimpleBuffer::Extract(int64_t n) {
    if (n < 0 || n > Size()) throw EIdNotEnoughDataInBuffer();
    std::string out(Data(), static_cast<size_t>(n));
    Remove(n);
    return out;
}

void TIdSimpleBuffer::ExtractTo(char* dest, int64_t n) {
    if (n < 0 || n > Size()) throw EIdNotEnoughDataInBuffer();
    if (n > 0) std::memcpy(dest, Data(), static_cast<size_t>(n));
    Remove(n);
}

void TIdSimpleBuffer::Remove(int64_t n) {
    if (n < 0 || n > Size()) throw EIdNotEnoughDataInBuffer();
    data_.erase(0, static_cast<size_t>(n));
}

int64_t TIdManagedBuffer::Find(const std::string& needle, int64_t from) const {
    if (needle.empty() || from < 0) return -1;
    size_t p = data_.find(needle, static_cast<size_t>(consumed_ + from));
    if (p == std::string::npos) return -1;
    return static_cast<int64_t>(p) - consumed_;
}

void TIdManagedBuffer::Remove(int64_t n) {
    RemoveUnreported(n);
    if (n > 0 && OnBytesRemoved) OnBytesRemoved(n);
}

void TIdManagedBuffer::RemoveUnreported(int64_t n) {
    if (n < 0 || n > Size()) throw EIdNotEnoughDataInBuffer();
    if (n == 0) return;
    if (n == Size()) {
        data_.clear();
        consumed_ = 0;
    } else {
        consumed_ += n;
        if (consumed_ >= CompactAt) {
            data_.erase(0, static_cast<size_t>(consumed_));
            consumed_ = 0;
        }
    }
}

void TIdManagedBuffer::Clear() {
    data_.clear();
    consumed_ = 0;
}
