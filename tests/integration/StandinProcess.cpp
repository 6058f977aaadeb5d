#include "tests/integration/StandinProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

std::string TdsLevel() {
    const char* level = std::getenv("TDSVER");
    return level ? level : "7.4";
}

void StandinProcess::Pause() { std::this_thread::sleep_for(std::chrono::milliseconds(20)); }

StandinProcess::StandinProcess(const std::string& folderName, const json& state)
    : dir_((fs::current_path() / ("standin-" + folderName + "-tds" + TdsLevel())).string()) {
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    std::ofstream(dir_ + "/state.json", std::ios::binary) << state.dump(2);

    const std::string portFile = dir_ + "/port";
    std::vector<std::string> args = {
        SQLSTANDIN_PATH, "--state", dir_ + "/state.json", "--journal", dir_ + "/journal.jsonl",
        "--port-file",   portFile};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, (dir_ + "/stdout.txt").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, (dir_ + "/stderr.txt").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int rc = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) throw std::runtime_error("cannot start " + args[0]);

    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < end) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            throw std::runtime_error("sqlstandin ended at start: " + ReadFile(dir_ + "/stderr.txt"));
        }
        const std::string text = ReadFile(portFile);
        if (!text.empty()) {
            port_ = std::stoi(text);
            return;
        }
        Pause();
    }
    throw std::runtime_error("sqlstandin did not write its port within 10 s");
}

StandinProcess::~StandinProcess() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < end) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) return;
        Pause();
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
}

json StandinProcess::State() const { return json::parse(ReadFile(dir_ + "/state.json")); }

std::vector<json> StandinProcess::Journal() const {
    std::vector<json> events;
    std::string text = ReadFile(dir_ + "/journal.jsonl");
    text.erase(text.find_last_of('\n') + 1);  // a line still being written
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
        if (!line.empty()) events.push_back(json::parse(line));
    return events;
}

std::vector<json> StandinProcess::Events(const std::string& event) const {
    std::vector<json> found;
    for (auto& e : Journal())
        if (e.value("event", "") == event) found.push_back(e);
    return found;
}
