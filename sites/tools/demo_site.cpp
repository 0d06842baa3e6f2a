// orlix-demo-site HOST PORT USER PASSWORD
// Writes (or replaces) the site "Local demo" in $XDG_DATA_HOME/orlix-ftp/FTPList.dat and makes it the
// last-used site, so the demo opens with that site selected in the site list.
#include "settings/program_settings.h"
#include "sites/data_file.h"
#include "sites/site_table.h"

#include <cstdlib>
#include <exception>
#include <iostream>
#include <string>

int main(int argc, char** argv) {
    if (argc != 5) {
        std::cerr << "usage: orlix-demo-site HOST PORT USER PASSWORD\n";
        return 2;
    }
    try {
        const std::string dataDir = ProgramDataFolder();
        TSiteTable sites;
        sites.Load(dataDir);
        const std::string name = "Local demo";
        int index = sites.FindLastByName(name);
        if (index < 0) {
            index = sites.AddSite();
            sites.SetSiteName(index, name);
        }
        TFTPInfo& site = sites.Site(index);
        site.Host = argv[1];
        site.Port = std::atoi(argv[2]);
        site.UserName = argv[3];
        site.Password = argv[4];
        site.HomeDir = "/";
        site.Retries = 3;
        site.RetryDelay = 2;
        sites.SetCurrentSite(index);
        sites.Save(dataDir);

        TProgramSettings settings;
        TSiteTable scratch = sites;
        std::string localDir;
        if (auto report = settings.Load(dataDir, scratch); report.LocalDirToOpen) localDir = *report.LocalDirToOpen;
        settings.Save(dataDir, sites, localDir);
    } catch (const std::exception& e) {
        std::cerr << "orlix-demo-site: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
