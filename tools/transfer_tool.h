#pragma once
// The orlix-transfer command: ls, get and put of ftp:// URLs on the program's FTP client.

// Returns the exit status: 0 done, 1 failed (reason on stderr), 2 wrong use (usage on stderr).
int RunTransferTool(int argc, char** argv);
