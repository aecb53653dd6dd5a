#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
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

// A link loop has no file at its end to write: the write fails with the
// system's reason, and the links stay as they were.
TEST(TextOutputStream, linkLoop_failsWithTheSystemsReason_andStaysALink) {
  struct Case {
    const char* name;
    std::vector<std::pair<const char*, const char*>> links;  // name, where it leads
  };
  const std::vector<Case> cases = {{"selfLoop", {{"patch", "patch"}}},
                                   {"twoCycle", {{"patch", "other"}, {"other", "patch"}}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path dir = scratch() / c.name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::vector<std::string> names;
    for (const auto& [name, to] : c.links) {
      fs::create_symlink(to, dir / name);
      names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    IOResult error;
    const FolderItem target(dir / "patch");
    EXPECT_FALSE(TextOutputStream::Create(target, &error));
    EXPECT_EQ(error.error, ELOOP);
    EXPECT_EQ(error.Message(),
              "Cannot write file " + target.AbsolutePath() + ":\nToo many levels of symbolic links.");
    TextOutputBatch batch{FolderItem(dir)};
    EXPECT_EQ(batch.Create(target, &error), nullptr);
    EXPECT_EQ(error.error, ELOOP);
    EXPECT_TRUE(batch.Commit());
    for (const auto& [name, to] : c.links) EXPECT_EQ(fs::read_symlink(dir / name), to) << name;
    EXPECT_EQ(testing_support::folderNames(dir.string()), names);
  }
}

namespace {
// The names of the temporary files in a folder.
std::vector<std::string> temporaryNames(const fs::path& folder) {
  std::vector<std::string> names;
  for (const std::string& name : testing_support::folderNames(folder.string()))
    if (name.rfind(".quirlomatic-", 0) == 0) names.push_back(name);
  return names;
}

// A write into `folder` whose folder is moved to `movedTo` before it ends;
// the result of its end.
struct MovedFolderCase {
  const char* name;
  std::function<IOResult(const fs::path& folder, const std::function<void()>& move)> write;
};
}  // namespace

// The temporary files go with the folder: they are removed where it is now,
// and nothing is written into a folder the user did not name.
TEST(TextOutputStream, folderMovedAwayMeanwhile_leavesNothingBehind) {
  const std::vector<MovedFolderCase> cases = {
      {"streamClosed",
       [](const fs::path& folder, const std::function<void()>& move) {
         auto out = TextOutputStream::Create(FolderItem(folder / "f"));
         out->Write("text");
         move();
         return out->Close();
       }},
      {"streamDropped",
       [](const fs::path& folder, const std::function<void()>& move) {
         auto out = TextOutputStream::Create(FolderItem(folder / "f"));
         out->Write("text");
         move();
         return IOResult::FromErrno("write", (folder / "f").string(), ENOENT);
       }},
      {"batchCommitted",
       [](const fs::path& folder, const std::function<void()>& move) {
         TextOutputBatch batch{FolderItem(folder)};
         for (const char* name : {"f", "g"}) batch.Create(FolderItem(folder / name))->Write("text");
         move();
         IOResult result = batch.Commit();
         EXPECT_EQ(batch.Committed(), 0);
         return result;
       }},
      {"batchDropped",
       [](const fs::path& folder, const std::function<void()>& move) {
         TextOutputBatch batch{FolderItem(folder)};
         for (const char* name : {"f", "g"}) batch.Create(FolderItem(folder / name))->Write("text");
         move();
         return IOResult::FromErrno("write", (folder / "f").string(), ENOENT);
       }},
  };
  for (const MovedFolderCase& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path dir = scratch() / "moving" / c.name,
                   moved = scratch() / "moving" / (std::string(c.name) + "-moved");
    fs::remove_all(dir);
    fs::remove_all(moved);
    fs::create_directories(dir);
    const IOResult result = c.write(dir, [&] {
      EXPECT_EQ(temporaryNames(dir).size(), std::string(c.name).rfind("batch", 0) == 0 ? 2u : 1u);
      fs::rename(dir, moved);
    });
    EXPECT_EQ(result.Message(),
              "Cannot write file " + (dir / "f").string() + ":\nNo such file or directory.");
    EXPECT_EQ(testing_support::folderNames(moved.string()), std::vector<std::string>{});
    EXPECT_FALSE(fs::exists(dir));
  }
}

namespace {
// A process id that no process has: a child that has ended.
pid_t endedProcess() {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ::waitpid(child, nullptr, 0);
  return child;
}

std::string temporaryName(pid_t pid, const char* random) {
  char name[64];
  std::snprintf(name, sizeof name, ".quirlomatic-%010d-%s.tmp", static_cast<int>(pid), random);
  return name;
}

// Holds a lock on a file as a writer does.
class Locked {
 public:
  explicit Locked(const fs::path& file) : fd_(::open(file.c_str(), O_RDONLY | O_CLOEXEC)) {
    EXPECT_EQ(::flock(fd_, LOCK_EX | LOCK_NB), 0);
  }
  ~Locked() { ::close(fd_); }

 private:
  int fd_;
};
}  // namespace

// Leftovers of writers that no longer run go, at start and with the next
// write into their folder; what a running writer holds, and anything not
// named as our temporary files, stays.
TEST(TemporaryFiles, leftoversOfEndedWritersGo_everythingElseStays) {
  const pid_t ended = endedProcess();
  struct Item {
    std::string name;
    const char* kind;  // "file", "locked", "folder", "link"
    bool removed;
  };
  const std::vector<Item> items = {
      {temporaryName(ended, "0badf00d"), "file", true},
      {temporaryName(::getpid(), "0badf00d"), "file", true},  // an earlier process of this id
      {temporaryName(ended, "1badf00d"), "locked", false},    // its writer runs in a PID namespace of its own
      {temporaryName(::getppid(), "0badf00d"), "file", false},
      {temporaryName(ended, "2badf00d"), "folder", false},
      {temporaryName(ended, "3badf00d"), "link", false},
      {".quirlomatic-0badf00d.tmp", "file", false},
      {".quirlomatic-notes.tmp", "file", false},
      {temporaryName(ended, "0BADF00D"), "file", false},
      {temporaryName(ended, "0badf00d") + ".txt", "file", false},
      {"quirlomatic-0000000001-0badf00d.tmp", "file", false},
  };
  struct Sweeper {
    const char* name;
    std::function<void(const fs::path& folder)> sweep;
  };
  const std::vector<Sweeper> sweepers = {
      {"atStart", [](const fs::path& folder) { RemoveTemporaryLeftovers(FolderItem(folder)); }},
      {"aWrite",
       [](const fs::path& folder) {
         auto out = TextOutputStream::Create(FolderItem(folder / "written"));
         ASSERT_TRUE(out);
         ASSERT_TRUE(out->Close());
       }},
      {"aBatch",
       [](const fs::path& folder) {
         TextOutputBatch batch{FolderItem(folder)};
         ASSERT_NE(batch.Create(FolderItem(folder / "written")), nullptr);
         ASSERT_TRUE(batch.Commit());
       }},
  };
  for (const Sweeper& sweeper : sweepers) {
    SCOPED_TRACE(sweeper.name);
    const fs::path dir = scratch() / "sweep" / sweeper.name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    // This process's own stream, open meanwhile.
    auto own = TextOutputStream::Create(FolderItem(dir / "own"));
    ASSERT_TRUE(own);
    own->Write("own");
    const std::vector<std::string> ownTemporary = temporaryNames(dir);
    ASSERT_EQ(ownTemporary.size(), 1u);

    testing_support::WriteFile((dir / "target").string(), "kept");
    std::vector<std::unique_ptr<Locked>> locks;
    std::vector<std::string> kept = {"target", ownTemporary[0]};
    for (const Item& item : items) {
      const fs::path path = dir / item.name;
      if (std::string(item.kind) == "folder")
        fs::create_directory(path);
      else if (std::string(item.kind) == "link")
        fs::create_symlink("target", path);
      else
        testing_support::WriteFile(path.string(), "half a patch");
      if (std::string(item.kind) == "locked") locks.push_back(std::make_unique<Locked>(path));
      if (!item.removed) kept.push_back(item.name);
    }
    sweeper.sweep(dir);
    if (std::string(sweeper.name) != "atStart") kept.push_back("written");
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(testing_support::folderNames(dir.string()), kept);
    ASSERT_TRUE(own->Close());
    EXPECT_EQ(testing_support::ReadFile((dir / "own").string()), "own");
    EXPECT_EQ(testing_support::ReadFile((dir / "target").string()), "kept");
  }
}

// The files of a batch take their places in the order they were made, and
// the batch stops at the first that fails: those before it are in place, the
// others are not, and no temporary file is left.
TEST(TextOutputBatch, putsFilesInPlaceInOrder_andStopsAtTheFirstThatFails) {
  struct Case {
    const char* name;
    std::function<void(const fs::path& folder)> arrange;
    std::size_t thirdSize;  // bytes of the third file's text
    int committed;
    int failingFile;  // 0 for none
    int error;
  };
  const std::vector<Case> cases = {
      {"all", [](const fs::path&) {}, 4, 4, 0, 0},
      {"overOldFiles", [](const fs::path& f) { testing_support::WriteFile((f / "1").string(), "old file"); },
       4, 4, 0, 0},
      {"folderInTheWayOfTheThird", [](const fs::path& f) { fs::create_directory(f / "3"); }, 4, 2, 3, EISDIR},
      // The third file's text fails only as the fourth is made: it names the third.
      {"thirdPastTheFileSizeLimit", [](const fs::path&) {}, 8192, 2, 3, EFBIG},
  };
  rlimit sizeLimit{};
  ::getrlimit(RLIMIT_FSIZE, &sizeLimit);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path dir = scratch() / "batch" / c.name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    c.arrange(dir);
    const std::vector<std::string> before = testing_support::folderNames(dir.string());
    rlimit lowered{4096, sizeLimit.rlim_max};
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &lowered), 0);
    IOResult failure = IOResult::Ok();
    {
      TextOutputBatch batch{FolderItem(dir)};
      for (int n = 1; n <= 4 && failure; ++n) {
        TextOutputStream* out = batch.Create(FolderItem(dir / std::to_string(n)), &failure);
        if (out) out->Write(n == 3 ? std::string(c.thirdSize, '3') : std::to_string(n));
      }
      const IOResult committed = batch.Commit();
      if (failure) failure = committed;
      EXPECT_EQ(committed.path, failure.path);
      EXPECT_EQ(batch.Committed(), c.committed);
    }
    ::setrlimit(RLIMIT_FSIZE, &sizeLimit);
    if (c.failingFile) {
      EXPECT_EQ(failure.path, (dir / std::to_string(c.failingFile)).string());
      EXPECT_EQ(failure.error, c.error);
    } else {
      EXPECT_TRUE(failure) << failure.Message();
    }
    std::vector<std::string> expected = before;
    for (int n = 1; n <= c.committed; ++n) {
      expected.push_back(std::to_string(n));
      EXPECT_EQ(testing_support::ReadFile((dir / std::to_string(n)).string()),
                n == 3 ? std::string(c.thirdSize, '3') : std::to_string(n));
    }
    std::sort(expected.begin(), expected.end());
    expected.erase(std::unique(expected.begin(), expected.end()), expected.end());
    EXPECT_EQ(testing_support::folderNames(dir.string()), expected);
  }
}

namespace {
// Sets this process's limit of open files until it goes out of scope.
class OpenFileLimit {
 public:
  explicit OpenFileLimit(rlim_t files) {
    ::getrlimit(RLIMIT_NOFILE, &old_);
    rlimit limit{files, old_.rlim_max};
    EXPECT_EQ(::setrlimit(RLIMIT_NOFILE, &limit), 0);
  }
  ~OpenFileLimit() { ::setrlimit(RLIMIT_NOFILE, &old_); }

 private:
  rlimit old_{};
};

// The limit below which exactly `free` descriptor numbers are free.
rlim_t limitLeaving(int free) {
  for (int fd = 0, n = 0;; ++fd)
    if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF && ++n > free) return static_cast<rlim_t>(fd);
}
}  // namespace

// A batch keeps its files open until it commits. With more files than the
// process may open it commits what it holds first, and leaves room for the
// rest of the program (the generator reads its description between files);
// when the limit runs out midway all the same, it commits then. Every file
// takes its place, in order.
TEST(TextOutputBatch, moreFilesThanTheProcessMayOpen_allTakeTheirPlaceInOrder) {
  const fs::path source = scratch() / "source";
  testing_support::WriteFile(source.string(), "read between the files");
  struct Case {
    const char* name;
    int free;          // descriptors
    bool readBetween;  // a file read between the files of the batch
  };
  // Three free: the folder's and two files', against half the limit.
  const std::vector<Case> cases = {{"roomLeftForOthers", 40, true}, {"runsOutMidway", 3, false}};
  constexpr int kFiles = 60;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path dir = scratch() / "many" / c.name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    IOResult failure = IOResult::Ok();
    int committed = 0;
    {
      const OpenFileLimit limit(limitLeaving(c.free));
      TextOutputBatch batch{FolderItem(dir)};
      for (int n = 1; n <= kFiles && failure; ++n) {
        if (c.readBetween && !TextInputStream::Open(FolderItem(source), &failure)) break;
        if (TextOutputStream* out = batch.Create(FolderItem(dir / std::to_string(n)), &failure))
          out->Write(std::to_string(n));
      }
      if (failure) failure = batch.Commit();
      committed = batch.Committed();
    }
    EXPECT_TRUE(failure) << failure.Message();
    EXPECT_EQ(committed, kFiles);
    std::vector<std::string> expected;
    for (int n = 1; n <= kFiles; ++n) {
      expected.push_back(std::to_string(n));
      EXPECT_EQ(testing_support::ReadFile((dir / std::to_string(n)).string()), std::to_string(n));
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(testing_support::folderNames(dir.string()), expected);
  }
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
