#include "tools/Journal.h"

#include <chrono>
#include <ctime>
#include <stdexcept>

Journal::Journal(const std::string& path) : file_(std::fopen(path.c_str(), "ab")) {
    if (!file_) throw std::runtime_error("cannot open the journal " + path);
}

Journal::~Journal() { std::fclose(file_); }

void Journal::Write(nlohmann::json event) {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t secs = system_clock::to_time_t(now);
    const long ms = static_cast<long>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
    std::tm tm{};
    gmtime_r(&secs, &tm);
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02dT%02d:%02d:%02d.%03ldZ", tm.tm_year + 1900, tm.tm_mon + 1,
                  tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, ms);

    std::lock_guard<std::mutex> lock(mutex_);
    event["seq"] = ++seq_;
    event["time"] = stamp;
    const std::string line = event.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    std::fwrite(line.data(), 1, line.size(), file_);
    std::fflush(file_);
}
