#include "log/LogSink.h"
#include "log/SecFunc.h"

std::string FileLog::Stamp() { return LogStamp(); }

void FileLog::Write(const std::string& line) { WriteLog(fileName_, line); }
