#include "transfer/session_setup.h"

#include "ftp/ftp_client.h"
#include "sites/site_table.h"

void ConfigureFtpClient(TIdFTP& ftp, const TFTPInfo& site, const TConnectionDefaults& defaults) {
    ftp.SetHost(site.Host);
    ftp.Username = site.UserName;
    ftp.Password = site.Password;
    ftp.SetPort(site.Port);
    ftp.Passive = UsesPassive(site.Options, defaults);
    switch (site.Options.NameEncoding) {
    case TSiteNameEncoding::Utf8: ftp.NameEncoding = TFtpNameEncoding::Utf8; break;
    case TSiteNameEncoding::Raw: ftp.NameEncoding = TFtpNameEncoding::Raw; break;
    default: ftp.NameEncoding = TFtpNameEncoding::Auto; break;
    }
}
