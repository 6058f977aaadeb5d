#include "base/Presence_win.h"

#include <windows.h>

namespace {

bool StationVisible() {
    USEROBJECTFLAGS flags = {};
    if (!GetUserObjectInformationA(GetProcessWindowStation(), UOI_FLAGS, &flags, sizeof flags, nullptr)) return true;
    return (flags.dwFlags & WSF_VISIBLE) != 0;
}

bool InSessionZero() {
    DWORD session = 0;
    return ProcessIdToSessionId(GetCurrentProcessId(), &session) && session == 0;
}

}  // namespace

bool SomeoneCanSee() {
    static const bool seen = StationVisible() && !InSessionZero();
    return seen;
}
