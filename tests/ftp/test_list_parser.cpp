// Listing parser: format detection, the line rules, LoadList and the parsed-listing cache.

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "ftp/list_items.h"
#include "ftp/list_parsed.h"

namespace {

TDateTime At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
    TDateTime date = 0, time = 0;
    EXPECT_TRUE(TryEncodeDate(y, mo, d, date));
    EXPECT_TRUE(TryEncodeTime(h, mi, s, ms, time));
    return CombineDateTime(date, time);
}

std::unique_ptr<TIdFTPListItems> Parse(const std::vector<std::string>& lines, TIdFTPListFormat format,
                                       TListDate today = {2026, 12, 8}) {
    auto items = std::make_unique<TIdFTPListItems>();
    items->SetToday(today.Year, today.Month, today.Day);
    items->CurrentFormat = format;
    items->LoadList(lines);
    return items;
}

TEST(ListDateTime, EncodesDaysFromTheEpochAndBack) {
    EXPECT_DOUBLE_EQ(At(1899, 12, 30), 0.0);
    EXPECT_DOUBLE_EQ(At(1900, 1, 1), 2.0);
    EXPECT_DOUBLE_EQ(At(2003, 3, 3), 37683.0);
    TDateTime v;
    EXPECT_FALSE(TryEncodeDate(2025, 2, 29, v));
    EXPECT_TRUE(TryEncodeDate(2024, 2, 29, v));
    EXPECT_FALSE(TryEncodeDate(0, 1, 1, v));
    EXPECT_FALSE(TryEncodeTime(24, 0, 0, 0, v));
    EXPECT_FALSE(TryEncodeTime(10, 60, 0, 0, v));

    const TListDateTimeParts p = DecodeDateTime(At(2026, 12, 8, 23, 59, 59, 999));
    EXPECT_EQ(p.Year, 2026);
    EXPECT_EQ(p.Month, 12);
    EXPECT_EQ(p.Day, 8);
    EXPECT_EQ(p.Hour, 23);
    EXPECT_EQ(p.Minute, 59);
    EXPECT_EQ(p.Second, 59);
    EXPECT_EQ(p.Millisecond, 999);
    EXPECT_EQ(FormatListDateTime(At(1850, 6, 1, 6, 30)), "1850-06-01 06:30:00");
    EXPECT_EQ(FormatListDate(0), "");
}

TEST(ListDetect, FormatsFromTheFirstLine) {
    TIdFTPListItems items;
    EXPECT_EQ(items.DetectFormat("-rw-r--r-- 1 a b 1 Jan 1 2000 x", false), lfNoDetails);
    EXPECT_EQ(items.DetectFormat("-rw-r--r-- 1 a b 1 Jan 1 2000 x", true), lfUnix);
    EXPECT_EQ(items.DetectFormat("total 24", true), lfUnix);
    EXPECT_EQ(items.DetectFormat("Total 0", true), lfUnix);
    EXPECT_EQ(items.DetectFormat("DRWXRWXRWX", true), lfUnix);
    EXPECT_EQ(items.DetectFormat("drwxr-xr-", true), lfUnknown);  // nine characters
    EXPECT_EQ(items.DetectFormat("xrwxr-xr-x 1 a b 1 Jan 1 2000 x", true), lfUnknown);
    // Position-specific letters: A in 3 and 8, H in 5, Y in 7.
    EXPECT_EQ(items.DetectFormat("-rarhryar-", true), lfUnix);
    EXPECT_EQ(items.DetectFormat("-ar-------", true), lfUnknown);
    EXPECT_EQ(items.DetectFormat("some text dsk:x", true), lfDsk);
    EXPECT_EQ(items.DetectFormat("01-23-03  10:15AM       <DIR>          docs", true), lfDos);
    EXPECT_EQ(items.DetectFormat("01/23/03  10:15AM       <dir>          docs", true), lfDos);
    EXPECT_EQ(items.DetectFormat("01-23-03  02:30PM                 1,234 a.txt", true), lfDos);
    EXPECT_EQ(items.DetectFormat("01.23.03  02:30PM                 1,234 a.txt", true), lfUnknown);
    EXPECT_EQ(items.DetectFormat("01-23-03  02:30PM                 abcde a.txt", true), lfUnknown);
    EXPECT_EQ(items.DetectFormat("", true), lfUnknown);
    EXPECT_EQ(items.DetectFormat("01-", true), lfUnknown);
}

// The size field of IIS ends in column 38; one-digit sizes and sizes of nine or more digits
// fall outside the columns 31 to 38 and must still be recognised.
TEST(ListDetect, DosLinesWithVeryShortOrLongSizes) {
    TIdFTPListItems items;
    EXPECT_EQ(items.DetectFormat("12-08-26  03:09AM                    2 tiny.txt", true), lfDos);
    EXPECT_EQ(items.DetectFormat("12-08-26  03:09AM            123456789 big.bin", true), lfDos);
    EXPECT_EQ(items.DetectFormat("12-08-26  03:09AM           5368709120 huge.iso", true), lfDos);
    EXPECT_EQ(items.DetectFormat("12-08-26  03:09AM        1,234,567,890 commas.bin", true), lfDos);
    EXPECT_EQ(items.DetectFormat("12-08-26  03:09AM           -5 neg.bin", true), lfUnknown);
    EXPECT_EQ(items.DetectFormat("12-08-2026  03:09AM       <DIR>          docs", true), lfDos);
    EXPECT_EQ(items.DetectFormat("12-08-2026  03:09AM                    1 one.txt", true), lfDos);
}

TEST(ListUnix, FullLineFields) {
    auto items = Parse({"drwxr-xr-x   2 ann staff 4096 Jan 12 10:15 docs"}, lfUnix);
    ASSERT_EQ(items->Count(), 1);
    const TIdFTPListItem& it = items->Items(0);
    EXPECT_EQ(it.Kind, itDirectory);
    EXPECT_EQ(it.OwnerRights, "rwx");
    EXPECT_EQ(it.GroupRights, "r-x");
    EXPECT_EQ(it.OtherRights, "r-x");
    EXPECT_EQ(it.LinkCount, 2);
    EXPECT_EQ(it.Owner, "ann");
    EXPECT_EQ(it.Group, "staff");
    EXPECT_EQ(it.ItemSize, 4096);
    EXPECT_EQ(it.ItemName, "docs");
    EXPECT_EQ(it.LinkTarget, "");
    EXPECT_DOUBLE_EQ(it.Modified, At(2026, 1, 12, 10, 15, 0, 999));
}

TEST(ListUnix, TimeOfDayMeansThisYearOrLastYear) {
    const std::string dec = "-rw-r--r-- 1 a b 1 Dec 24 18:00 x";
    EXPECT_DOUBLE_EQ(Parse({dec}, lfUnix, {2026, 3, 1})->Items(0).Modified, At(2025, 12, 24, 18, 0, 0, 999));
    EXPECT_DOUBLE_EQ(Parse({dec}, lfUnix, {2026, 12, 1})->Items(0).Modified, At(2026, 12, 24, 18, 0, 0, 999));
    // Only the time-of-day form tells a time; the year form gives the day alone.
    EXPECT_TRUE(Parse({dec}, lfUnix, {2026, 3, 1})->Items(0).TimeKnown);
    EXPECT_FALSE(Parse({"-rw-r--r-- 1 a b 1 Dec 24  2003 x"}, lfUnix, {2026, 3, 1})->Items(0).TimeKnown);
    // A day that is not a number falls back to today's; a year that is not a number to this year.
    EXPECT_DOUBLE_EQ(Parse({"-rw-r--r-- 1 a b 1 Mar xx 2003 x"}, lfUnix, {2026, 5, 7})->Items(0).Modified,
                     At(2003, 3, 7, 0, 0, 0, 999));
    EXPECT_DOUBLE_EQ(Parse({"-rw-r--r-- 1 a b 1 Mar 3 20x3 x"}, lfUnix, {2026, 5, 7})->Items(0).Modified,
                     At(2026, 3, 3, 0, 0, 0, 999));
}

TEST(ListUnix, LinksWithAndWithoutTarget) {
    auto items =
        Parse({"lrwxrwxrwx 1 ann staff 11 Mar  3  2003 www -> public_html",
               "lrwxrwxrwx 1 ann staff 11 Mar  3  2003 plain", "lrwxrwxrwx 1 ann staff 11 Mar  3  2003 a -> b -> c"},
              lfUnix);
    ASSERT_EQ(items->Count(), 3);
    EXPECT_EQ(items->Items(0).Kind, itLink);
    EXPECT_EQ(items->Items(0).ItemName, "www");
    EXPECT_EQ(items->Items(0).LinkTarget, "public_html");
    EXPECT_DOUBLE_EQ(items->Items(0).Modified, At(2003, 3, 3, 0, 0, 0, 999));
    EXPECT_EQ(items->Items(1).ItemName, "plain");
    EXPECT_EQ(items->Items(1).LinkTarget, "");
    EXPECT_EQ(items->Items(2).ItemName, "a");
    EXPECT_EQ(items->Items(2).LinkTarget, "b -> c");
}

TEST(ListUnix, ColumnVariants) {
    auto items = Parse({"-rw-r--r-- 1 ann 1234 Jan 12 2003 a.txt",        // no group column
                        "crw-rw-rw- 1 root root 1, 3 Jan 12 2003 null",   // device numbers
                        "crw-rw-rw- 1 root root 1,3 Jan 12 2003 zero",    // device numbers in one token
                        "-rwxrwxrwx 0owner group 77 Jan 12 2003 merged",  // link count run into the owner
                        "-rw-r--r-- 1 ann staff 9223372036854775807 Jan 12 2003 max",
                        "-rw-r--r-- 1 ann staff 99999999999999999999 Jan 12 2003 over",
                        "-rw-r--r-- 99999999999 ann staff 1 Jan 12 2003 links"},
                       lfUnix);
    ASSERT_EQ(items->Count(), 7);
    EXPECT_EQ(items->Items(0).Owner, "");
    EXPECT_EQ(items->Items(0).Group, "ann");
    EXPECT_EQ(items->Items(0).ItemSize, 1234);
    EXPECT_EQ(items->Items(1).ItemSize, 0);
    EXPECT_EQ(items->Items(1).Kind, itFile);
    EXPECT_EQ(items->Items(1).ItemName, "null");
    EXPECT_EQ(items->Items(2).ItemName, "zero");
    EXPECT_DOUBLE_EQ(items->Items(2).Modified, At(2003, 1, 12, 0, 0, 0, 999));
    EXPECT_EQ(items->Items(3).LinkCount, 0);
    EXPECT_EQ(items->Items(3).Owner, "owner");
    EXPECT_EQ(items->Items(3).Group, "group");
    EXPECT_EQ(items->Items(3).ItemSize, 77);
    EXPECT_EQ(items->Items(4).ItemSize, INT64_MAX);
    EXPECT_EQ(items->Items(5).ItemSize, 0);
    EXPECT_EQ(items->Items(6).LinkCount, 0);
}

TEST(ListUnix, DskFormatKeepsColumnsInPlace) {
    // Without the owner shift the month lands in the size column and the date fails.
    EXPECT_EQ(Parse({"-rw-r--r-- 1 ann 1234 Jan 12 2003 a.txt"}, lfDsk)->Count(), 0);
    auto items = Parse({"-rw-r--r-- 1 ann staff 1234 Jan 12 2003 a.txt"}, lfDsk);
    ASSERT_EQ(items->Count(), 1);
    EXPECT_EQ(items->Items(0).Owner, "ann");
    EXPECT_EQ(items->Items(0).ItemSize, 1234);
}

TEST(ListLoad, TotalLineBlankLinesAndCarriageReturns) {
    auto items = Parse({"total 24", "-rw-r--r-- 1 a b 1 Jan 1 2000 one", "   ", "\t \t", "",
                        "-rw-r--r-- 1 a b 2 Jan 1 2000 two\r", "TOTAL 5"},
                       lfUnix);
    // Only a leading total line is skipped; a later one fails its date and only it is left out.
    EXPECT_EQ(items->Count(), 2);
    EXPECT_EQ(items->DroppedLines(), 1);

    items =
        Parse({"total 24", "-rw-r--r-- 1 a b 1 Jan 1 2000 one", "   ", "-rw-r--r-- 1 a b 2 Jan 1 2000 two\r"}, lfUnix);
    ASSERT_EQ(items->Count(), 2);
    EXPECT_EQ(items->Items(1).ItemName, "two");
    EXPECT_EQ(items->Items(1).RawLine, "-rw-r--r-- 1 a b 2 Jan 1 2000 two");
    EXPECT_EQ(Parse({"total 24"}, lfDos)->Count(), 1);  // only the Unix format skips it
}

TEST(ListLoad, BadLineIsLeftOutAlone) {
    auto items = Parse({"-rw-r--r-- 1 a b 1 Jan 1 2000 one", "-rw-r--r-- 1 a b 1 Foo 1 2000 bad",
                        "-rw-r--r-- 1 a b 1 Jan 1 2000 three", "-rw-r--r-- 1 a b 1 Feb 30 2000 bad2",
                        "-rw-r--r-- 1 a b 1 Jan 1 25:00 bad3", "-rw-r--r-- 1 a b 1 Jan 1 2000 six"},
                       lfUnix);
    ASSERT_EQ(items->Count(), 3);
    EXPECT_EQ(items->Items(0).ItemName, "one");
    EXPECT_EQ(items->Items(1).ItemName, "three");
    EXPECT_EQ(items->Items(2).ItemName, "six");
    EXPECT_EQ(items->DroppedLines(), 3);
    EXPECT_EQ(items->FirstDroppedLine(), "-rw-r--r-- 1 a b 1 Foo 1 2000 bad");
}

TEST(ListLoad, ItemsStayInPlaceAcrossBlocks) {
    // Added one at a time (blocks of growing size), then a reserving load large enough for a
    // mapped block, with a dropped line inside it and items added past its end.
    TIdFTPListItems items;
    std::vector<const TIdFTPListItem*> where;
    for (int i = 0; i < 1000; ++i) {
        TIdFTPListItem& item = items.Add();
        item.ItemSize = i;
        where.push_back(&item);
    }
    for (int i = 0; i < 1000; ++i) {
        ASSERT_EQ(&items.Items(i), where[static_cast<size_t>(i)]);
        ASSERT_EQ(items.Items(i).ItemSize, i);
    }
    EXPECT_THROW(items.Items(1000), std::out_of_range);
    EXPECT_THROW(items.Items(-1), std::out_of_range);

    std::vector<std::string> lines;
    for (int i = 0; i < 9000; ++i)
        lines.push_back(i == 4500 ? "-rw-r--r-- 1 a b 1 Foo 1 2000 bad"
                                  : "-rw-r--r-- 1 a b " + std::to_string(i) + " Jan 1 2000 f");
    items.SetToday(2026, 12, 8);
    items.LoadList(lines);
    ASSERT_EQ(items.Count(), 8999);
    EXPECT_EQ(items.Items(4499).ItemSize, 4499);
    EXPECT_EQ(items.Items(4500).ItemSize, 4501);
    const TIdFTPListItem* last = &items.Items(8998);
    for (int i = 0; i < 20; ++i) items.Add().ItemSize = -i;
    EXPECT_EQ(&items.Items(8998), last);
    EXPECT_EQ(last->ItemSize, 8999);
    EXPECT_EQ(items.Items(9018).ItemSize, -19);
    items.Clear();
    EXPECT_EQ(items.Count(), 0);
    EXPECT_THROW(items.Items(0), std::out_of_range);
}

TEST(ListLoad, FormatsWithoutRules) {
    auto none = Parse({"anything at all", "x"}, lfNone);
    ASSERT_EQ(none->Count(), 2);
    EXPECT_EQ(none->Items(0).RawLine, "anything at all");
    EXPECT_EQ(none->Items(0).ItemName, "");
    EXPECT_EQ(none->Items(0).Owner, "????????");  // new-item values stay
    EXPECT_EQ(none->Items(0).Group, "????????");
    EXPECT_EQ(none->Items(0).OwnerRights + none->Items(0).GroupRights + none->Items(0).OtherRights, "?????????");
    EXPECT_EQ(none->Items(0).Kind, itFile);
    EXPECT_EQ(none->Items(0).Modified, 0.0);

    EXPECT_EQ(Parse({"a", "b"}, lfUnknown)->Count(), 0);
    EXPECT_EQ(Parse({"a", "b"}, lfCustom)->Count(), 0);
    EXPECT_EQ(Parse({"a"}, static_cast<TIdFTPListFormat>(42))->Count(), 0);

    TIdFTPListItems custom;
    custom.CurrentFormat = lfCustom;
    custom.OnParseCustomListFormat = [](TIdFTPListItem& item) {
        if (item.RawLine == "boom") throw std::runtime_error("x");
        item.ItemName = "<" + item.RawLine + ">";
    };
    custom.LoadList({"a", "b"});
    ASSERT_EQ(custom.Count(), 2);
    EXPECT_EQ(custom.Items(1).ItemName, "<b>");
    custom.LoadList({"a", "boom", "c"});
    ASSERT_EQ(custom.Count(), 2);
    EXPECT_EQ(custom.Items(1).ItemName, "<c>");

    auto names = Parse({"  name with spaces \t", "x"}, lfNoDetails);
    ASSERT_EQ(names->Count(), 2);
    EXPECT_EQ(names->Items(0).ItemName, "name with spaces");
    EXPECT_EQ(names->Items(0).Kind, itFile);
}

TEST(ListDos, DirectoriesFilesAndClock) {
    auto items =
        Parse({"01-23-03  10:15AM       <DIR>          docs", "01-23-03  02:30PM                 1,234 a.txt",
               "12-31-99  12:00AM                    5 midnight.txt", "06-01-50  12:45PM                    5 noon.txt",
               "06-01-51  11:45PM                    5 late.txt"},
              lfDos, {2026, 12, 8});
    ASSERT_EQ(items->Count(), 5);
    EXPECT_EQ(items->Items(0).Kind, itDirectory);
    EXPECT_EQ(items->Items(0).ItemName, "docs");
    EXPECT_EQ(items->Items(0).ItemSize, 0);
    EXPECT_EQ(items->Items(0).Owner, "????????");
    EXPECT_DOUBLE_EQ(items->Items(0).Modified, At(2003, 1, 23, 10, 15));
    EXPECT_EQ(items->Items(1).Kind, itFile);
    EXPECT_EQ(items->Items(1).ItemSize, 1234);
    EXPECT_EQ(items->Items(1).ItemName, "a.txt");
    EXPECT_DOUBLE_EQ(items->Items(1).Modified, At(2003, 1, 23, 14, 30));
    EXPECT_DOUBLE_EQ(items->Items(2).Modified, At(1999, 12, 31, 0, 0));
    EXPECT_DOUBLE_EQ(items->Items(3).Modified, At(2050, 6, 1, 12, 45));
    EXPECT_DOUBLE_EQ(items->Items(4).Modified, At(1951, 6, 1, 23, 45));
    for (int i = 0; i < 5; ++i) EXPECT_TRUE(items->Items(i).TimeKnown) << i;
}

TEST(ListDos, BadDatesAndOddPadding) {
    auto items = Parse(
        {"13-45-03  10:15AM                   10 baddate.txt", "01-23-03  99:15AM                   10 badtime.txt",
         "01-23-03  10:15AM <DIR> short",                    // padding narrower than IIS
         "01-23-03  10:15AM       <DIR>            spaced",  // IIS padding, name with leading blanks
         "01-23-03  10:15AM       <DIR>"},
        lfDos);
    ASSERT_EQ(items->Count(), 5);
    EXPECT_EQ(items->Items(0).Modified, 0.0);
    EXPECT_EQ(items->Items(0).ItemName, "baddate.txt");
    EXPECT_EQ(items->Items(1).Modified, 0.0);
    EXPECT_FALSE(items->Items(0).TimeKnown);
    EXPECT_FALSE(items->Items(1).TimeKnown);
    EXPECT_EQ(items->Items(2).Kind, itDirectory);
    EXPECT_EQ(items->Items(2).ItemName, "short");
    EXPECT_EQ(items->Items(3).ItemName, "  spaced");
    EXPECT_EQ(items->Items(4).ItemName, "");
}

TEST(ParsedListing, BuildsOnceAndKeepsTheCollection) {
    std::unique_ptr<TIdFTPListItems> holder;
    const std::vector<std::string> empty;
    TIdFTPListItems& e = BuildParsedListing(holder, empty, {});
    EXPECT_EQ(e.Count(), 0);
    EXPECT_EQ(e.CurrentFormat, lfUnix);

    holder.reset();
    std::vector<std::string> lines{"total 2", "-rw-r--r-- 1 a b 1 Jan 1 2000 one"};
    TIdFTPListItems& first = BuildParsedListing(holder, lines, {});
    ASSERT_EQ(first.Count(), 1);
    lines.push_back("-rw-r--r-- 1 a b 1 Jan 1 2000 two");
    TIdFTPListItems& again = BuildParsedListing(holder, lines, {});
    EXPECT_EQ(&again, &first);
    EXPECT_EQ(again.Count(), 1);  // no re-parse until the holder is reset

    holder.reset();
    EXPECT_EQ(BuildParsedListing(holder, {"garbage line"}, {}).Count(), 0);
}

TEST(ParsedListing, EventsSupplyOverrideAndParse) {
    struct NamesOnly : TIdFTPListItems {
        TIdFTPListFormat DetectFormat(const std::string&, bool) const override { return lfNoDetails; }
    };
    TIdFTPListEvents ev;
    TIdFTPListItems* supplied = nullptr;
    ev.OnCreateFTPList = [&](std::unique_ptr<TIdFTPListItems>& list) {
        list = std::make_unique<NamesOnly>();
        supplied = list.get();
    };
    std::string seenLine;
    TIdFTPListFormat seenFormat = lfNone;
    ev.OnCheckListFormat = [&](const std::string& line, TIdFTPListFormat& format) {
        seenLine = line;
        seenFormat = format;
    };
    std::unique_ptr<TIdFTPListItems> holder;
    TIdFTPListItems& items = BuildParsedListing(holder, {" first ", "second"}, ev);
    EXPECT_EQ(&items, supplied);
    EXPECT_EQ(seenLine, " first ");
    EXPECT_EQ(seenFormat, lfNoDetails);  // the supplied collection's own detection
    ASSERT_EQ(items.Count(), 2);
    EXPECT_EQ(items.Items(0).ItemName, "first");

    TIdFTPListEvents custom;
    custom.OnCheckListFormat = [](const std::string&, TIdFTPListFormat& format) { format = lfCustom; };
    custom.OnParseCustomListFormat = [](TIdFTPListItem& item) { item.ItemName = "c:" + item.RawLine; };
    holder.reset();
    TIdFTPListItems& c = BuildParsedListing(holder, {"-rw-r--r-- 1 a b 1 Jan 1 2000 x"}, custom);
    EXPECT_EQ(c.CurrentFormat, lfCustom);
    ASSERT_EQ(c.Count(), 1);
    EXPECT_EQ(c.Items(0).ItemName, "c:-rw-r--r-- 1 a b 1 Jan 1 2000 x");
}

TEST(ParsedListing, HandlerErrorsPropagateAndLeaveNothingCached) {
    TIdFTPListEvents ev;
    ev.OnCheckListFormat = [](const std::string&, TIdFTPListFormat&) { throw std::runtime_error("check"); };
    std::unique_ptr<TIdFTPListItems> holder;
    EXPECT_THROW(BuildParsedListing(holder, {"total 1"}, ev), std::runtime_error);
    EXPECT_FALSE(holder);

    TIdFTPListEvents create;
    create.OnCreateFTPList = [](std::unique_ptr<TIdFTPListItems>&) { throw std::runtime_error("create"); };
    EXPECT_THROW(BuildParsedListing(holder, {}, create), std::runtime_error);
    EXPECT_FALSE(holder);
}

}  // namespace
