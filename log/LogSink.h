#pragma once
// Where the steps send their log lines: the upgrade log in the program, a recorder in tests.
// Each caller builds its line itself (stamp, fixed text, name) and writes it once.
#include <string>

class LogSink {
public:
    virtual ~LogSink() = default;
    virtual std::string Stamp() = 0;                    // the time stamp for a line made now
    virtual void Write(const std::string& line) = 0;    // never fails visibly
};

// The upgrade log named by a file name (WriteLog and LogStamp of SecFunc.h).
class FileLog : public LogSink {
public:
    explicit FileLog(const std::string& fileName) : fileName_(fileName) {}
    std::string Stamp() override;
    void Write(const std::string& line) override;
private:
    const std::string& fileName_;  // refers to the run settings' LogFileName, which may change
};
