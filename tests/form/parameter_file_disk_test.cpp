// Parameter files on a POSIX disk: missing, unreadable and oversize files,
// atomic replacement with permissions kept, failed saves.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <future>

#include "form/parameter_file.h"
#include "tests/form/parameter_file_helpers.h"

namespace quill {
namespace {

using namespace test;
using namespace std::chrono_literals;

// A fresh folder for each test, removed afterwards.
class ParameterFileOnDisk : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::path(::testing::TempDir()) / "quillmere-params-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        folder = pattern;
    }
    void TearDown() override {
        fs::permissions(folder, fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(folder);
    }
    std::vector<std::string> Entries() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    fs::path folder;
};

TEST_F(ParameterFileOnDisk, MissingUnreadableAndOversizeFilesLoadNothing) {
    const std::string missing = (folder / "none.json").string();
    EXPECT_EQ(LoadParameterFile(missing).problems,
              (Problems{{"", "无法读取参数文件：" + missing + "（文件或文件夹不存在）"}}));
    EXPECT_EQ(LoadParameterFile(folder.string()).problems,
              (Problems{{"", "无法读取参数文件：" + folder.string() + "（这是一个文件夹）"}}));

    // The bound itself is accepted, one byte more is not.
    const std::string valid = File(R"("apn": "CMNET")");
    const fs::path full = folder / "full.json";
    WriteAll(full, valid + std::string(kMaxParameterFileSize - valid.size(), ' '));
    const ParameterFileLoad atBound = LoadParameterFile(full.string());
    EXPECT_EQ(atBound.problems, Problems{});
    ASSERT_TRUE(atBound.values.has_value());
    EXPECT_EQ((*atBound.values)[Field("apn")].text, "CMNET");
    const fs::path over = folder / "over.json";
    WriteAll(over, valid + std::string(kMaxParameterFileSize - valid.size() + 1, ' '));
    const ParameterFileLoad tooLarge = LoadParameterFile(over.string());
    EXPECT_FALSE(tooLarge.values.has_value());
    EXPECT_EQ(tooLarge.problems, (Problems{{"", "参数文件过大（最多1 MiB）：" + over.string()}}));
    EXPECT_EQ(ParseParameterFile(ReadAll(over)).problems, (Problems{{"", "参数文件过大（最多1 MiB）"}}));
}

TEST_F(ParameterFileOnDisk, AFifoNamedAsTheFileIsRefusedWithoutWaitingForAWriter) {
    const std::string fifo = (folder / "fifo.json").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    auto loaded = std::async(std::launch::async, [&] { return LoadParameterFile(fifo); });
    const bool returned = loaded.wait_for(10s) == std::future_status::ready;
    if (!returned) ::close(::open(fifo.c_str(), O_WRONLY | O_NONBLOCK));  // let the stuck open go
    ASSERT_TRUE(returned) << "the load waited for a writer";
    EXPECT_EQ(loaded.get().problems, (Problems{{"", "无法读取参数文件：" + fifo + "（不是普通文件）"}}));
}

TEST_F(ParameterFileOnDisk, AFileWithoutReadPermissionLoadsNothing) {
    if (::geteuid() == 0) GTEST_SKIP() << "root reads every file";
    const fs::path locked = folder / "locked.json";
    WriteAll(locked, File(R"("apn": "CMNET")"));
    fs::permissions(locked, fs::perms::none);
    const ParameterFileLoad loaded = LoadParameterFile(locked.string());
    EXPECT_FALSE(loaded.values.has_value());
    EXPECT_EQ(loaded.problems, (Problems{{"", "无法读取参数文件：" + locked.string() + "（没有访问权限）"}}));
}

TEST_F(ParameterFileOnDisk, SavingReplacesAnExistingFileWholeAndKeepsItsPermissions) {
    const fs::path target = folder / "fleet.json";
    WriteAll(target, std::string(10000, 'x'));
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write);
    const FormValues values = SampleForm();
    EXPECT_EQ(SaveParameterFile(target.string(), values, FieldsToSave(values)), "");
    EXPECT_EQ(ReadAll(target), FormatParameterFile(values, FieldsToSave(values)));
    EXPECT_EQ(fs::status(target).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(Entries(), std::vector<std::string>{"fleet.json"});
    const ParameterFileLoad loaded = LoadParameterFile(target.string());
    ASSERT_TRUE(loaded.values.has_value());
    EXPECT_EQ(*loaded.values, values);

    const fs::path fresh = folder / "new.json";
    EXPECT_EQ(SaveParameterFile(fresh.string(), values, FieldsToSave(values)), "");
    EXPECT_EQ(fs::status(fresh).permissions(), fs::perms::owner_read | fs::perms::owner_write);  // its owner's only
}

TEST_F(ParameterFileOnDisk, AFailedSaveLeavesTheTargetAndNoTemporaryFile) {
    // The target is a folder holding a file: the rename over it fails after
    // the temporary file was written.
    const fs::path target = folder / "taken";
    fs::create_directory(target);
    WriteAll(target / "keep", "old");
    const std::string message = SaveParameterFile(target.string(), SampleForm(), FieldsToSave(SampleForm()));
    EXPECT_EQ(message, "无法保存参数文件：" + target.string() + "（这是一个文件夹）");
    EXPECT_EQ(Entries(), std::vector<std::string>{"taken"});
    EXPECT_EQ(ReadAll(target / "keep"), "old");

    const std::string nowhere = (folder / "no-folder" / "x.json").string();
    EXPECT_EQ(SaveParameterFile(nowhere, SampleForm(), {}),
              "无法保存参数文件：" + nowhere + "（文件或文件夹不存在）");
}

TEST_F(ParameterFileOnDisk, SavingIntoAReadOnlyFolderFailsAndLeavesTheOldFile) {
    if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
    const fs::path target = folder / "fleet.json";
    WriteAll(target, "old");
    fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
    const std::string message = SaveParameterFile(target.string(), SampleForm(), FieldsToSave(SampleForm()));
    EXPECT_EQ(message, "无法保存参数文件：" + target.string() + "（没有访问权限）");
    EXPECT_EQ(Entries(), std::vector<std::string>{"fleet.json"});
    EXPECT_EQ(ReadAll(target), "old");
}

}  // namespace
}  // namespace quill
