// The remote list's rows built from a parsed listing: order, skipped entries, names kept byte for
// byte, the size column and the icon slots by name tail.

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "ftp/list_items.h"
#include "ui/remote_listing.h"

namespace {

void Add(TIdFTPListItems& items, const std::string& name, TIdDirItemType kind, int64_t size = 0,
         TDateTime modified = 37755.0 /* 14 May 2003 */) {
    TIdFTPListItem& item = items.Add();
    item.ItemName = name;
    item.Kind = kind;
    item.ItemSize = size;
    item.Modified = modified;
}

std::string Dotted(TDateTime value) {
    const TListDateTimeParts p = DecodeDateTime(value);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d.%02d.%04d", p.Day, p.Month, p.Year);
    return buf;
}

std::vector<std::string> Names(const std::vector<THostDirInfo>& rows) {
    std::vector<std::string> names;
    for (const auto& r : rows) names.push_back(r.Name);
    return names;
}

TEST(RemoteListingRows, DirectoriesFirstThenNamesWithoutRegardToCase) {
    TIdFTPListItems items;
    Add(items, "Zeta", itDirectory);
    Add(items, "alpha.txt", itFile, 10);
    Add(items, ".", itDirectory);
    Add(items, "Beta", itDirectory);
    Add(items, "..", itDirectory);
    Add(items, "BETA.doc", itFile, 5);
    Add(items, "link", itLink, 7);
    Add(items, "ab", itFile);
    Add(items, "abc", itFile);
    const auto rows = BuildHostDirRows(items, Dotted);
    EXPECT_EQ(Names(rows), (std::vector<std::string>{"Beta", "Zeta", "ab", "abc", "alpha.txt", "BETA.doc", "link"}));
    EXPECT_TRUE(rows[0].IsDir);
    EXPECT_EQ(rows[0].Size, -1);
    EXPECT_FALSE(rows[6].IsDir);  // a link counts as a file
    EXPECT_EQ(rows[6].Size, 7);
    EXPECT_EQ(rows[4].Modified, "14.05.2003");
}

TEST(RemoteListingRows, OnlyDotEntriesListAsEmpty) {
    TIdFTPListItems items;
    Add(items, ".", itDirectory);
    Add(items, "..", itDirectory);
    EXPECT_TRUE(BuildHostDirRows(items, Dotted).empty());
    TIdFTPListItems none;
    EXPECT_TRUE(BuildHostDirRows(none, Dotted).empty());
}

TEST(RemoteListingRows, NamesKeepTheirExactBytes) {
    TIdFTPListItems items;
    Add(items, "my notes.txt", itFile, 3000);
    Add(items, "a  b", itFile, 1);      // two spaces in a row
    Add(items, "caf\xe9", itFile, 2);   // Latin-1, not UTF-8
    Add(items, "x\\ 12 y", itFile, 3);  // a backslash and a space inside the name
    Add(items, " lead", itDirectory);
    const auto rows = BuildHostDirRows(items, Dotted);
    EXPECT_EQ(Names(rows), (std::vector<std::string>{" lead", "a  b", "caf\xe9", "my notes.txt", "x\\ 12 y"}));
    EXPECT_EQ(rows[3].Size, 3000);
    EXPECT_EQ(rows[3].Modified, "14.05.2003");
    EXPECT_EQ(rows[4].Size, 3);
    EXPECT_EQ(RemoteSizeText(rows[3].Size), "3 KB");
}

TEST(RemoteListingRows, SortRowsAndModifiedWords) {
    TIdFTPListItem dir;
    dir.ItemName = "docs";
    dir.Kind = itDirectory;
    EXPECT_EQ(HostSortRow(dir, "14.05.2003"), "ddocs\\ -1 14.05.2003");
    TIdFTPListItem file;
    file.ItemName = "my notes.txt";
    file.ItemSize = 3000;
    EXPECT_EQ(HostSortRow(file, "14.05.2003"), "fmy notes.txt\\ 3000 14.05.2003");
    // A date format with spaces gives up to three words, joined with single spaces.
    EXPECT_EQ(ModifiedText("14  May 2003"), "14 May 2003");
    EXPECT_EQ(ModifiedText("Wed 14 May 2003"), "Wed 14 May");
    EXPECT_EQ(ModifiedText(""), "");
}

TEST(RemoteListingRows, ManyEntriesAreAllKept) {
    TIdFTPListItems items;
    for (int i = 9999; i >= 0; --i) Add(items, "f" + std::to_string(100000 + i), itFile, i);
    const auto rows = BuildHostDirRows(items, Dotted);
    ASSERT_EQ(rows.size(), 10000u);
    EXPECT_EQ(rows.front().Name, "f100000");
    EXPECT_EQ(rows.back().Name, "f109999");
    EXPECT_EQ(rows.back().Size, 9999);
}

TEST(RemoteListingRows, TimeOfDayOnlyWhereTheListingGaveOne) {
    TIdFTPListItems items;
    Add(items, "old", itFile, 1, 37755.0);
    Add(items, "new", itFile, 1, 37755.5);
    items.Items(1).TimeKnown = true;
    const auto hours = [](TDateTime v) { return std::to_string(DecodeDateTime(v).Hour) + "h"; };
    const auto rows = BuildHostDirRows(items, Dotted, hours);
    EXPECT_EQ(rows[0].Modified, "14.05.2003 12h");
    EXPECT_EQ(rows[1].Modified, "14.05.2003");
    EXPECT_DOUBLE_EQ(rows[0].ModifiedAt, 37755.5);
    EXPECT_EQ(BuildHostDirRows(items, Dotted)[0].Modified, "14.05.2003");  // no time formatter
}

TEST(RemoteListingRows, ColumnOrderKeepsFoldersFirst) {
    // Names compare by the caller's collation; here plain bytes, so case matters and ties show.
    const std::vector<THostDirInfo> rows = {
        {"b.txt", 10, "", false, 3.0}, {"Zdir", -1, "", true, 1.0},     {"a.txt", 9, "", false, 5.0},
        {"adir", -1, "", true, 2.0},   {"c.txt", 1000, "", false, 4.0}, {"B.txt", 10, "", false, 3.0},
    };
    const auto folded = [&](size_t a, size_t b) {
        std::string x = rows[a].Name, y = rows[b].Name;
        for (char& c : x) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        for (char& c : y) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return x.compare(y);
    };
    const struct {
        THostColumn column;
        bool descending;
        std::vector<std::string> names;
    } cases[] = {
        {THostColumn::Name, false, {"adir", "Zdir", "a.txt", "B.txt", "b.txt", "c.txt"}},
        {THostColumn::Name, true, {"Zdir", "adir", "c.txt", "b.txt", "B.txt", "a.txt"}},
        // Sizes as numbers (9 < 10 < 1000); equal sizes and the folders by name.
        {THostColumn::Size, false, {"adir", "Zdir", "a.txt", "B.txt", "b.txt", "c.txt"}},
        {THostColumn::Size, true, {"adir", "Zdir", "c.txt", "B.txt", "b.txt", "a.txt"}},
        {THostColumn::Modified, false, {"Zdir", "adir", "B.txt", "b.txt", "c.txt", "a.txt"}},
        {THostColumn::Modified, true, {"adir", "Zdir", "a.txt", "c.txt", "B.txt", "b.txt"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.column) * 2 + c.descending);
        std::vector<std::string> names;
        for (size_t i : ColumnRowOrder(rows, c.column, c.descending, folded)) names.push_back(rows[i].Name);
        EXPECT_EQ(names, c.names);
    }
}

TEST(RemoteListingSize, KilobytesRoundHalvesToEven) {
    EXPECT_EQ(RemoteSizeText(0), "0");
    EXPECT_EQ(RemoteSizeText(1024), "1024");
    EXPECT_EQ(RemoteSizeText(1025), "1 KB");
    EXPECT_EQ(RemoteSizeText(1536), "2 KB");
    EXPECT_EQ(RemoteSizeText(2560), "2 KB");
    EXPECT_EQ(RemoteSizeText(3584), "4 KB");
    EXPECT_EQ(RemoteSizeText(2047), "2 KB");
    EXPECT_EQ(RemoteSizeText(int64_t{5} * 1024 * 1024 * 1024), "5242880 KB");  // above 4 GiB
}

TEST(RemoteListingIcons, TailsGetSlotsOnceForTheRun) {
    TIconTailCache cache;
    EXPECT_EQ(cache.NextSlot(), 1);
    auto a = cache.Lookup("report.txt");
    EXPECT_EQ(a.Tail, ".txt");
    EXPECT_TRUE(a.IsNew);
    EXPECT_EQ(a.Slot, 1);
    auto b = cache.Lookup("other.TXT");  // tails are compared as they are
    EXPECT_EQ(b.Slot, 2);
    auto c = cache.Lookup("again.txt");
    EXPECT_FALSE(c.IsNew);
    EXPECT_EQ(c.Slot, 1);
    // No dot in the tail: the plain file icon, nothing cached.
    auto d = cache.Lookup("Makefile");
    EXPECT_EQ(d.Slot, -1);
    EXPECT_FALSE(d.IsNew);
    EXPECT_EQ(TIconTailCache::Tail("a.c"), "a.c");
    EXPECT_EQ(cache.Lookup(".c").Slot, 3);     // short names: the whole name is the tail
    EXPECT_EQ(cache.Lookup("x.gz").Slot, -1);  // four characters without a leading dot
    EXPECT_EQ(cache.NextSlot(), 4);
}

TEST(RemoteListingIcons, NoCeilingOnDistinctTails) {
    TIconTailCache cache;
    for (int i = 0; i < 1000; ++i) {
        char ext[8];
        std::snprintf(ext, sizeof ext, ".%03d", i);
        EXPECT_EQ(cache.Lookup(std::string("f") + ext).Slot, i + 1);
    }
    EXPECT_EQ(cache.Size(), 1000u);
    EXPECT_EQ(cache.Lookup("again.999").Slot, 1000);
}

}  // namespace
