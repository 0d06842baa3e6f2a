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
        case TSiteNameEncoding::Utf8:
            ftp.NameEncoding = TFtpNameEncoding::Utf8;
            break;
        case TSiteNameEncoding::Raw:
            ftp.NameEncoding = TFtpNameEncoding::Raw;
            break;
        default:
            ftp.NameEncoding = TFtpNameEncoding::Auto;
            break;
    }
    switch (site.Options.Encryption) {
        case TSiteEncryption::RequireExplicit:
            ftp.Encryption = TFtpEncryption::Explicit;
            break;
        case TSiteEncryption::RequireImplicit:
            ftp.Encryption = TFtpEncryption::Implicit;
            // A site still on the plain port means the usual implicit one.
            if (site.Port == 21) ftp.SetPort(TIdFTP::kImplicitTlsPort);
            break;
        case TSiteEncryption::PlainOnly:
            ftp.Encryption = TFtpEncryption::Off;
            break;
        default:
            ftp.Encryption = TFtpEncryption::Auto;
            break;
    }
}
