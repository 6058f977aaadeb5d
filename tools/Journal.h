#pragma once
// The stand-in's journal: one JSON object per line, appended and flushed per event, safe to call
// from every connection's thread. Each line carries "seq" (1, 2, ...), "time" (UTC, ms) and the
// caller's fields; strings that are not valid UTF-8 are written with U+FFFD in their place.
#include <cstdio>
#include <mutex>
#include <string>

#include <nlohmann/json.hpp>

class Journal {
public:
    explicit Journal(const std::string& path);  // throws std::runtime_error when it cannot open
    ~Journal();
    Journal(const Journal&) = delete;
    Journal& operator=(const Journal&) = delete;

    void Write(nlohmann::json event);

private:
    std::mutex mutex_;
    std::FILE* file_ = nullptr;
    long long seq_ = 0;
};
