#include <gtest/gtest.h>
#include <mfapi.h>
#include <mfreadwrite.h>
#include <windows.h>
#include <winsim.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "sink_writer_test_support.h"
#include "tests/support/machine_test.h"

namespace {

class FileRulesTest : public machine_test::MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    dir_ = L"/tmp/morl_file_rules_" + std::to_wstring(getpid()) + L"_";
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

// The names in a folder (not below it).
std::set<std::string> Listing(const std::string& folder) {
  std::set<std::string> names;
  if (DIR* dir = opendir(folder.c_str())) {
    while (const dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") names.insert(name);
    }
    closedir(dir);
  }
  return names;
}

std::string Utf8(const std::wstring& wide) {
  std::string out(wide.size() * 4 + 1, '\0');
  out.resize(
      static_cast<std::size_t>(WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, &out[0],
                                                   static_cast<int>(out.size()), nullptr, nullptr) -
                               1));
  return out;
}

std::uintmax_t SizeOf(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? static_cast<std::uintmax_t>(info.st_size) : 0;
}

// A last component whose base name is a device name opens that device, in
// any folder and with any extension; the machine has only the null device.
// Look-alikes, a device name as a folder, and \\?\ paths are plain files. A
// file on disk under a device name stays out of reach and untouched.
TEST_F(FileRulesTest, DeviceNamesNameDevicesNotFiles) {
  ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
  ASSERT_EQ(MFStartup(MF_VERSION, MFSTARTUP_LITE), S_OK);
  const std::string folder = "/tmp/morl_file_rules_" + std::to_string(getpid()) + "_devices";
  const std::wstring wide_folder(folder.begin(), folder.end());
  std::filesystem::remove_all(folder);
  ASSERT_TRUE(std::filesystem::create_directories(folder + "/NUL"));
  std::ofstream(folder + "/CON.mp4") << "kept";
  const std::wstring source = wide_folder + L"/source.bin";
  const auto make_source = [&] { std::ofstream(folder + "/source.bin") << "abc"; };
  make_source();
  const std::set<std::string> before = Listing(folder);

  enum Kind { kFile, kNull, kAbsent };
  const struct {
    std::wstring name;  // in the folder; with \\?\ when `literal`
    Kind kind;
    bool literal;
  } cases[] = {
      {L"CON", kAbsent, false},         {L"con.mp4", kAbsent, false},
      {L"CON.mp4", kAbsent, false},     {L"NUL", kNull, false},
      {L"nul.tar.gz", kNull, false},    {L"Nul.mp4", kNull, false},
      {L"COM1.mp4", kAbsent, false},    {L"LPT9", kAbsent, false},
      {L"AUX .mp4", kAbsent, false},    {L"COM0", kAbsent, false},
      {L"LPT\u00b9", kAbsent, false},   {L"prn.", kAbsent, false},
      {L"CONSOLE.mp4", kFile, false},   {L"COM10.mp4", kFile, false},
      {L"LPT\u2074.mp4", kFile, false}, {L"NULL", kFile, false},
      {L"xNUL.mp4", kFile, false},      {L"NUL\\a.mp4", kFile, false},
      {L"NUL.mp4", kFile, true},        {L"COM1", kFile, true},
  };
  for (const auto& c : cases) {
    const std::wstring path =
        c.literal ? L"\\\\?\\" + wide_folder + L"/" + c.name : wide_folder + L"\\" + c.name;
    std::string real = folder + "/" + Utf8(c.name);
    std::replace(real.begin(), real.end(), '\\', '/');
    SCOPED_TRACE(Utf8(path));

    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              0, nullptr);
    if (c.kind == kAbsent) {
      EXPECT_EQ(file, INVALID_HANDLE_VALUE);
      EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    } else {
      ASSERT_NE(file, INVALID_HANDLE_VALUE);
      DWORD moved = 0;
      char buffer[8];
      EXPECT_TRUE(WriteFile(file, "12345", 5, &moved, nullptr));
      EXPECT_EQ(moved, 5u);
      if (c.kind == kNull) {
        EXPECT_TRUE(ReadFile(file, buffer, sizeof buffer, &moved, nullptr));
        EXPECT_EQ(moved, 0u) << "the null device reads empty";
      }
      CloseHandle(file);
    }
    if (c.kind == kFile) {
      EXPECT_EQ(SizeOf(real), 5u);
    } else {
      EXPECT_EQ(Listing(folder), before) << "no file made, none truncated";
    }

    WIN32_FILE_ATTRIBUTE_DATA data{};
    const BOOL found = GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
    EXPECT_EQ(found, c.kind != kAbsent);
    if (found) {
      EXPECT_EQ(data.dwFileAttributes, static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));
      EXPECT_EQ(data.nFileSizeLow, c.kind == kNull ? 0u : 5u);
    } else {
      EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    }

    // Onto the name: a file is replaced; the null device is another device
    // that only a copy reaches; an absent device is not found.
    const DWORD onto_error[] = {ERROR_SUCCESS, ERROR_NOT_SAME_DEVICE, ERROR_FILE_NOT_FOUND};
    EXPECT_EQ(MoveFileExW(source.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING),
              c.kind == kFile);
    if (c.kind == kFile) {
      EXPECT_EQ(SizeOf(real), 3u);
      make_source();
    } else {
      EXPECT_EQ(GetLastError(), onto_error[c.kind]);
    }
    EXPECT_EQ(MoveFileExW(source.c_str(), path.c_str(), MOVEFILE_COPY_ALLOWED), c.kind == kNull)
        << "a copy into the null device moves the source";
    if (c.kind != kAbsent) make_source();
    // From the name, and deleting it: a device is not a file to rename or
    // delete.
    if (c.kind == kFile) {
      EXPECT_TRUE(DeleteFileW(path.c_str()));
    } else {
      EXPECT_FALSE(MoveFileExW(path.c_str(), (wide_folder + L"/moved.bin").c_str(), 0));
      EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
      EXPECT_FALSE(DeleteFileW(path.c_str()));
      EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    }

    // The sink writer's file follows the same names; a recording into the
    // null device finishes as any other.
    if (c.name.size() > 4 && c.name.compare(c.name.size() - 4, 4, L".mp4") == 0) {
      sinktest::ComRef<IMFSinkWriter> writer;
      EXPECT_EQ(MFCreateSinkWriterFromURL(path.c_str(), nullptr, nullptr, writer.Put()),
                c.kind == kAbsent ? HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) : S_OK);
      if (c.kind == kNull) {
        DWORD stream = 0;
        const auto video = [](bool output) {
          return [output](IMFMediaType* t) { sinktest::VideoType(t, output, 64, 48); };
        };
        EXPECT_EQ(sinktest::AddStream(writer.Get(), video(true), &stream), S_OK);
        EXPECT_EQ(sinktest::SetInput(writer.Get(), stream, video(false)), S_OK);
        EXPECT_EQ(writer->BeginWriting(), S_OK);
        EXPECT_EQ(sinktest::WriteBytes(writer.Get(), stream, sinktest::Halves(64, 48, false), 0,
                                       sinktest::kFrame),
                  S_OK);
        EXPECT_EQ(writer->Finalize(), S_OK);
      }
      writer.Reset();
      if (c.kind == kFile) {
        EXPECT_TRUE(DeleteFileW(path.c_str()));
      }
    }
    EXPECT_EQ(Listing(folder), before);
    EXPECT_EQ(SizeOf(folder + "/CON.mp4"), 4u) << "the file under a device name is untouched";
  }
  std::filesystem::remove_all(folder);
  EXPECT_EQ(MFShutdown(), S_OK);
  CoUninitialize();
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
