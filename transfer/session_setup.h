#pragma once
// The one place where a site and its connection options are put onto an FTP client, for the
// window's session and the transfers that reconnect through it alike.

#include "sites/site_options.h"

class TIdFTP;
struct TFTPInfo;

// Host, port, login, data connection mode (a site's Default means the program-wide mode), name
// encoding and encryption. Takes effect from the next OpenSession and, for the mode, the next transfer.
void ConfigureFtpClient(TIdFTP& ftp, const TFTPInfo& site, const TConnectionDefaults& defaults);
