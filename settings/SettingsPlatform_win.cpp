#include <windows.h>

#include "base/ProgramPath.h"
#include "base/Text.h"
#include "settings/ReadSettings.h"

namespace {

class RegistryKey : public SettingsKey {
public:
    explicit RegistryKey(HKEY key) : key_(key) {}
    ~RegistryKey() override { RegCloseKey(key_); }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    bool Query(const std::string& name, std::uint32_t& type, std::size_t& size) override {
        DWORD t = 0, n = 0;
        if (RegQueryValueExA(key_, name.c_str(), nullptr, &t, nullptr, &n) != ERROR_SUCCESS) return false;
        type = t;
        size = n;
        return true;
    }

    bool Fetch(const std::string& name, std::size_t size, std::vector<char>& data) override {
        data.assign(size, '\0');
        DWORD t = 0, n = static_cast<DWORD>(size);
        if (RegQueryValueExA(key_, name.c_str(), nullptr, &t, reinterpret_cast<BYTE*>(data.data()), &n) !=
            ERROR_SUCCESS)
            return false;
        data.resize(n);
        return true;
    }

private:
    HKEY key_;
};

class WindowsSettingsPlatform : public SettingsPlatform {
public:
    std::string ProgramFile() override { return ProgramPath(); }

    std::unique_ptr<SettingsKey> OpenKey(const std::string& path) override {
        HKEY key = nullptr;
#ifdef _WIN64
        LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | KEY_WOW64_32KEY, &key);
        if (rc == ERROR_FILE_NOT_FOUND)
            rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &key);
#else
        const LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key);
#endif
        if (rc != ERROR_SUCCESS) return nullptr;
        return std::make_unique<RegistryKey>(key);
    }

    void CreateFolder(const std::string& path) override { CreateDirectoryA(path.c_str(), nullptr); }

    LeadByteTest LeadByte() override { return AnsiLeadByte; }
};

}  // namespace

std::unique_ptr<SettingsPlatform> MakeWindowsSettingsPlatform() { return std::make_unique<WindowsSettingsPlatform>(); }
