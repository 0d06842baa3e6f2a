// Every data file when the program is killed (SIGKILL) while it saves it: a child saves two
// versions in turn until it is killed at a random moment, many times over. Afterwards the file
// is always one complete version (the one before or one saved) and loads cleanly.

#include <signal.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <random>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "settings/program_settings.h"
#include "sites/site_options.h"
#include "sites/site_table.h"
#include "sites/trusted_certificates.h"
#include "tests/sites/state_test_util.h"
#include "transfer/queue_model.h"

namespace {

namespace fs = std::filesystem;

TSiteTable Sites(int version, int count) {
    TSiteTable t;
    for (int i = 0; i < count; ++i) {
        const int k = t.AddSite();
        t.SetSiteName(k, "site " + std::to_string(i));
        t.Site(k).Host = "host" + std::to_string(i) + ".v" + std::to_string(version);
    }
    t.SetCurrentSite(0);
    return t;
}

struct TQueueState {
    TSiteTable Table = Sites(0, 1);
    TTransferQueue Queue;
    explicit TQueueState(int version) {
        Table.SetPairedSlots(&Queue.Stores());
        Queue.Stores().SitesLoaded({"site 0"});
        for (int i = 0; i < 3000; ++i) {
            TQueueInfo e;
            e.FileName = "file " + std::to_string(i) + " v" + std::to_string(version);
            e.LocalPath = "/home/u/";
            e.RemotePath = "/pub/";
            e.Process = "Download";
            e.FileSize = i;
            Queue.AppendEntry(e);
        }
    }
};

TProgramSettings Settings(int version) {
    TProgramSettings s;
    s.Status.SoundConnected = "/sounds/" + std::to_string(version) + ".wav";
    s.Status.RecvBufferSize = 1000 + version;
    return s;
}

TTrustedCertificateStore Certificates(int version) {
    TTrustedCertificateStore store;
    for (int i = 0; i < 1000; ++i)
        store.Put({"host" + std::to_string(i),
                   21,
                   std::string(63, 'a') + static_cast<char>('0' + version),
                   "CN=v" + std::to_string(version),
                   {}});
    return store;
}

struct TFileCase {
    const char* FileName;
    std::function<std::string(int)> Encode;                    // the bytes a save of the version writes
    std::function<void(const std::string&, int)> Save;         // saves the version into the folder
    std::function<std::string(const std::string&)> LoadError;  // loads with fresh objects; the message
};

std::vector<TFileCase> Cases() {
    return {
        {TSiteTable::FileName, [](int v) { return Sites(v, 2000).EncodeFile(); },
         [](const std::string& d, int v) { Sites(v, 2000).Save(d); },
         [](const std::string& d) { return TSiteTable().Load(d).Message; }},
        {TProgramSettings::FileName,
         [](int v) { return Settings(v).MakeRecord(Sites(v, 1), "/local/" + std::to_string(v)).Encode(); },
         [](const std::string& d, int v) { Settings(v).Save(d, Sites(v, 1), "/local/" + std::to_string(v)); },
         [](const std::string& d) {
             TSiteTable t = Sites(0, 1);
             return TProgramSettings().Load(d, t).Message;
         }},
        {TTransferQueue::FileName,
         [](int v) {
             TQueueState s(v);
             s.Queue.StoreLiveQueue("site 0");
             return s.Queue.EncodeQueueFile(s.Table);
         },
         [](const std::string& d, int v) {
             TQueueState s(v);
             s.Queue.SaveQueueFiles(d, s.Table);
         },
         [](const std::string& d) { return TTransferQueue().LoadQueueFile(d, std::nullopt).Message; }},
        {TSiteOptionsFile::FileName,
         [](int v) {
             TSiteOptionsFile f;
             f.Defaults.KeepAliveSeconds = 10 + v;
             return f.EncodeFile(Sites(v, 3000));
         },
         [](const std::string& d, int v) {
             TSiteOptionsFile f;
             f.Defaults.KeepAliveSeconds = 10 + v;
             f.Save(d, Sites(v, 3000));
         },
         [](const std::string& d) {
             TSiteTable t;
             return TSiteOptionsFile().Load(d, t).Message;
         }},
        {TTrustedCertificateStore::FileName, [](int v) { return Certificates(v).EncodeFile(); },
         [](const std::string& d, int v) { Certificates(v).Save(d); },
         [](const std::string& d) { return TTrustedCertificateStore().Load(d); }},
    };
}

// The save's temporary files left in the folder.
std::vector<std::string> Leftovers(const std::string& dir, const std::string& fileName) {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(dir)) {
        const std::string name = e.path().filename().string();
        if (name.rfind("." + std::string(fileName) + ".", 0) == 0) out.push_back(e.path().string());
    }
    return out;
}

TEST(SaveKilled, EveryDataFileIsOneWholeVersionAfterAKillInItsSave) {
    std::mt19937 random(12345);
    int midSave = 0;
    for (const TFileCase& c : Cases()) {
        SCOPED_TRACE(c.FileName);
        TTempDir dir;
        const std::string path = dir.File(c.FileName);
        c.Save(dir.Path, 0);
        const std::set<std::string> versions = {c.Encode(0), c.Encode(1), c.Encode(2)};
        // How long one save takes: the kills fall anywhere in a few of them.
        const auto t0 = std::chrono::steady_clock::now();
        c.Save(dir.Path, 0);
        const auto saveMicros =
            std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - t0).count();

        int leftBehind = 0;
        for (int round = 0; round < 40; ++round) {
            const pid_t child = ::fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                for (int i = 1;; ++i) c.Save(dir.Path, 1 + i % 2);
            }
            const std::size_t before = Leftovers(dir.Path, c.FileName).size();
            ::usleep(static_cast<useconds_t>(std::uniform_int_distribution<long>(0, 3 * saveMicros + 200)(random)));
            ::kill(child, SIGKILL);
            int status = 0;
            ASSERT_EQ(::waitpid(child, &status, 0), child);
            ASSERT_TRUE(WIFSIGNALED(status));

            ASSERT_TRUE(versions.count(ReadBytes(path))) << "round " << round << ": not one whole version";
            ASSERT_EQ(c.LoadError(dir.Path), "") << "round " << round;
            if (Leftovers(dir.Path, c.FileName).size() > before) ++leftBehind;
        }
        std::printf("%s: %d of 40 kills inside a save (one save %lld us)\n", c.FileName, leftBehind,
                    static_cast<long long>(saveMicros));
        midSave += leftBehind;

        // What killed saves left behind goes with the next save once it is surely no live save's.
        const std::vector<std::string> left = Leftovers(dir.Path, c.FileName);
        for (const std::string& f : left) {
            const timeval old[2] = {{::time(nullptr) - 600, 0}, {::time(nullptr) - 600, 0}};
            ::utimes(f.c_str(), old);
        }
        c.Save(dir.Path, 0);
        EXPECT_TRUE(Leftovers(dir.Path, c.FileName).empty());
        EXPECT_EQ(ReadBytes(path), c.Encode(0));
    }
    // Some kills did land inside a save (its temporary file was there).
    EXPECT_GT(midSave, 0);
}

}  // namespace
