#pragma once
// Shared pieces of the FTP client tests: a recorder for statuses and control traffic, scripted
// login sequences, and file helpers for big transfers.

#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "ftp/ftp_client.h"
#include "tests/support/scripted_server.h"
#include "transport/intercept.h"

// Records the client's status texts and every command line it writes on the control connection.
struct FtpRecorder {
    std::vector<std::string> statuses;
    std::vector<std::string> sent;
    std::vector<std::string> traffic;  // both directions, for a failure message
    TIdLogEvent log;

    explicit FtpRecorder(TIdFTP& ftp) {
        ftp.OnStatus = [this](TIdComponent*, TIdStatus, const std::string& text) { statuses.push_back(text); };
        log.LogTime = false;
        log.ReplaceCRLF = false;
        log.OnSent = [this](TIdLogEvent*, const std::string&, const std::string& data) {
            std::string line = data;
            while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
            sent.push_back(line);
            traffic.push_back("> " + line);
        };
        log.OnReceived = [this](TIdLogEvent*, const std::string&, const std::string& d) {
            traffic.push_back("< " + d);
        };
        // ORLIX_FTP_TRACE=1 prints the control traffic, to see what a server really sends.
        if (std::getenv("ORLIX_FTP_TRACE")) {
            auto print = [](const char* dir, const std::string& data) {
                std::fprintf(stderr, "%s %s", dir, data.c_str());
            };
            auto received = log.OnReceived;
            log.OnReceived = [print, received](TIdLogEvent* l, const std::string& a, const std::string& d) {
                print("<", d);
                received(l, a, d);
            };
            auto sent = log.OnSent;
            log.OnSent = [print, sent](TIdLogEvent* l, const std::string& a, const std::string& d) {
                print(">", d);
                sent(l, a, d);
            };
        }
        log.SetActive(true);
        ftp.SetIntercept(&log);
    }

    // The last n lines of the control traffic.
    std::string tail(std::size_t n) const {
        std::string out;
        for (std::size_t i = traffic.size() > n ? traffic.size() - n : 0; i < traffic.size(); ++i)
            out += traffic[i] + (traffic[i].empty() || traffic[i].back() != '\n' ? "\n" : "");
        return out;
    }

    bool sentLine(const std::string& line) const {
        for (const auto& s : sent)
            if (s == line) return true;
        return false;
    }
    bool status(const std::string& text) const {
        for (const auto& s : statuses)
            if (s == text) return true;
        return false;
    }
};

// The usual greeting and login: USER u / 331 / PASS p / 230 / TYPE I / 200 / SYST / 215 /
// FEAT / 502 (a server without extensions).
inline ScriptedServer& ScriptLogin(ScriptedServer& srv) {
    return srv.sendLine("220 ready")
        .expectLine("USER u")
        .sendLine("331 password please")
        .expectLine("PASS p")
        .sendLine("230 logged in")
        .expectLine("TYPE I")
        .sendLine("200 type set")
        .expectLine("SYST")
        .sendLine("215 UNIX Type: L8")
        .expectLine("FEAT")
        .sendLine("502 Command not implemented.");
}

inline void PrepareClient(TIdFTP& ftp, int port, const std::string& user = "u", const std::string& pass = "p") {
    ftp.SetHost("127.0.0.1");
    ftp.SetPort(port);
    ftp.Username = user;
    ftp.Password = pass;
    ftp.RecvBufferSize = 4096;
    ftp.SendBufferSize = 2048;
}

// "227 Entering Passive Mode (127,0,0,1,h,l)" for a local port.
inline std::string PasvReply(int port, const std::string& host = "127,0,0,1") {
    return "227 Entering Passive Mode (" + host + "," + std::to_string(port / 256) + "," + std::to_string(port % 256) +
           ")";
}

// The port of a "PORT a,b,c,d,h,l" line, 0 when it is not one.
inline int PortFromPortLine(const std::string& line) {
    if (line.rfind("PORT ", 0) != 0) return 0;
    std::vector<int> f;
    size_t i = 5;
    while (i <= line.size()) {
        size_t c = line.find(',', i);
        if (c == std::string::npos) c = line.size();
        f.push_back(std::stoi(line.substr(i, c - i)));
        i = c + 1;
    }
    return f.size() == 6 ? f[4] * 256 + f[5] : 0;
}

inline void WriteRandomFile(const std::string& path, int64_t size, uint64_t seed = 42) {
    std::mt19937_64 gen(seed);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::vector<uint64_t> chunk(1 << 17);
    int64_t left = size;
    while (left > 0) {
        for (auto& v : chunk) v = gen();
        const int64_t n = std::min<int64_t>(left, int64_t(chunk.size() * sizeof(uint64_t)));
        out.write(reinterpret_cast<const char*>(chunk.data()), n);
        left -= n;
    }
}

inline int64_t FileSize(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? int64_t(st.st_size) : -1;
}

// True when both files hold the same bytes (compared in pieces, without loading them whole).
inline bool SameFileContent(const std::string& a, const std::string& b) {
    if (FileSize(a) != FileSize(b) || FileSize(a) < 0) return false;
    std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
    std::vector<char> ba(1 << 20), bb(1 << 20);
    while (fa && fb) {
        fa.read(ba.data(), std::streamsize(ba.size()));
        fb.read(bb.data(), std::streamsize(bb.size()));
        if (fa.gcount() != fb.gcount()) return false;
        if (!std::equal(ba.begin(), ba.begin() + fa.gcount(), bb.begin())) return false;
    }
    return true;
}

// True when the first n bytes of a equal the whole of b.
inline bool IsPrefixOf(const std::string& partial, const std::string& whole) {
    const int64_t n = FileSize(partial);
    if (n < 0 || n > FileSize(whole)) return false;
    std::ifstream fp(partial, std::ios::binary), fw(whole, std::ios::binary);
    std::vector<char> bp(1 << 20), bw(1 << 20);
    int64_t left = n;
    while (left > 0) {
        const auto k = std::streamsize(std::min<int64_t>(left, int64_t(bp.size())));
        fp.read(bp.data(), k);
        fw.read(bw.data(), k);
        if (!std::equal(bp.begin(), bp.begin() + k, bw.begin())) return false;
        left -= k;
    }
    return true;
}
