#pragma once
// Installation settings: AppPath from the running program, ServerPath, LocalPath and the server
// name from the installation's registry key, LogRoot and LogFileName derived from LocalPath.
// The key is only read, never created; it is closed on every path.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "settings/PathRules.h"
#include "settings/RunSettings.h"

// The installation's key under HKEY_LOCAL_MACHINE, as the program holds it: the leading
// backslash means "from the root key".
inline constexpr char InstallationKey[] = "\\SOFTWARE\\Corvessa\\Quiln-Ostrel";

// Registry value types the reading rule tells apart.
enum : std::uint32_t { RegString = 1, RegExpandString = 2 };

// An open registry key; closes itself when destroyed.
class SettingsKey {
public:
    virtual ~SettingsKey() = default;
    // False when the value is absent; otherwise its type and the size of its data in bytes.
    virtual bool Query(const std::string& name, std::uint32_t& type, std::size_t& size) = 0;
    // Fetches the value's data, at most size bytes (fewer when it shrank since the query); false
    // when they cannot be fetched.
    virtual bool Fetch(const std::string& name, std::size_t size, std::vector<char>& data) = 0;
};

class SettingsPlatform {
public:
    virtual ~SettingsPlatform() = default;
    virtual std::string ProgramFile() = 0;  // full path of the running program's file
    // Opens the key read-only under HKEY_LOCAL_MACHINE; null when it cannot be opened.
    virtual std::unique_ptr<SettingsKey> OpenKey(const std::string& path) = 0;
    virtual void CreateFolder(const std::string& path) = 0;  // one level; the outcome is not used
    virtual LeadByteTest LeadByte() = 0;
};

// Reads one text value by the reading rule: absent or zero-length -> empty; REG_SZ and
// REG_EXPAND_SZ -> the text up to the first NUL, unexpanded; any other type -> Failure.
std::string ReadTextValue(SettingsKey& key, const std::string& name);

// Fills run's installation settings. A failure while reading the key leaves as
// Failure("Error in reading registry. " + cause); settings read before it keep their raw text.
void ReadInstallationSettings(RunSettings& run, SettingsPlatform& platform);

// The Windows implementation (registry, module path, folders, the ANSI code page). The 32-bit
// build reads the registry view it sees as any 32-bit program does. The 64-bit build reads the
// 32-bit view first, where the product's 32-bit installation writes the key, and the native
// view only when the key is absent there: on a system that runs no 32-bit programs, the
// installation writes the native view.
std::unique_ptr<SettingsPlatform> MakeWindowsSettingsPlatform();
