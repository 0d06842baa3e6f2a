#include "transfer/transfer_state.h"

#include <cmath>

bool TTransferState::WorkBegin() {
    if (UploadResumePhase != 0) return false;
    if (!RunActive) StopTransfer = false;
    return true;
}

int64_t TTransferState::DoneBytes(int64_t count) const {
    if (UploadResumePhase >= 1) return count + UploadResumeBase;
    if (DownloadResuming) return count + DownloadResumeOffset;
    return count;
}

int TTransferState::Percent(int64_t count) const {
    if (ExpectedSize <= 0) return -1;
    double p = static_cast<double>(DoneBytes(count)) / static_cast<double>(ExpectedSize) * 100.0;
    return static_cast<int>(std::nearbyint(p));  // default rounding mode: halves to even
}

int64_t TTransferState::RemainingBytes(int64_t count) const {
    int64_t left = ExpectedSize - DoneBytes(count);
    return left > 0 ? left : 0;
}
