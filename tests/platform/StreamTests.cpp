#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <future>
#include <optional>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "platform/TextStream.h"

using namespace platform;
namespace fs = std::filesystem;

namespace {
fs::path scratch() {
  const fs::path dir = fs::temp_directory_path() / ("qm-streams-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  return dir;
}

std::vector<std::string> lines(const std::string& bytes) {
  const fs::path file = scratch() / "in.txt";
  testing_support::WriteFile(file, bytes);
  auto in = TextInputStream::Open(FolderItem(file));
  std::vector<std::string> all;
  while (in && !in->Eof()) all.emplace_back(in->ReadLine());
  return all;
}
}  // namespace

TEST(TextInputStream, lineEnds) {
  using V = std::vector<std::string>;
  EXPECT_EQ(lines("a\nb\n"), (V{"a", "b"}));
  EXPECT_EQ(lines("a\r\nb\r\n"), (V{"a", "b"}));
  EXPECT_EQ(lines("a\rb\r"), (V{"a", "b"}));
  EXPECT_EQ(lines("a\r\n\rb\nc"), (V{"a", "", "b", "c"}));
  EXPECT_EQ(lines(""), V{});
  EXPECT_EQ(lines("\n\n"), (V{"", ""}));
  EXPECT_EQ(lines(std::string("x\0y\n", 4)), (V{std::string("x\0y", 3)}));
}

// The line end is sought in blocks of 256 bytes: lines longer than a block,
// and a CRLF split across two blocks.
TEST(TextInputStream, longLines_andLineEndsAtBlockEdges) {
  using V = std::vector<std::string>;
  const std::string a(255, 'a'), b(600, 'b'), c(256, 'c');
  EXPECT_EQ(lines(a + "\r\n" + b + "\r" + c + "\n" + b), (V{a, b, c, b}));
  EXPECT_EQ(lines(c + "\r" + c + "\r" + a), (V{c, c, a}));
}

TEST(TextInputStream, missingFile_namesIt) {
  IOResult error;
  EXPECT_FALSE(TextInputStream::Open(FolderItem(scratch() / "nope"), &error));
  EXPECT_FALSE(error);
  EXPECT_NE(error.Message().find("nope"), std::string::npos);
}

TEST(TextOutputStream, replacesWhole_andLeavesNoTemporaryFile) {
  const fs::path dir = scratch() / "out";
  fs::create_directories(dir);
  const FolderItem target(dir / "f.txt");
  testing_support::WriteFile(target.AbsolutePath(), "old content that is longer");
  {
    auto out = TextOutputStream::Create(target);
    ASSERT_TRUE(out);
    out->WriteLine("new");
    // Until Close the old file stands.
    EXPECT_EQ(testing_support::ReadFile(target.AbsolutePath()), "old content that is longer");
    ASSERT_TRUE(out->Close());
  }
  EXPECT_EQ(testing_support::ReadFile(target.AbsolutePath()), "new\n");
  {
    auto out = TextOutputStream::Create(target);
    out->Write("dropped");
  }  // never closed: the target stays
  EXPECT_EQ(testing_support::ReadFile(target.AbsolutePath()), "new\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}

// A file kept elsewhere and linked in (a settings folder under version
// control, say) stays linked: the new text goes where the link leads.
TEST(TextOutputStream, throughALink_writesWhereItLeads_andKeepsTheLink) {
  const fs::path dir = scratch() / "links";
  fs::remove_all(dir);
  fs::create_directories(dir / "kept");
  testing_support::WriteFile((dir / "kept" / "prefs").string(), "old\n");
  fs::create_symlink("kept/prefs", dir / "prefs");           // relative, to a file
  fs::create_symlink(dir / "kept" / "new", dir / "dangling");  // to a file not made yet
  for (const char* name : {"prefs", "dangling"}) {
    auto out = TextOutputStream::Create(FolderItem(dir / name));
    ASSERT_TRUE(out);
    out->Write("new\n");
    ASSERT_TRUE(out->Close());
    EXPECT_TRUE(fs::is_symlink(dir / name)) << name;
    EXPECT_EQ(testing_support::ReadFile((dir / name).string()), "new\n") << name;
  }
  EXPECT_EQ(testing_support::folderNames(dir.string()), (std::vector<std::string>{"dangling", "kept", "prefs"}));
  EXPECT_EQ(testing_support::folderNames((dir / "kept").string()), (std::vector<std::string>{"new", "prefs"}));
}

TEST(TextOutputStream, missingFolder_namesTheTarget) {
  IOResult error;
  const FolderItem target(scratch() / "gone" / "f.txt");
  EXPECT_FALSE(TextOutputStream::Create(target, &error));
  EXPECT_EQ(error.Message(), "Cannot write file " + target.AbsolutePath() + ":\nNo such file or directory.");
}

// The temporary file has a short name of its own, so a target of the longest
// name the file system takes (255 bytes) is written like any other.
TEST(TextOutputStream, longestName_andATemporaryNameOfFixedLength) {
  const fs::path dir = scratch() / "long";
  fs::create_directories(dir);
  std::vector<std::size_t> temporaryLengths;
  for (const std::string& name : {std::string("f"), std::string(255, 'n')}) {
    SCOPED_TRACE(name.size());
    const FolderItem target(dir / name);
    IOResult error;
    auto out = TextOutputStream::Create(target, &error);
    ASSERT_TRUE(out) << error.Message();
    out->WriteLine("text");
    const auto names = testing_support::folderNames(dir.string());
    for (const std::string& entry : names) {
      if (entry == "f" || entry == name) continue;
      EXPECT_EQ(entry[0], '.') << entry;  // never listed as a description
      temporaryLengths.push_back(entry.size());
    }
    const IOResult closed = out->Close();
    ASSERT_TRUE(closed) << closed.Message();
    EXPECT_EQ(testing_support::ReadFile(target.AbsolutePath()), "text\n");
  }
  ASSERT_EQ(temporaryLengths.size(), 2u);
  EXPECT_EQ(temporaryLengths[0], temporaryLengths[1]);
  EXPECT_EQ(testing_support::folderNames(dir.string()),
            (std::vector<std::string>{"f", std::string(255, 'n')}));
}

namespace {
// Opens `file` on another thread; a reader still stuck after a few seconds is
// released by a writer on the FIFO, so that a test of a blocking open fails
// instead of hanging.
std::optional<TextInputStream> openWithin(const FolderItem& file, IOResult& error, bool& blocked) {
  auto reading = std::async(std::launch::async, [&] { return TextInputStream::Open(file, &error); });
  blocked = reading.wait_for(std::chrono::seconds(3)) == std::future_status::timeout;
  if (blocked) {
    const int fd = ::open(file.Path().c_str(), O_WRONLY | O_NONBLOCK);
    if (fd >= 0) ::close(fd);
  }
  return reading.get();
}

struct SpecialFileCase {
  const char* name;
  std::function<void(const fs::path&)> make;
  std::string reason;
  bool rootReadsIt = false;  // permissions do not stop root
};

void PrintTo(const SpecialFileCase& c, std::ostream* os) { *os << c.name; }

class SpecialFile : public ::testing::TestWithParam<SpecialFileCase> {};
}  // namespace

// Anything but a regular file is refused at once with its reason: a FIFO
// would block the reader, a device may never end.
TEST_P(SpecialFile, isRefusedAtOnce_withTheReason) {
  const SpecialFileCase& c = GetParam();
  if (c.rootReadsIt && ::geteuid() == 0) GTEST_SKIP() << "root reads it whatever its permissions";
  const fs::path dir = scratch() / "special";
  fs::remove_all(dir);
  fs::create_directories(dir);
  const fs::path path = dir / "item";
  c.make(path);
  IOResult error;
  bool blocked = false;
  const auto in = openWithin(FolderItem(path), error, blocked);
  EXPECT_FALSE(blocked);
  EXPECT_FALSE(in);
  EXPECT_EQ(error.Message(), "Cannot read file " + path.string() + ":\n" + c.reason + ".");
  fs::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(
    TextInputStream, SpecialFile,
    ::testing::Values(
        SpecialFileCase{"fifo", [](const fs::path& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); },
                        "Not a regular file"},
        SpecialFileCase{"linkToDevZero", [](const fs::path& p) { fs::create_symlink("/dev/zero", p); },
                        "Not a regular file"},
        SpecialFileCase{"linkToDevNull", [](const fs::path& p) { fs::create_symlink("/dev/null", p); },
                        "Not a regular file"},
        SpecialFileCase{"linkLoop", [](const fs::path& p) { fs::create_symlink(p.filename(), p); },
                        "Too many levels of symbolic links"},
        SpecialFileCase{"folder", [](const fs::path& p) { fs::create_directory(p); }, "Is a directory"},
        SpecialFileCase{"noPermission",
                        [](const fs::path& p) {
                          testing_support::WriteFile(p.string(), "secret");
                          fs::permissions(p, fs::perms::none);
                        },
                        "Permission denied", true}),
    [](const auto& info) { return std::string(info.param.name); });
