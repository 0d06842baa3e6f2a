// Real-world listing lines (tests/ftp/listing_corpus.txt) and random input against the parser.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "ftp/list_items.h"
#include "ftp/list_parsed.h"

namespace {

struct CorpusCase {
    int lineNo = 0;
    std::string title;
    TListDate today;
    std::map<std::string, std::string> fields;
};

TListDate ParseDay(const std::string& s) {
    TListDate d;
    std::sscanf(s.c_str(), "%d-%d-%d", &d.Year, &d.Month, &d.Day);
    return d;
}

std::vector<CorpusCase> LoadCorpus(std::string& error) {
    const char* root = std::getenv("ORLIX_SOURCE_DIR");
    const std::string path = std::string(root ? root : ".") + "/tests/ftp/listing_corpus.txt";
    std::ifstream in(path);
    if (!in) {
        error = "cannot open " + path;
        return {};
    }
    std::vector<CorpusCase> cases;
    TListDate today{2026, 12, 8};
    std::string text;
    for (int n = 1; std::getline(in, text); ++n) {
        if (text.empty() || text[0] == '#') continue;
        const size_t colon = text.find(':');
        if (colon == std::string::npos) {
            error = "line " + std::to_string(n) + ": no key";
            return {};
        }
        const std::string key = text.substr(0, colon);
        const std::string value = colon + 2 <= text.size() ? text.substr(colon + 2) : std::string();
        if (key == "today") {
            today = ParseDay(value);
        } else if (key == "case") {
            cases.push_back(CorpusCase{n, value, today, {}});
        } else if (cases.empty()) {
            error = "line " + std::to_string(n) + ": field before the first case";
            return {};
        } else {
            cases.back().fields[key] = value;
        }
    }
    return cases;
}

const char* FormatName(TIdFTPListFormat f) {
    switch (f) {
        case lfNone:
            return "none";
        case lfDos:
            return "dos";
        case lfUnix:
            return "unix";
        case lfDsk:
            return "dsk";
        case lfNoDetails:
            return "nodetails";
        case lfUnknown:
            return "unknown";
        case lfCustom:
            return "custom";
        case lfMlsd:
            return "mlsd";
    }
    return "?";
}

const char* KindName(TIdDirItemType k) { return k == itDirectory ? "dir" : k == itLink ? "link" : "file"; }

TEST(ListingCorpus, EveryLineGivesItsExpectedItem) {
    std::string error;
    const std::vector<CorpusCase> cases = LoadCorpus(error);
    ASSERT_TRUE(error.empty()) << error;
    ASSERT_GE(cases.size(), 40u);

    for (const CorpusCase& c : cases) {
        SCOPED_TRACE("corpus line " + std::to_string(c.lineNo) + ": " + c.title);
        auto field = [&](const char* k) -> const std::string* {
            auto it = c.fields.find(k);
            return it == c.fields.end() ? nullptr : &it->second;
        };
        ASSERT_NE(field("line"), nullptr);
        const std::string& line = *field("line");
        const bool details = !(field("details") && *field("details") == "no");

        TIdFTPListItems items;
        items.SetToday(c.today.Year, c.today.Month, c.today.Day);
        items.CurrentFormat = items.DetectFormat(line, details);
        if (const std::string* f = field("format")) {
            EXPECT_EQ(FormatName(items.CurrentFormat), *f);
        }
        items.LoadList({line});

        const int expectedCount = field("items") ? std::atoi(field("items")->c_str()) : 1;
        ASSERT_EQ(items.Count(), expectedCount);
        if (expectedCount == 0) continue;
        const TIdFTPListItem& it = items.Items(0);
        EXPECT_EQ(it.RawLine, line);
        if (const std::string* v = field("kind")) {
            EXPECT_EQ(KindName(it.Kind), *v);
        }
        if (const std::string* v = field("name")) {
            EXPECT_EQ(it.ItemName, *v);
        }
        if (const std::string* v = field("size")) {
            EXPECT_EQ(it.ItemSize, std::stoll(*v));
        }
        if (const std::string* v = field("target")) {
            EXPECT_EQ(it.LinkTarget, *v);
        }
        if (const std::string* v = field("owner")) {
            EXPECT_EQ(it.Owner, *v);
        }
        if (const std::string* v = field("group")) {
            EXPECT_EQ(it.Group, *v);
        }
        if (const std::string* v = field("links")) {
            EXPECT_EQ(it.LinkCount, std::stoi(*v));
        }
        if (const std::string* v = field("rights")) {
            EXPECT_EQ(it.OwnerRights + " " + it.GroupRights + " " + it.OtherRights, *v);
        }
        if (const std::string* v = field("date")) {
            if (*v == "none")
                EXPECT_EQ(it.Modified, 0.0);
            else
                EXPECT_EQ(FormatListDateTime(it.Modified), *v);
        }
    }
}

// The whole corpus as one Unix listing: the Unix lines all survive together, behind a total line.
TEST(ListingCorpus, UnixLinesTogetherFormOneListing) {
    std::string error;
    const std::vector<CorpusCase> cases = LoadCorpus(error);
    ASSERT_TRUE(error.empty()) << error;
    std::vector<std::string> lines{"total 1234"};
    TIdFTPListItems probe;
    for (const CorpusCase& c : cases) {
        const std::string& line = c.fields.at("line");
        if (probe.DetectFormat(line, true) == lfUnix && c.fields.count("items") == 0) lines.push_back(line);
    }
    ASSERT_GE(lines.size(), 30u);
    TIdFTPListEvents ev;
    ev.OnCreateFTPList = [](std::unique_ptr<TIdFTPListItems>& list) {
        list = std::make_unique<TIdFTPListItems>();
        list->SetToday(2026, 12, 8);
    };
    std::unique_ptr<TIdFTPListItems> holder;
    TIdFTPListItems& items = BuildParsedListing(holder, lines, ev);
    EXPECT_EQ(items.CurrentFormat, lfUnix);
    EXPECT_EQ(items.Count(), static_cast<int>(lines.size()) - 1);
}

// Random bytes and shuffled fragments of real lines: nothing may crash or throw.
TEST(ListingRobustness, RandomInputNeverCrashesOrThrows) {
    const std::vector<std::string> seeds = {
        "-rw-r--r--    1 1002     1002            2 Dec 08 03:09 file.txt",
        "lrwxrwxrwx   1 tester   tester         11 Mar  3  2003 www -> public_html",
        "crw-rw-rw-   1 root     root       1,   3 Jan 12  2003 null",
        "drwxrwxrwx               folder        2 May 10  1996 network",
        "01-23-03  10:15AM       <DIR>          docs",
        "04-14-00  03:47PM                  589 readme.htm",
        "total 24",
        "DSK: x 1 2 Jan 1 10:00 y",
        "-rwxrwxrwx 0owner group 1 Jan 1 1:1 z",
        "",
        " \t ",
    };
    const std::string alphabet = "-drwxlLDcbps0123456789:,/ <>DIRAMPtotalJanFebDecDSK\t\r\n\x80\xff";
    std::mt19937 rng(20261208);
    auto pick = [&](size_t n) { return static_cast<size_t>(rng() % n); };

    for (int iter = 0; iter < 3000; ++iter) {
        std::vector<std::string> lines;
        const size_t count = pick(6);
        for (size_t i = 0; i < count; ++i) {
            std::string line;
            switch (pick(4)) {
                case 0: {  // random bytes
                    const size_t len = pick(80);
                    for (size_t k = 0; k < len; ++k) line.push_back(static_cast<char>(rng() & 0xff));
                    break;
                }
                case 1: {  // characters the rules look at
                    const size_t len = pick(70);
                    for (size_t k = 0; k < len; ++k) line.push_back(alphabet[pick(alphabet.size())]);
                    break;
                }
                default: {  // a real line, cut, mutated or spliced
                    line = seeds[pick(seeds.size())];
                    const size_t edits = pick(5);
                    for (size_t e = 0; e < edits && !line.empty(); ++e) {
                        const size_t pos = pick(line.size());
                        switch (pick(4)) {
                            case 0:
                                line[pos] = alphabet[pick(alphabet.size())];
                                break;
                            case 1:
                                line.erase(pos, pick(8));
                                break;
                            case 2:
                                line.insert(pos, seeds[pick(seeds.size())].substr(0, pick(20)));
                                break;
                            default:
                                line.resize(pos);
                                break;
                        }
                    }
                }
            }
            lines.push_back(line);
        }

        TIdFTPListItems items;
        items.SetToday(2026, 1 + static_cast<int>(pick(12)), 1 + static_cast<int>(pick(28)));
        for (bool details : {true, false}) {
            for (const std::string& l : lines) EXPECT_NO_THROW(items.DetectFormat(l, details));
        }
        for (int f = lfNone; f <= lfCustom; ++f) {
            items.CurrentFormat = static_cast<TIdFTPListFormat>(f);
            ASSERT_NO_THROW(items.LoadList(lines));
            ASSERT_LE(items.Count(), static_cast<int>(lines.size()));
            for (int i = 0; i < items.Count(); ++i) {
                const TIdFTPListItem& it = items.Items(i);
                ASSERT_FALSE(it.RawLine.empty());
                ASSERT_TRUE(it.Kind == itDirectory || it.Kind == itFile || it.Kind == itLink);
                (void)FormatListDateTime(it.Modified);
            }
        }
        std::unique_ptr<TIdFTPListItems> holder;
        ASSERT_NO_THROW(BuildParsedListing(holder, lines, {}));
    }
}

}  // namespace
