// clsBase64's file routines on real files in a fresh temporary folder, and
// the error numbers the file system's refusals become.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "morvel/clsBase64.h"
#include "platform/fakes/fakes.h"
#include "platform/files.h"
#include "support/FakeEnvironment.h"
#include "support/TempFolder.h"

namespace morvel {
namespace {

namespace fs = std::filesystem;

using morvel::testing::ErrorOf;

class Base64Files : public ::testing::Test {
 protected:
  fs::path PathOf(std::string_view name) const { return folder_ / std::string(name); }
  String HostPath(std::string_view name) const { return FromUtf8(PathOf(name).string()); }

  void Write(std::string_view name, std::string_view content) const {
    std::ofstream(PathOf(name), std::ios::binary) << content;
  }
  std::string Read(std::string_view name) const {
    std::ifstream in(PathOf(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  const morvel::testing::TempFolder folder_{"morvel-codec"};
  clsBase64 codec_;
};

const ByteArray Previous(std::vector<uint8_t>{9, 9, 9, 9, 9, 9, 9, 9, 9, 9});

TEST_F(Base64Files, LoadFileGivesExactlyTheFileBytes) {
  Write("three.bin", std::string("\x00\xFF\x0A", 3));
  ByteArray bytes = Previous;
  codec_.LoadFile(HostPath("three.bin"), bytes);
  EXPECT_EQ(bytes, ByteArray(std::vector<uint8_t>{0x00, 0xFF, 0x0A}));
  EXPECT_EQ(bytes.UBound(), 2);
}

TEST_F(Base64Files, FilesReadWholeAreRegularAndBounded) {
  // A sparse file one byte past the limit costs no disk.
  { std::ofstream(PathOf("huge.bin")); }
  fs::resize_file(PathOf("huge.bin"), platform::MaxWholeFileBytes + 1);
  ByteArray bytes = Previous;
  try {
    codec_.LoadFile(HostPath("huge.bin"), bytes);
    ADD_FAILURE() << "a file beyond the limit was read";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.Number(), errors::OutOfMemory);
    EXPECT_NE(e.Description().find(PathOf("huge.bin").string() + "' is larger than the limit of 64 MiB"),
              std::string::npos)
        << e.Description();
  }
  EXPECT_EQ(bytes, Previous);
  // Neither a pipe without a writer nor an endless device is waited on or read.
  ASSERT_EQ(mkfifo(PathOf("pipe").c_str(), 0600), 0);
  for (std::string path : {PathOf("pipe").string(), std::string("/dev/zero")}) {
    try {
      platform::ReadWholeFile(path);
      ADD_FAILURE() << path;
    } catch (const AutomationError& e) {
      EXPECT_EQ(e.Number(), errors::PathFileAccessError);
      EXPECT_NE(e.Description().find("'" + path + "' is not a regular file"), std::string::npos) << e.Description();
    }
  }
}

TEST_F(Base64Files, LoadFileRefusalsLeaveTheArrayAlone) {
  Write("empty.bin", "");
  fs::create_directory(PathOf("sub"));
  struct Case {
    const char* Name;
    int Error;
  };
  const Case cases[] = {
      {"missing.bin", errors::FileNotFound},      {"no-such-folder/file.bin", errors::PathNotFound},
      {"empty.bin", errors::SubscriptOutOfRange}, {"sub", errors::PathFileAccessError},
      {"empty.bin/below", errors::PathNotFound},
  };
  for (const auto& c : cases) {
    ByteArray bytes = Previous;
    EXPECT_EQ(ErrorOf([&] { codec_.LoadFile(HostPath(c.Name), bytes); }), c.Error) << c.Name;
    EXPECT_EQ(bytes, Previous) << c.Name;
  }
}

TEST_F(Base64Files, LoadFileWithoutReadPermissionRaises70) {
  Write("secret.bin", "abc");
  fs::permissions(PathOf("secret.bin"), fs::perms::none);
  auto attempt = [&] {
    ByteArray bytes = Previous;
    int error = ErrorOf([&] { codec_.LoadFile(HostPath("secret.bin"), bytes); });
    return bytes == Previous ? error : 254;
  };
  if (geteuid() != 0) {
    EXPECT_EQ(attempt(), errors::PermissionDenied);
    return;
  }
  // Root reads every file: try it as nobody in a child process.
  fs::permissions(PathOf(""), fs::perms::owner_all | fs::perms::others_exec);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(255);
    _exit(attempt());
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), errors::PermissionDenied) << "255: could not become nobody; 254: the array changed";
}

TEST_F(Base64Files, SaveFileThenLoadFileGivesTheBytesBack) {
  std::vector<uint8_t> data(70000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7);
  ByteArray input(data), output;
  codec_.SaveFile(HostPath("new.bin"), input);
  codec_.LoadFile(HostPath("new.bin"), output);
  EXPECT_EQ(output, input);
}

TEST_F(Base64Files, SaveFileCutsALongerFileToTheNewBytes) {
  Write("old.bin", "0123456789");
  ByteArray input(std::vector<uint8_t>{'a', 'b'});
  codec_.SaveFile(HostPath("old.bin"), input);
  EXPECT_EQ(Read("old.bin"), "ab");
}

TEST_F(Base64Files, SaveFileOfAnEmptyArrayEmptiesTheFile) {
  Write("old.bin", "0123456789");
  ByteArray empty(std::vector<uint8_t>{});
  codec_.SaveFile(HostPath("old.bin"), empty);
  EXPECT_TRUE(fs::exists(PathOf("old.bin")));
  EXPECT_EQ(fs::file_size(PathOf("old.bin")), 0u);
}

TEST_F(Base64Files, SaveFileOfAnUnsizedArrayTouchesNothing) {
  Write("old.bin", "0123456789");
  ByteArray unsized;
  EXPECT_EQ(ErrorOf([&] { codec_.SaveFile(HostPath("old.bin"), unsized); }), errors::SubscriptOutOfRange);
  EXPECT_EQ(Read("old.bin"), "0123456789");
  EXPECT_EQ(ErrorOf([&] { codec_.SaveFile(HostPath("none.bin"), unsized); }), errors::SubscriptOutOfRange);
  EXPECT_FALSE(fs::exists(PathOf("none.bin")));
}

TEST_F(Base64Files, SaveRefusalsCarryTheFileSystemNumber) {
  fs::create_directory(PathOf("sub"));
  ByteArray input(std::vector<uint8_t>{1});
  String text = u"x";
  EXPECT_EQ(ErrorOf([&] { codec_.SaveFile(HostPath("no-such-folder/x.bin"), input); }), errors::PathNotFound);
  EXPECT_EQ(ErrorOf([&] { codec_.SaveFile(HostPath("sub"), input); }), errors::PathFileAccessError);
  EXPECT_EQ(ErrorOf([&] { codec_.SaveFile2(HostPath("sub"), text); }), errors::PathFileAccessError);
}

TEST_F(Base64Files, PathsAreUtf8OnDiskAndANulIsRefused) {
  ByteArray input(std::vector<uint8_t>{'z'});
  codec_.SaveFile(HostPath("标签 é.bin"), input);
  EXPECT_EQ(Read("标签 é.bin"), "z");
  // A NUL would otherwise quietly name the file "cut".
  String withNul = HostPath("cut") + String(1, u'\0') + u".bin";
  EXPECT_EQ(ErrorOf([&] { codec_.SaveFile(withNul, input); }), errors::BadFileNameOrNumber);
  EXPECT_FALSE(fs::exists(PathOf("cut")));
}

TEST_F(Base64Files, SaveFile2WritesTheAnsiTextAloneOverALongerFile) {
  platform::FakeServices fakes;  // Latin-1: anything beyond U+00FF becomes '?'
  platform::ScopedServices scope(fakes.AsServices());
  Write("text.txt", "a much longer old content");
  String text = u"abc";
  codec_.SaveFile2(HostPath("text.txt"), text);
  EXPECT_EQ(Read("text.txt"), "abc");
  String mixed = u"a\u00E9\u20AC\u6807b";
  codec_.SaveFile2(HostPath("text.txt"), mixed);
  EXPECT_EQ(Read("text.txt"), "a\xE9??b");
  EXPECT_EQ(mixed, u"a\u00E9\u20AC\u6807b");
}

}  // namespace
}  // namespace morvel
