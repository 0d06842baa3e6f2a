// The progress arithmetic of the status bar: speed, percentage, elapsed time and time left.

#include <gtest/gtest.h>

#include "ui/progress.h"

namespace {

using progress::FormatHms;
using progress::MakeTexts;
using progress::TProgressState;
using progress::WorkEvent;

TEST(Progress, WorkedExampleOfADownload) {
    // 2 MiB file, 65.25 s since the start, 650 KiB moved, previous speed 9.5 KB/s.
    TProgressState state;
    state.AverageSpeed = 9.5;
    TTransferState transfer;
    transfer.ExpectedSize = 2 * 1024 * 1024;

    const auto t = WorkEvent(state, transfer, true, 650 * 1024, 65250);

    EXPECT_NEAR(state.AverageSpeed, 9.7308, 0.0001);
    EXPECT_EQ(t.Speed, "Download speed 9.73 KB/s");
    ASSERT_TRUE(t.HasPercent);
    EXPECT_EQ(t.Percent, 32);
    EXPECT_EQ(t.PercentText, "32 %");
    EXPECT_EQ(t.Elapsed, "00:01:05 Elapsed");
    EXPECT_EQ(t.Left, "00:02:24 Left");
}

TEST(Progress, SpeedUsesTheGivenDecimalSeparatorAndNoGrouping) {
    TProgressState state;
    TTransferState transfer;
    // 12345.5 KB/s averaged with 0 gives 6172.75.
    const auto t = WorkEvent(state, transfer, false, static_cast<int64_t>(12345.5 * 1024), 1000, ",");
    EXPECT_EQ(t.Speed, "Uploade speed 6172,75 KB/s");
}

TEST(Progress, FirstEventAtTimeZeroShowsZeroSpeedAndNoTimeLeft) {
    TProgressState state;
    TTransferState transfer;
    transfer.ExpectedSize = 1000;
    const auto t = WorkEvent(state, transfer, true, 500, 0);
    EXPECT_EQ(state.AverageSpeed, 0.0);
    EXPECT_EQ(t.Speed, "Download speed 0.00 KB/s");
    EXPECT_EQ(t.Left, "00:00:00 Left");
    EXPECT_EQ(t.PercentText, "50 %");
}

TEST(Progress, UnknownSizeShowsNoPercentageAndNoNegativeTimeLeft) {
    TProgressState state;
    state.AverageSpeed = 100;
    TTransferState transfer;
    transfer.ExpectedSize = 0;
    const auto t = WorkEvent(state, transfer, true, 5'000'000, 3000);
    EXPECT_FALSE(t.HasPercent);
    EXPECT_TRUE(t.PercentText.empty());
    EXPECT_EQ(t.Left, "00:00:00 Left");
    EXPECT_EQ(t.Elapsed, "00:00:03 Elapsed");
}

TEST(Progress, ResumedTransfersCountTheBytesAlreadyThere) {
    TProgressState state;
    state.AverageSpeed = 1;  // 1 KB/s
    TTransferState transfer;
    transfer.ExpectedSize = 10 * 1024;
    transfer.DownloadResuming = true;
    transfer.DownloadResumeOffset = 4 * 1024;
    auto t = MakeTexts(state, transfer, true, 1024, 1000);
    EXPECT_EQ(t.Percent, 50);
    EXPECT_EQ(t.Left, "00:00:05 Left");  // 5 KiB still to come at 1 KB/s

    transfer.DownloadResuming = false;
    transfer.UploadResumePhase = 2;
    transfer.UploadResumeBase = 9 * 1024;
    t = MakeTexts(state, transfer, false, 512, 1000);
    EXPECT_EQ(t.Percent, 95);
}

TEST(Progress, PercentagesRoundHalvesToEven) {
    TProgressState state;
    TTransferState transfer;
    transfer.ExpectedSize = 200;
    EXPECT_EQ(MakeTexts(state, transfer, true, 1, 1000).Percent, 0);  // 0.5
    EXPECT_EQ(MakeTexts(state, transfer, true, 3, 1000).Percent, 2);  // 1.5
    EXPECT_EQ(MakeTexts(state, transfer, true, 5, 1000).Percent, 2);  // 2.5
    EXPECT_EQ(progress::RoundHalfEven(143.67), 144);
    EXPECT_EQ(progress::RoundHalfEven(-0.5), 0);
}

TEST(Progress, ClockTexts) {
    EXPECT_EQ(FormatHms(0), "00:00:00");
    EXPECT_EQ(FormatHms(65), "00:01:05");
    EXPECT_EQ(FormatHms(9 * 3600 + 3 * 60 + 7), "09:03:07");
    EXPECT_EQ(FormatHms(12 * 3600), "12:00:00");
    EXPECT_EQ(FormatHms(100000), "27:46:40");
    EXPECT_EQ(FormatHms(-5), "00:00:00");
}

TEST(Progress, ElapsedTimeKeepsItsTrueHoursPastADayAndPast65535Seconds) {
    TProgressState state;
    TTransferState transfer;
    // 18 h 12 min 20 s = 65540 s: past a 16-bit count of seconds.
    EXPECT_EQ(MakeTexts(state, transfer, true, 0, 65540LL * 1000).Elapsed, "18:12:20 Elapsed");
    // 25 h 0 min 1 s: past one day.
    EXPECT_EQ(MakeTexts(state, transfer, true, 0, 90001LL * 1000).Elapsed, "25:00:01 Elapsed");
    // The speed of a long transfer still uses the whole time.
    WorkEvent(state, transfer, true, 90001LL * 1024, 90001LL * 1000);
    EXPECT_NEAR(state.AverageSpeed, 0.5, 1e-9);
}

TEST(Progress, TrayTipIsCutTo63CharactersWithoutSplittingACharacter) {
    EXPECT_EQ(progress::TrayProgressTip("Download speed 1.00 KB/s", "5 %"), "Download speed 1.00 KB/s 5 % done.");
    const std::string ascii(70, 'a');
    EXPECT_EQ(progress::CutTrayTip(ascii).size(), 63u);
    std::string wide;
    for (int i = 0; i < 70; ++i) wide += "\xC3\xA9";  // é
    const std::string cut = progress::CutTrayTip(wide);
    EXPECT_EQ(cut.size(), 126u);
    EXPECT_EQ(progress::CutTrayTip("short"), "short");
}

}  // namespace
