#include <gtest/gtest.h>

#include <filesystem>
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
