#include "settings/ReadSettings.h"

#include <cstring>

#include "base/Failure.h"
#include "base/Release.h"

std::string ReadTextValue(SettingsKey& key, const std::string& name) {
    std::uint32_t type = 0;
    std::size_t size = 0;
    if (!key.Query(name, type, size) || size == 0) return std::string();
    if (type != RegString && type != RegExpandString) throw Failure("Invalid data type for '" + name + "'");
    std::vector<char> data;
    if (!key.Fetch(name, size, data)) throw Failure("Failed to get data for '" + name + "'");
    // The stored text need not end in a NUL; one inside it ends the text.
    const void* nul = std::memchr(data.data(), '\0', data.size());
    return std::string(data.data(), nul ? static_cast<const char*>(nul) - data.data() : data.size());
}

void ReadInstallationSettings(RunSettings& run, SettingsPlatform& platform) {
    const LeadByteTest lead = platform.LeadByte();
    run.AppPath = AddTrailingBackslash(FolderPart(platform.ProgramFile(), lead), lead);

    // Skipping the leading backslash opens the same key: the path starts at the root key.
    std::unique_ptr<SettingsKey> key = platform.OpenKey(InstallationKey + 1);
    if (!key) return;
    try {
        run.ServerPath = ReadTextValue(*key, "ServerPath");
        run.LocalPath = ReadTextValue(*key, "LocalPath");
        run.PalladoConnection = ReadTextValue(*key, "Pallado_Connection");
        run.ServerPath = AddTrailingBackslash(run.ServerPath, lead);
        run.LocalPath = AddTrailingBackslash(run.LocalPath, lead);
        run.LogRoot = AddTrailingBackslash(DirectoryPart(StripTrailingBackslash(run.LocalPath, lead), lead), lead);
        platform.CreateFolder(run.LogRoot + "Log\\");
        run.LogFileName = run.LogRoot + "Log\\" + ReleaseLabel + ".log";
    } catch (const Failure& failure) {
        throw Failure(std::string("Error in reading registry. ") + failure.what());
    }
}
