#include "tests/transport/helpers.h"

#include <arpa/inet.h>
#include <fstream>
#include <netinet/in.h>
#include <sstream>
#include <sys/socket.h>
#include <unistd.h>

int UnusedLocalPort() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    socklen_t len = sizeof sa;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len);
    ::close(fd);
    return ntohs(sa.sin_port);
}

std::string LoopbackHostName() {
    std::ifstream in("/etc/hosts");
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream ls(line);
        std::string ip, name;
        if (!(ls >> ip) || ip.rfind("127.", 0) != 0) continue;
        while (ls >> name) {
            if (name[0] == '#') break;
            std::string lower;
            for (char c : name) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            if (lower != "localhost" && lower.find('.') == std::string::npos) return name;
        }
    }
    return "";
}
