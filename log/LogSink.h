#pragma once
// Where the steps send their log lines: the upgrade log in the program, a recorder in tests.
// A line is written whole, or as an event: the time stamp, " - " and the event's text.
#include <string>
#include <utility>

class LogSink {
public:
    virtual ~LogSink() = default;
    virtual std::string Stamp() = 0;                  // the time stamp for a line made now
    virtual void Write(const std::string& line) = 0;  // never fails visibly
    void WriteEvent(const std::string& text) { Write(Stamp() + " - " + text); }
};

// The upgrade log of the given file name (WriteLog and LogStamp of SecFunc.h); an empty name
// writes nothing.
class FileLog : public LogSink {
public:
    explicit FileLog(std::string fileName = std::string()) : fileName_(std::move(fileName)) {}
    std::string Stamp() override;
    void Write(const std::string& line) override;

private:
    std::string fileName_;
};
