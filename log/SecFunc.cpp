#include "log/SecFunc.h"

std::string RewriteFileName(const std::string& logFileName, LeadByteTest lead) {
    const std::size_t last = LastCharacter(logFileName, lead);
    if (last == std::string::npos) return logFileName;
    return logFileName.substr(0, last) + (logFileName[last] == '~' ? '_' : '~');
}
