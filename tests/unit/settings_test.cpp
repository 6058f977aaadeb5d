#include <gtest/gtest.h>

#include <map>

#include "base/Failure.h"
#include "settings/PathRules.h"
#include "settings/ReadSettings.h"
#include "text_fakes.h"

namespace {

struct Value {
    std::uint32_t type;
    std::string data;
    bool fetchFails = false;
};

class FakeKey : public SettingsKey {
public:
    FakeKey(const std::map<std::string, Value>& values, std::vector<std::string>& reads, bool& closed)
        : values_(values), reads_(reads), closed_(closed) {}
    ~FakeKey() override { closed_ = true; }
    bool Query(const std::string& name, std::uint32_t& type, std::size_t& size) override {
        reads_.push_back(name);
        auto it = values_.find(name);
        if (it == values_.end()) return false;
        type = it->second.type;
        size = it->second.data.size();
        return true;
    }
    bool Fetch(const std::string& name, std::size_t size, std::vector<char>& data) override {
        const Value& v = values_.at(name);
        if (v.fetchFails) return false;
        data.assign(v.data.begin(), v.data.begin() + size);
        return true;
    }

private:
    const std::map<std::string, Value>& values_;
    std::vector<std::string>& reads_;
    bool& closed_;
};

class FakePlatform : public SettingsPlatform {
public:
    std::string programPath = "D:\\Release\\Setup.exe";
    bool keyPresent = true;
    std::map<std::string, Value> values;
    std::vector<std::string> reads, folders;
    std::string openedPath;
    bool keyClosed = false;
    LeadByteTest lead = SingleByteCodePage;

    std::string ProgramFile() override { return programPath; }
    std::unique_ptr<SettingsKey> OpenKey(const std::string& path) override {
        openedPath = path;
        if (!keyPresent) return nullptr;
        return std::make_unique<FakeKey>(values, reads, keyClosed);
    }
    void CreateFolder(const std::string& path) override { folders.push_back(path); }
    LeadByteTest LeadByte() override { return lead; }
};

Value Sz(const std::string& s) { return {RegString, s + std::string(1, '\0')}; }

}  // namespace

TEST(PathRules, LogRootAndLogFileOfEveryWorkedExample) {
    struct Row {
        const char* value;
        const char* localPath;
        const char* logRoot;
    };
    const Row rows[] = {
        {"C:\\Prog\\Client", "C:\\Prog\\Client\\", "C:\\Prog\\"},
        {"C:\\Prog\\Client\\", "C:\\Prog\\Client\\", "C:\\Prog\\"},
        {"C:\\Client", "C:\\Client\\", "C:\\"},
        {"C:\\", "C:\\", "C:\\"},
        {"\\\\srv\\share\\Client", "\\\\srv\\share\\Client\\", "\\\\srv\\share\\"},
        {"Client", "Client\\", "\\"},
        {"", "\\", "\\"},
        {"C:/Prog/Client", "C:/Prog/Client\\", "C:\\"},
        {"\\Client", "\\Client\\", "\\"},
        {"C:", "C:\\", "C:\\"},
    };
    for (const Row& r : rows) {
        const std::string local = AddTrailingBackslash(r.value);
        EXPECT_EQ(local, r.localPath) << r.value;
        EXPECT_EQ(AddTrailingBackslash(DirectoryPart(StripTrailingBackslash(local))), r.logRoot) << r.value;
    }
}

TEST(PathRules, FolderAndFileNameParts) {
    EXPECT_EQ(FolderPart("D:\\Release\\Setup.exe"), "D:\\Release\\");
    EXPECT_EQ(FolderPart("C:Setup.exe"), "C:");
    EXPECT_EQ(FolderPart("Setup.exe"), "");
    EXPECT_EQ(FileNamePart("D:\\Release\\Upgrade 2.1.27.exe"), "Upgrade 2.1.27.exe");
    EXPECT_EQ(FileNamePart("C:Setup.exe"), "Setup.exe");
    EXPECT_EQ(StripTrailingBackslash("C:\\\\"), "C:\\");  // only one
    EXPECT_EQ(StripTrailingBackslash("C:\\x"), "C:\\x");
    EXPECT_EQ(DirectoryPart("\\\\X"), "\\\\");  // a UNC root keeps both backslashes
}

TEST(PathRules, TrailByte5CIsNotASeparatorInDoubleByteCodePages) {
    const std::string so = "\x83\x5C";  // one character whose second byte is 0x5C
    EXPECT_FALSE(EndsInBackslash("C:\\" + so, ShiftJisLead));
    EXPECT_TRUE(EndsInBackslash("C:\\" + so));  // read as single bytes it would end in one
    EXPECT_EQ(AddTrailingBackslash("C:\\" + so, ShiftJisLead), "C:\\" + so + "\\");
    EXPECT_EQ(StripTrailingBackslash("C:\\" + so, ShiftJisLead), "C:\\" + so);
    EXPECT_EQ(FolderPart("C:\\" + so + "x", ShiftJisLead), "C:\\");
    EXPECT_EQ(DirectoryPart("C:\\Prog\\" + so, ShiftJisLead), "C:\\Prog");
    // A backslash right after a double-byte character ending in 0x5C is not a root's.
    EXPECT_EQ(DirectoryPart("C:\\" + so + "\\Client", ShiftJisLead), "C:\\" + so);
}

TEST(ReadSettings, FillsEverySettingFromTheKey) {
    FakePlatform p;
    p.values = {{"ServerPath", Sz("\\\\srv\\Quiln")},
                {"LocalPath", {RegExpandString, std::string("%SystemDrive%\\Prog\\Client\0junk", 31)}},
                {"Pallado_Connection", Sz("SQL01\\INST")}};
    RunSettings run;
    ReadInstallationSettings(run, p);
    EXPECT_EQ(p.openedPath, "SOFTWARE\\Corvessa\\Quiln-Ostrel");
    EXPECT_EQ(run.AppPath, "D:\\Release\\");
    EXPECT_EQ(run.ServerPath, "\\\\srv\\Quiln\\");
    EXPECT_EQ(run.LocalPath, "%SystemDrive%\\Prog\\Client\\");  // unexpanded, cut at the NUL
    EXPECT_EQ(run.LogRoot, "%SystemDrive%\\Prog\\");
    EXPECT_EQ(run.PalladoConnection, "SQL01\\INST");
    EXPECT_EQ(run.LogFileName, "%SystemDrive%\\Prog\\Log\\2.1.27.log");
    EXPECT_EQ(p.folders, std::vector<std::string>{"%SystemDrive%\\Prog\\Log\\"});
    EXPECT_EQ(p.reads, (std::vector<std::string>{"ServerPath", "LocalPath", "Pallado_Connection"}));
    EXPECT_TRUE(p.keyClosed);
}

TEST(ReadSettings, AbsentKeySetsOnlyAppPath) {
    FakePlatform p;
    p.keyPresent = false;
    RunSettings run;
    ReadInstallationSettings(run, p);
    EXPECT_EQ(run.AppPath, "D:\\Release\\");
    EXPECT_EQ(run.LocalPath + run.ServerPath + run.LogRoot + run.PalladoConnection + run.LogFileName, "");
    EXPECT_TRUE(p.folders.empty());
}

TEST(ReadSettings, AbsentAndZeroLengthValuesReadAsEmpty) {
    FakePlatform p;
    p.values = {{"ServerPath", {4, ""}}, {"Pallado_Connection", {3, ""}}};  // DWORD and BINARY, no data
    RunSettings run;
    ReadInstallationSettings(run, p);
    EXPECT_EQ(run.ServerPath, "\\");
    EXPECT_EQ(run.LocalPath, "\\");
    EXPECT_EQ(run.LogRoot, "\\");
    EXPECT_EQ(run.PalladoConnection, "");
    EXPECT_EQ(run.LogFileName, "\\Log\\2.1.27.log");
}

TEST(ReadSettings, FailuresAreWrappedAndStopTheReading) {
    struct Case {
        std::map<std::string, Value> values;
        const char* message;
        const char* serverPath;
        std::size_t reads;
    };
    // clang-format off
    const Case cases[] = {
        {{{"ServerPath", {4, std::string("\x01\0\0\0", 4)}}, {"LocalPath", Sz("C:\\P\\C")}},
         "Error in reading registry. Invalid data type for 'ServerPath'", "", 1},
        {{{"ServerPath", Sz("S")}, {"LocalPath", {7, std::string("a\0\0", 3)}}},
         "Error in reading registry. Invalid data type for 'LocalPath'", "S", 2},
        {{{"ServerPath", Sz("S")}, {"LocalPath", Sz("L")}, {"Pallado_Connection", {RegString, "x", true}}},
         "Error in reading registry. Failed to get data for 'Pallado_Connection'", "S", 3},
    };
    // clang-format on
    for (const Case& c : cases) {
        FakePlatform p;
        p.values = c.values;
        RunSettings run;
        try {
            ReadInstallationSettings(run, p);
            ADD_FAILURE() << "no failure for " << c.message;
        } catch (const Failure& f) {
            EXPECT_STREQ(f.what(), c.message);
        }
        EXPECT_EQ(run.ServerPath, c.serverPath);  // read before the failure: raw, no backslash added
        EXPECT_EQ(run.LogFileName, "");
        EXPECT_TRUE(p.folders.empty());
        EXPECT_EQ(p.reads.size(), c.reads);
        EXPECT_TRUE(p.keyClosed);
    }
}
