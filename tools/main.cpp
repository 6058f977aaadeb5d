// sqlstandin: a SQL Server stand-in for tests and the demo. See Standin.h and World.h.
//
//   sqlstandin --state FILE --journal FILE [--port N] [--port-file FILE] [--demo]
//   sqlstandin --print-schema-batch
//
// Listens on 127.0.0.1:N (0 or absent: a free port), then writes the port to --port-file
// (atomically) and prints it as one line on standard output. --demo first writes the demo world
// into the state file. Stops on SIGTERM or SIGINT, closing the open connections.
// --print-schema-batch writes the schema-change batch it recognises, byte for byte, and exits.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "tools/SchemaBatch.h"
#include "tools/Standin.h"

namespace {

int stopPipe[2] = {-1, -1};

void OnStopSignal(int) {
    const char byte = 1;
    ssize_t ignored = write(stopPipe[1], &byte, 1);
    (void)ignored;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: sqlstandin --state FILE --journal FILE [--port N] [--port-file FILE] [--demo]\n"
                 "       sqlstandin --print-schema-batch\n");
    return 2;
}

void WritePortFile(const std::string& path, int port) {
    const std::string tmp = path + ".tmp";
    {
        std::ofstream out(tmp, std::ios::trunc);
        out << port << "\n";
        if (!out.flush()) throw std::runtime_error("cannot write " + tmp);
    }
    if (std::rename(tmp.c_str(), path.c_str()) != 0) throw std::runtime_error("cannot replace " + path);
}

// The open connections, so that a stop can end them and wait for their threads.
class Connections {
public:
    void Add(int fd) {
        std::lock_guard<std::mutex> lock(mutex_);
        fds_.insert(fd);
    }
    void Remove(int fd) {
        std::lock_guard<std::mutex> lock(mutex_);
        fds_.erase(fd);
        changed_.notify_all();
    }
    // Shuts every connection down and waits (bounded) for their threads; true when all ended.
    bool CloseAll(std::chrono::seconds limit) {
        std::unique_lock<std::mutex> lock(mutex_);
        for (int fd : fds_) shutdown(fd, SHUT_RDWR);
        return changed_.wait_for(lock, limit, [this] { return fds_.empty(); });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::set<int> fds_;
};

}  // namespace

int main(int argc, char** argv) {
    std::string statePath, journalPath, portFile;
    int port = 0;
    bool demo = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--print-schema-batch") {
            std::fwrite(SchemaChangeBatch().data(), 1, SchemaChangeBatch().size(), stdout);
            return 0;
        } else if (arg == "--demo") {
            demo = true;
        } else if (arg == "--state" && hasValue) {
            statePath = argv[++i];
        } else if (arg == "--journal" && hasValue) {
            journalPath = argv[++i];
        } else if (arg == "--port-file" && hasValue) {
            portFile = argv[++i];
        } else if (arg == "--port" && hasValue) {
            port = std::atoi(argv[++i]);
        } else {
            return Usage();
        }
    }
    if (statePath.empty() || journalPath.empty() || port < 0 || port > 65535) return Usage();

    try {
        if (demo) SaveWorld(DemoWorld(), statePath);
        Journal journal(journalPath);
        Standin server(statePath, journal);

        const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int yes = 1;
        setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<uint16_t>(port));
        socklen_t size = sizeof address;
        if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            listen(listener, 16) != 0 || getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) != 0)
            throw std::runtime_error(std::string("cannot listen: ") + std::strerror(errno));
        port = ntohs(address.sin_port);

        if (pipe2(stopPipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
        struct sigaction action {};
        action.sa_handler = OnStopSignal;
        sigaction(SIGTERM, &action, nullptr);
        sigaction(SIGINT, &action, nullptr);
        signal(SIGPIPE, SIG_IGN);

        journal.Write({{"event", "start"}, {"port", port}});
        if (!portFile.empty()) WritePortFile(portFile, port);
        std::printf("%d\n", port);
        std::fflush(stdout);

        Connections connections;
        long nextConnection = 1;
        for (;;) {
            pollfd fds[2] = {{listener, POLLIN, 0}, {stopPipe[0], POLLIN, 0}};
            if (poll(fds, 2, -1) < 0) {
                if (errno == EINTR) continue;
                throw std::runtime_error("poll failed");
            }
            if (fds[1].revents) break;
            if (!(fds[0].revents & POLLIN)) continue;
            const int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) continue;
            server.ReloadWorld();
            connections.Add(fd);
            const long id = nextConnection++;
            std::thread([&server, &connections, fd, id] {
                server.Serve(fd, id);
                connections.Remove(fd);
                close(fd);
            }).detach();
        }
        close(listener);
        const bool allEnded = connections.CloseAll(std::chrono::seconds(5));
        journal.Write({{"event", "stop"}, {"all_connections_ended", allEnded}});
        if (!allEnded) {
            std::fflush(nullptr);
            _exit(1);
        }
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "sqlstandin: %s\n", error.what());
        return 1;
    }
}
