#pragma once
// Transfer state shared by the queue runner, the stop command and the progress display.
// One instance lives in the main window; the runner writes it, the window's work-event
// handlers read it (and clear StopTransfer / Transferring as described below).

#include <cstdint>

// Answers of the file-exists question. 11..14 apply to one file, 15..18 to the rest of the run.
enum TExistsAction {
    eaNone = 0,
    eaOverwrite = 11,
    eaResume = 12,
    eaRename = 13,
    eaSkip = 14,
    eaOverwriteAll = 15,
    eaResumeAll = 16,
    eaRenameAll = 17,
    eaSkipAll = 18
};

struct TTransferState {
    // A file transfer is under way (set just before each file; cleared when a data transfer ends).
    bool Transferring = false;
    // The user asked to stop; the progress handler aborts the running data transfer.
    bool StopTransfer = false;
    // Size of the file being transferred (0 or less: unknown, no percentage).
    int64_t ExpectedSize = 0;
    // The current single download continues an existing local file of DownloadResumeOffset bytes.
    bool DownloadResuming = false;
    int64_t DownloadResumeOffset = 0;
    // Chunked resumed upload: 0 none, 1 first chunk, 2 later chunks; bytes already on the server.
    int UploadResumePhase = 0;
    int64_t UploadResumeBase = 0;
    // Entries of the last immediate Download/Upload still waiting at the front of the queue.
    int ImmediatePending = 0;
    // Answer of the file-exists question (TExistsAction); reset to 0 when a run ends.
    int ExistsAction = 0;
    // A run is in progress, possibly waiting inside a blocking call (a second run is refused).
    bool RunActive = false;

    // Work begin of a data transfer. Returns true when the display should restart its clock
    // and speed (outside a chunked resumed upload). Outside a run a left-over stop request is
    // dropped here; inside a run it is kept, so a stop pressed between two data transfers
    // still ends the run.
    bool WorkBegin();
    // Work end: true when the status bar should be reset (outside a chunked resumed upload).
    bool WorkEndResets() const { return UploadResumePhase == 0; }
    // Bytes of the file done after `count` bytes of the running data transfer.
    int64_t DoneBytes(int64_t count) const;
    // Percentage done (rounded, halves to even), or -1 when ExpectedSize is unknown.
    int Percent(int64_t count) const;
    // Bytes of the file still to move after `count` (never below 0), for the time-left estimate.
    int64_t RemainingBytes(int64_t count) const;
};
