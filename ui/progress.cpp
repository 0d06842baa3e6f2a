#include "ui/progress.h"

#include <cfenv>
#include <cmath>
#include <cstdio>

namespace progress {

int64_t RoundHalfEven(double v) {
    // nearbyint follows the current rounding mode, which is to-nearest-even unless someone changed it.
    const int old = std::fegetround();
    if (old != FE_TONEAREST) std::fesetround(FE_TONEAREST);
    const double r = std::nearbyint(v);
    if (old != FE_TONEAREST) std::fesetround(old);
    return static_cast<int64_t>(r);
}

static std::string Two(int64_t v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02lld", static_cast<long long>(v));
    return buf;
}

std::string FormatHms(int64_t seconds) {
    if (seconds < 0) seconds = 0;
    return Two(seconds / 3600) + ":" + Two((seconds / 60) % 60) + ":" + Two(seconds % 60);
}

std::string FormatFixed2(double v, const std::string& decimalSeparator) {
    if (!std::isfinite(v)) v = 0.0;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.2f", v);
    std::string s = buf;
    const auto dot = s.find('.');
    if (dot != std::string::npos) s.replace(dot, 1, decimalSeparator);
    return s;
}

void UpdateSpeed(TProgressState& state, int64_t count, int64_t elapsedMs) {
    if (elapsedMs <= 0) return;
    const double t = static_cast<double>(elapsedMs) / 1000.0;
    state.AverageSpeed = (static_cast<double>(count) / 1024.0 / t + state.AverageSpeed) / 2.0;
}

TProgressTexts MakeTexts(const TProgressState& state, const TTransferState& transfer, bool read, int64_t count,
                         int64_t elapsedMs, const std::string& decimalSeparator) {
    TProgressTexts out;
    if (elapsedMs < 0) elapsedMs = 0;
    out.Speed = std::string(read ? "Download speed " : "Uploade speed ") +
                FormatFixed2(state.AverageSpeed, decimalSeparator) + " KB/s";

    if (transfer.ExpectedSize > 0) {
        out.HasPercent = true;
        out.Percent = static_cast<int>(RoundHalfEven(static_cast<double>(transfer.DoneBytes(count)) /
                                                     static_cast<double>(transfer.ExpectedSize) * 100.0));
        out.PercentText = std::to_string(out.Percent) + " %";
    }

    // The whole seconds are not folded into one day or a 16-bit count, so long transfers keep
    // their true elapsed time.
    out.Elapsed = FormatHms(elapsedMs / 1000) + " Elapsed";

    // The bytes still to move: a resumed transfer's earlier part is already there, and a transfer
    // that outgrew its expected size has nothing left rather than a negative time.
    int64_t left = 0;
    if (state.AverageSpeed > 0)
        left = RoundHalfEven(static_cast<double>(transfer.RemainingBytes(count)) / (state.AverageSpeed * 1024.0));
    out.Left = FormatHms(left) + " Left";
    return out;
}

TProgressTexts WorkEvent(TProgressState& state, const TTransferState& transfer, bool read, int64_t count,
                         int64_t elapsedMs, const std::string& decimalSeparator) {
    UpdateSpeed(state, count, elapsedMs);
    return MakeTexts(state, transfer, read, count, elapsedMs, decimalSeparator);
}

std::string TrayProgressTip(const std::string& speedPanel, const std::string& percentPanel) {
    return speedPanel + " " + percentPanel + " done.";
}

std::string CutTrayTip(const std::string& text) {
    constexpr size_t kMaxChars = 63;
    size_t chars = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if ((c & 0xC0) != 0x80) {  // start of a character
            if (chars == kMaxChars) return text.substr(0, i);
            ++chars;
        }
    }
    return text;
}

}  // namespace progress
