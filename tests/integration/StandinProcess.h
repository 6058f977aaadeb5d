#pragma once
// One sqlstandin process for one test: it gets a fresh folder (under the current directory, named
// after the test and the TDS level)
// holding its state file and journal, listens on a free port, and is stopped with SIGTERM
// (SIGKILL after a bounded wait) when the object goes. Construction fails the test through
// an exception when the process does not come up within its time limit.
#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

// The TDS level the suite runs at (FreeTDS's TDSVER): "7.4" or "7.1".
std::string TdsLevel();

class StandinProcess {
public:
    StandinProcess(const std::string& folderName, const nlohmann::json& state);
    ~StandinProcess();
    StandinProcess(const StandinProcess&) = delete;
    StandinProcess& operator=(const StandinProcess&) = delete;

    int port() const { return port_; }
    std::string Server() const { return "127.0.0.1," + std::to_string(port_); }

    nlohmann::json State() const;  // the state file as it is now
    std::vector<nlohmann::json> Journal() const;
    std::vector<nlohmann::json> Events(const std::string& event) const;
    // Waits (bounded) until the journal holds an event for which match is true; returns it, or
    // null when the time ran out.
    template <class Match>
    nlohmann::json WaitForEvent(const std::string& event, Match match,
                                std::chrono::milliseconds limit = std::chrono::seconds(5)) const {
        const auto end = std::chrono::steady_clock::now() + limit;
        do {
            for (const auto& e : Events(event))
                if (match(e)) return e;
            Pause();
        } while (std::chrono::steady_clock::now() < end);
        return nullptr;
    }

private:
    static void Pause();
    std::string dir_;
    pid_t pid_ = -1;
    int port_ = 0;
};
