#include <gtest/gtest.h>
#include <mfapi.h>
#include <mfreadwrite.h>
#include <windows.h>
#include <winsim.h>

#include <unistd.h>

#include <cstdio>
#include <string>

namespace {

class FileRulesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    winsim::ResetMachine();
    dir_ = L"/tmp/morl_file_rules_" + std::to_wstring(getpid()) + L"_";
  }
  void TearDown() override {
    winsim::ResetMachine();
    EXPECT_EQ(winsim::DescribeLiveObjects(), "nothing alive");
  }

  // Creates `name` (under the test's prefix unless it starts with '\') and
  // closes it: the error CreateFileW gave, ERROR_SUCCESS if it worked.
  DWORD Create(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return GetLastError();
    CloseHandle(file);
    return ERROR_SUCCESS;
  }

  std::wstring dir_;
};

std::string Narrow(const std::wstring& wide) { return std::string(wide.begin(), wide.end()); }

// `prefix` followed by `fill` up to `length` characters.
std::wstring Padded(const std::wstring& prefix, wchar_t fill, std::size_t length) {
  return prefix + std::wstring(length - prefix.size(), fill);
}

// Names Windows refuses without the \\?\ prefix, at the MAX_PATH limit and
// one past it, and the trailing dots and spaces it drops.
TEST_F(FileRulesTest, NamesFollowTheNamingRules) {
  const std::wstring base = dir_;
  const struct {
    std::wstring name;
    DWORD error;
    std::wstring created;  // the file that then exists, when it worked
  } cases[] = {
      {base + L"plain.mp4", ERROR_SUCCESS, base + L"plain.mp4"},
      {base + L"a<b.mp4", ERROR_INVALID_NAME, L""},
      {base + L"a>b.mp4", ERROR_INVALID_NAME, L""},
      {base + L"a\"b.mp4", ERROR_INVALID_NAME, L""},
      {base + L"a|b.mp4", ERROR_INVALID_NAME, L""},
      {base + L"a?b.mp4", ERROR_INVALID_NAME, L""},
      {base + L"a*b.mp4", ERROR_INVALID_NAME, L""},
      {base + L"a:b.mp4", ERROR_INVALID_NAME, L""},
      {base + L"a\x1F"
              L"b.mp4",
       ERROR_INVALID_NAME, L""},
      {base + L"dots.mp4...", ERROR_SUCCESS, base + L"dots.mp4"},
      {base + L"spaces.mp4 . ", ERROR_SUCCESS, base + L"spaces.mp4"},
      {Padded(base, L'x', 259), ERROR_SUCCESS, Padded(base, L'x', 259)},
      {Padded(base, L'y', 260), ERROR_PATH_NOT_FOUND, L""},
      {L"\\\\?\\" + Padded(base, L'z', 260), ERROR_SUCCESS, L"\\\\?\\" + Padded(base, L'z', 260)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Narrow(c.name));
    EXPECT_EQ(Create(c.name), c.error);
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (c.error == ERROR_SUCCESS) {
      EXPECT_TRUE(GetFileAttributesExW(c.created.c_str(), GetFileExInfoStandard, &data));
      EXPECT_TRUE(DeleteFileW(c.created.c_str()));
    } else {
      EXPECT_FALSE(GetFileAttributesExW(c.name.c_str(), GetFileExInfoStandard, &data));
      EXPECT_EQ(GetLastError(), c.error);
      EXPECT_FALSE(DeleteFileW(c.name.c_str()));
      EXPECT_EQ(GetLastError(), c.error);
    }
  }
}

// A "file_holds" suffix keeps a closed file held for its time, as if opened
// without sharing: no rename, delete or second open until it has passed.
TEST_F(FileRulesTest, HeldFilesCannotBeMovedDeletedOrOpened) {
  winsim::UseManualClock(0);
  ASSERT_TRUE(
      winsim::LoadMachineJson(R"({"file_holds": [{"suffix": ".MP4", "ms": 500}]})", nullptr));
  const std::wstring a = dir_ + L"a.bin", held = dir_ + L"held.mp4";
  ASSERT_EQ(Create(held), ERROR_SUCCESS);
  EXPECT_FALSE(DeleteFileW(held.c_str())) << "held right after the close";
  EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  EXPECT_EQ(Create(held), ERROR_SHARING_VIOLATION);
  winsim::AdvanceClock(4'990'000);
  EXPECT_FALSE(MoveFileExW(held.c_str(), a.c_str(), MOVEFILE_REPLACE_EXISTING)) << "at 499 ms";
  winsim::AdvanceClock(10'000);
  EXPECT_TRUE(MoveFileExW(held.c_str(), a.c_str(), MOVEFILE_REPLACE_EXISTING)) << "at 500 ms";
  EXPECT_TRUE(DeleteFileW(a.c_str()));

  for (const char* bad :
       {R"({"file_holds": {"suffix": ".mp4"}})", R"({"file_holds": [{"suffix": "", "ms": 5}]})",
        R"({"file_holds": [{"suffix": ".mp4", "ms": -1}]})",
        R"({"file_holds": [{"suffix": ".mp4", "ms": 600001}]})",
        R"({"file_holds": [{"suffix": ".mp4", "seconds": 1}]})"}) {
    std::string error;
    EXPECT_FALSE(winsim::LoadMachineJson(bad, &error)) << bad;
    EXPECT_NE(error.find("file_holds"), std::string::npos) << error;
  }
}

// The sink writer holds its file open for writing, shared for reading only,
// until it is finalized or released.
TEST_F(FileRulesTest, SinkWriterHoldsItsFileUntilReleased) {
  ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
  ASSERT_EQ(MFStartup(MF_VERSION, MFSTARTUP_LITE), S_OK);
  const std::wstring path = dir_ + L"writer.mp4", moved = dir_ + L"moved.mp4";
  IMFSinkWriter* writer = nullptr;
  ASSERT_EQ(MFCreateSinkWriterFromURL(path.c_str(), nullptr, nullptr, &writer), S_OK);
  IMFSinkWriter* second = nullptr;
  EXPECT_EQ(MFCreateSinkWriterFromURL(path.c_str(), nullptr, nullptr, &second),
            HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION));
  HANDLE reader = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(reader, INVALID_HANDLE_VALUE) << "readers that share writing may look";
  if (reader != INVALID_HANDLE_VALUE) CloseHandle(reader);
  EXPECT_FALSE(MoveFileExW(path.c_str(), moved.c_str(), 0));
  EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  writer->Release();
  EXPECT_TRUE(MoveFileExW(path.c_str(), moved.c_str(), 0)) << "released";
  EXPECT_TRUE(DeleteFileW(moved.c_str()));
  EXPECT_EQ(MFShutdown(), S_OK);
  CoUninitialize();
}

}  // namespace
