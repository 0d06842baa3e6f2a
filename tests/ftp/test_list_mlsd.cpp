// MLSD lines as ProFTPD, pure-ftpd and pyftpdlib send them, and the broken ones a listing must
// survive.

#include <gtest/gtest.h>

#include "ftp/list_mlsd.h"

namespace {

struct MlsdCase {
    const char* line;
    TMlsdLine result;
    const char* name;
    TIdDirItemType kind;
    int64_t size;
    const char* modifiedUtc;  // "YYYY-MM-DD HH:MM:SS" of the modify fact, "" when none
    const char* linkTarget;
};

// The local-time value of a UTC moment, as the parser must produce it.
std::string LocalOf(const char* utc) {
    std::tm t{};
    if (std::sscanf(utc, "%d-%d-%d %d:%d:%d", &t.tm_year, &t.tm_mon, &t.tm_mday, &t.tm_hour, &t.tm_min, &t.tm_sec) != 6)
        return "";
    t.tm_year -= 1900;
    t.tm_mon -= 1;
    const time_t when = ::timegm(&t);
    std::tm local{};
    ::localtime_r(&when, &local);
    char out[32];
    std::strftime(out, sizeof out, "%Y-%m-%d %H:%M:%S", &local);
    return out;
}

TEST(MlsdParser, RealServerLinesAndBrokenOnes) {
    const MlsdCase cases[] = {
        // ProFTPD
        {"modify=20261208170556;perm=adfrw;size=3;type=file;unique=FE00UA724A0;UNIX.group=1001;UNIX.groupname=tester;"
         "UNIX.mode=0644;UNIX.owner=1001;UNIX.ownername=tester; a.txt",
         TMlsdLine::Entry, "a.txt", itFile, 3, "2026-12-08 17:05:56", ""},
        {"modify=20261208170556;perm=adfrw;size=4;type=OS.unix=symlink;unique=FE00UA7249E;UNIX.mode=0777; dirlink",
         TMlsdLine::Entry, "dirlink", itLink, 4, "2026-12-08 17:05:56", ""},
        {"modify=20261208170556;perm=flcdmpe;type=cdir;unique=FE00UA72361;UNIX.mode=0755; .", TMlsdLine::ThisOrUp, "",
         itFile, 0, "", ""},
        {"modify=20261208170556;perm=flcdmpe;type=pdir;unique=FE00UA72361; ..", TMlsdLine::ThisOrUp, "", itFile, 0, "",
         ""},
        // pure-ftpd
        {"type=dir;sizd=4096;modify=20261208170556;UNIX.mode=0755;UNIX.uid=1001;UNIX.gid=1001;unique=fe00ga7249e; real",
         TMlsdLine::Entry, "real", itDirectory, 4096, "2026-12-08 17:05:56", ""},
        {"type=OS.unix=slink:;size=4;modify=20261208170556;UNIX.mode=0777;unique=fe00ga724a1; dirlink",
         TMlsdLine::Entry, "dirlink", itLink, 4, "2026-12-08 17:05:56", ""},
        // pyftpdlib (links reported as what they point to), and names the split must keep whole
        {"modify=20261208170556;perm=radfwMT;size=5368709120;type=file;unique=fe00ga72473; two  spaces ",
         TMlsdLine::Entry, "two  spaces ", itFile, 5368709120LL, "2026-12-08 17:05:56", ""},
        {"modify=20030303120000.123;perm=el;type=dir;unique=1; sub dir", TMlsdLine::Entry, "sub dir", itDirectory, 0,
         "2003-03-03 12:00:00", ""},
        // facts in any case, a link target, an unknown type, an empty fact list end
        {"Type=DIR;Size=0; Docs", TMlsdLine::Entry, "Docs", itDirectory, 0, "", ""},
        {"type=OS.unix=slink:/srv/data;; data", TMlsdLine::Entry, "data", itLink, 0, "", "/srv/data"},
        {"type=OS.unix=chr-13/29; null", TMlsdLine::Entry, "null", itFile, 0, "", ""},
        // broken
        {"type=file;size=3;", TMlsdLine::Malformed, "", itFile, 0, "", ""},   // no name
        {"type=file;size=3; ", TMlsdLine::Malformed, "", itFile, 0, "", ""},  // empty name
        {"size=3;perm=r; nameless-type", TMlsdLine::Malformed, "", itFile, 0, "", ""},
        {"type=file;size=-3; neg", TMlsdLine::Malformed, "", itFile, 0, "", ""},
        {"type=file;size=3x; junk", TMlsdLine::Malformed, "", itFile, 0, "", ""},
        {"type=file;modify=2026120817; short", TMlsdLine::Malformed, "", itFile, 0, "", ""},
        {"type=file;modify=20261332000000; month", TMlsdLine::Malformed, "", itFile, 0, "", ""},
        {"type=file;garbage; nofact", TMlsdLine::Malformed, "", itFile, 0, "", ""},
        {"-rw-r--r--   1 tester   tester          2 Dec  8 17:05 file.txt", TMlsdLine::Malformed, "", itFile, 0, "",
         ""},
    };
    for (const MlsdCase& c : cases) {
        SCOPED_TRACE(c.line);
        TIdFTPListItem item;
        item.ItemName = "untouched";
        ASSERT_EQ(ParseMlsdLine(c.line, item), c.result);
        if (c.result != TMlsdLine::Entry) {
            EXPECT_EQ(item.ItemName, "untouched");
            continue;
        }
        EXPECT_EQ(item.RawLine, c.line);
        EXPECT_EQ(item.ItemName, c.name);
        EXPECT_EQ(item.Kind, c.kind);
        EXPECT_EQ(item.ItemSize, c.size);
        EXPECT_EQ(item.LinkTarget, c.linkTarget);
        if (*c.modifiedUtc)
            EXPECT_EQ(FormatListDateTime(item.Modified), LocalOf(c.modifiedUtc));
        else
            EXPECT_EQ(item.Modified, 0);
        EXPECT_EQ(item.TimeKnown, *c.modifiedUtc != '\0');
    }

    TIdFTPListItem pro;
    ASSERT_EQ(ParseMlsdLine(cases[0].line, pro), TMlsdLine::Entry);
    EXPECT_EQ(pro.Perm, "adfrw");
    EXPECT_EQ(pro.Unique, "FE00UA724A0");
    EXPECT_EQ(pro.Owner, "tester");
    EXPECT_EQ(pro.Group, "tester");
    EXPECT_EQ(pro.OwnerRights + pro.GroupRights + pro.OtherRights, "rw-r--r--");
}

}  // namespace
