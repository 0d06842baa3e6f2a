#pragma once
// Progress arithmetic of the status bar: speed, percentage, elapsed time and time left.
// Plain functions without widgets, so the window only has to paint their results.

#include <chrono>
#include <cstdint>
#include <string>

#include "transfer/transfer_state.h"

namespace progress {

using Clock = std::chrono::steady_clock;

// What the progress display keeps between work events (the sizes and resume values it reads
// belong to the transfer state).
struct TProgressState {
    Clock::time_point TransferStartTime{};
    double AverageSpeed = 0.0;  // KB/s, 1 KB = 1024 bytes

    // A new data transfer (or a chunked resumed upload) starts now.
    void Restart(Clock::time_point now = Clock::now()) {
        TransferStartTime = now;
        AverageSpeed = 0.0;
    }
};

// The texts one work event puts into the status bar.
struct TProgressTexts {
    std::string Speed;  // panel 6, "Download speed 9.73 KB/s"
    bool HasPercent = false;
    int Percent = 0;          // also the progress bar position
    std::string PercentText;  // panel 5, "32 %"
    std::string Elapsed;      // panel 2, "00:01:05 Elapsed"
    std::string Left;         // panel 3, "00:02:24 Left"
};

// Rounds to the nearest integer, halves to the even neighbour.
int64_t RoundHalfEven(double v);

// "hh:mm:ss" of a number of seconds; hours take as many digits as they need (at least two).
// A negative number of seconds gives 00:00:00.
std::string FormatHms(int64_t seconds);

// v with two decimals and the given decimal separator, no grouping ("9.73").
std::string FormatFixed2(double v, const std::string& decimalSeparator);

// The speed step of one work event: averages the mean speed since the start with the previous
// value. count: bytes moved so far in this transfer; elapsedMs: milliseconds since TransferStartTime.
// Cheap enough for every event; the texts are made only when the panels are painted.
void UpdateSpeed(TProgressState& state, int64_t count, int64_t elapsedMs);

// The panel texts for the state after the last work event. read: the transfer receives (download).
TProgressTexts MakeTexts(const TProgressState& state, const TTransferState& transfer, bool read, int64_t count,
                         int64_t elapsedMs, const std::string& decimalSeparator = ".");

// Both steps of one work event.
TProgressTexts WorkEvent(TProgressState& state, const TTransferState& transfer, bool read, int64_t count,
                         int64_t elapsedMs, const std::string& decimalSeparator = ".");

// The tray tip while hidden in the notification area: "<speed> <percent> done.".
std::string TrayProgressTip(const std::string& speedPanel, const std::string& percentPanel);

// The tray tip holds at most 63 characters; longer texts are cut at a character boundary (UTF-8).
std::string CutTrayTip(const std::string& text);

}  // namespace progress
