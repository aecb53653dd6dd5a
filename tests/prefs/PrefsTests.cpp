#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "platform/FolderItem.h"
#include "prefs/REALEasyPrefs.h"

using namespace platform;
using testing_support::ReadFile;
using testing_support::WriteFile;
namespace fs = std::filesystem;

namespace {

class Prefs : public ::testing::Test {
 protected:
  void SetUp() override { fs::create_directories(SpecialFolder::Preferences().Path()); }
  std::string path() const {
    return SpecialFolder::Preferences().Child(REALEasyPrefs::kBundleIdentifier).AbsolutePath();
  }
  void load(const std::string& bytes) {
    WriteFile(path(), bytes);
    ASSERT_TRUE(REALEasyPrefs::InitPrefFile("Quirlomatic"));
  }
  void loadAgain() { ASSERT_TRUE(REALEasyPrefs::InitPrefFile("Quirlomatic")); }
  void write() { ASSERT_TRUE(REALEasyPrefs::WritePrefFile()); }
  static std::vector<std::pair<std::string, std::string>> entries() {
    std::vector<std::pair<std::string, std::string>> all;
    for (std::size_t i = 0; i < REALEasyPrefs::prefNames.size(); ++i)
      all.emplace_back(REALEasyPrefs::prefNames[i], REALEasyPrefs::prefItems[i]);
    return all;
  }
};

// Records the order in which bounds are set.
struct FakeWindow : WindowBounds {
  std::int32_t l = 1, t = 2, w = 3, h = 4;
  std::vector<std::string> calls;
  std::int32_t Left() const override { return l; }
  std::int32_t Top() const override { return t; }
  std::int32_t Width() const override { return w; }
  std::int32_t Height() const override { return h; }
  void SetLeft(std::int32_t v) override { l = v, calls.push_back("Left"); }
  void SetTop(std::int32_t v) override { t = v, calls.push_back("Top"); }
  void SetWidth(std::int32_t v) override { w = v, calls.push_back("Width"); }
  void SetHeight(std::int32_t v) override { h = v, calls.push_back("Height"); }
};

}  // namespace

TEST_F(Prefs, firstStart_createsAnEmptyFileReadableByAll_withoutType) {
  ::umask(022);
  fs::remove(path());
  loadAgain();
  ASSERT_TRUE(fs::exists(path()));
  EXPECT_EQ(fs::file_size(path()), 0u);
  EXPECT_EQ(REALEasyPrefs::prefFile.Permissions(), 0666);
  EXPECT_EQ(REALEasyPrefs::prefFile.MacType(), "");
  EXPECT_EQ(REALEasyPrefs::GetPrefString("SavePath", "none"), "none");
  EXPECT_EQ(REALEasyPrefs::GetPrefNumber("Counter X", 7), 7);
}

TEST_F(Prefs, emptyStore_writesZeroBytesOfTypePref) {
  load("");
  write();
  EXPECT_EQ(ReadFile(path()), "");
  const std::string type = REALEasyPrefs::prefFile.MacType();
  if (!type.empty()) {  // file systems without user attributes keep none
    EXPECT_EQ(type, "pref");
  }
}

TEST_F(Prefs, fileLines_loadAndWriteBack) {
  struct Row {
    std::string file;
    std::vector<std::pair<std::string, std::string>> entries;
    std::string written;
  };
  const std::vector<Row> rows = {
      {"SavePath=/a/b=c/d\n", {{"SavePath", "/a/b=c/d"}}, "SavePath=/a/b=c/d\n"},
      {"bare\n", {{"bare", ""}}, "bare=\n"},
      {"\n", {{"", ""}}, "=\n"},
      {"a=1\r\nb=2\rc=3", {{"a", "1"}, {"b", "2"}, {"c", "3"}}, "a=1\nb=2\nc=3\n"},
      {"x=1\nx=2\n", {{"x", "1"}, {"x", "2"}}, "x=1\nx=2\n"},
      {"", {}, ""},
      {"\xff\xfe=\x80\n", {{"\xff\xfe", "\x80"}}, "\xff\xfe=\x80\n"},
      {std::string("n\0ul=\0\n", 7), {{std::string("n\0ul", 4), std::string(1, '\0')}}, std::string("n\0ul=\0\n", 7)},
      {"=50%\n=x\n50%=%3D\n", {{"", "50%"}, {"", "x"}, {"50%", "%3D"}}, "=50%\n=x\n50%=%3D\n"},
      {"=a%3Db=c%0Ad%25\n", {{"a=b", "c\nd%"}}, "=a%3Db=c%0Ad%25\n"},
      // A line that begins with "=" is split at its first "=" like any other,
      // unless it has the form of an escaped entry.
      {"=a=b\n", {{"", "a=b"}}, "=a=b\n"},
      {"==x\n", {{"", "=x"}}, "==x\n"},
      {"=\n==\n", {{"", ""}, {"", "="}}, "=\n==\n"},
      {"=a=b=c\n", {{"", "a=b=c"}}, "=a=b=c\n"},
      {"=x%25=y\n", {{"", "x%25=y"}}, "=x%25=y\n"},
      // The escaped form of the name "=": taken as such, and written back the same.
      {"=%3D=y\n", {{"=", "y"}}, "=%3D=y\n"},
      {"==%0A\n", {{"", "\n"}}, "==%0A\n"},
      // Not what escaping gives (a third "=", an unknown or lower-case code, a
      // lone "%"): plain lines.
      {"=%3D=y=z\n", {{"", "%3D=y=z"}}, "=%3D=y=z\n"},
      {"=%3d=y\n", {{"", "%3d=y"}}, "=%3d=y\n"},
      {"=%3D%=y\n", {{"", "%3D%=y"}}, "=%3D%=y\n"},
      {"=%41%3D=y\n", {{"", "%41%3D=y"}}, "=%41%3D=y\n"},
      // Earlier versions also escaped an empty name whose value held a "%".
      {"==50%25\n", {{"", "50%"}}, "=50%\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::PrintToString(row.file));
    load(row.file);
    EXPECT_EQ(entries(), row.entries);
    write();
    EXPECT_EQ(ReadFile(path()), row.written);
  }
}

TEST_F(Prefs, duplicateNames_firstIsReadAndSet_deleteRemovesAll) {
  load("x=1\nx=2\ny=3\nx=4\n");
  EXPECT_EQ(REALEasyPrefs::GetPrefString("x", ""), "1");
  REALEasyPrefs::SetPrefString("x", "9");
  write();
  EXPECT_EQ(ReadFile(path()), "x=9\nx=2\ny=3\nx=4\n");
  REALEasyPrefs::DeletePref("x");
  EXPECT_EQ(entries(), (std::vector<std::pair<std::string, std::string>>{{"y", "3"}}));
}

// Lookups stay those of a search from the first entry, whatever came before:
// a reload that moves a name's first entry, deletions that move every entry
// behind them, appends after them.
TEST_F(Prefs, lookups_findTheFirstEntryAfterReloadsDeletesAndAppends) {
  load("a=1\nb=2\n");
  EXPECT_EQ(REALEasyPrefs::GetPrefString("b", ""), "2");
  load("b=first\nb=second\nx=1\ny=2\nx=3\nz=4\ny=5\n");
  EXPECT_EQ(REALEasyPrefs::GetPrefString("b", ""), "first");
  EXPECT_EQ(REALEasyPrefs::GetPrefString("a", "absent"), "absent");
  REALEasyPrefs::SetPrefString("y", "changed");
  EXPECT_EQ(REALEasyPrefs::GetPrefString("y", ""), "changed");

  REALEasyPrefs::DeletePref("x");
  REALEasyPrefs::DeletePref("b");
  EXPECT_EQ(REALEasyPrefs::GetPrefString("x", "gone"), "gone");
  EXPECT_EQ(REALEasyPrefs::GetPrefString("y", ""), "changed");
  EXPECT_EQ(REALEasyPrefs::GetPrefString("z", ""), "4");
  REALEasyPrefs::SetPrefString("z", "5");
  REALEasyPrefs::SetPrefString("x", "new");
  REALEasyPrefs::SetPrefString("b", "again");
  REALEasyPrefs::SetPrefString("x", "newer");
  EXPECT_EQ(REALEasyPrefs::GetPrefString("x", ""), "newer");
  REALEasyPrefs::DeletePref("absent");
  write();
  EXPECT_EQ(ReadFile(path()), "y=changed\nz=5\ny=5\nx=newer\nb=again\n");

  // Emptied and filled again from outside, as the tests' own reset and setup do.
  REALEasyPrefs::prefNames.clear();
  REALEasyPrefs::prefItems.clear();
  for (const char* name : {"p", "q", "r", "s", "t", "u"}) {
    REALEasyPrefs::prefNames.emplace_back(name);
    REALEasyPrefs::prefItems.emplace_back(std::string(name) + "1");
  }
  EXPECT_EQ(REALEasyPrefs::GetPrefString("p", ""), "p1");
  EXPECT_EQ(REALEasyPrefs::GetPrefString("y", "gone"), "gone");
}

TEST_F(Prefs, setters_replaceInPlaceOrAppend) {
  load("a=1\nb=2\n");
  REALEasyPrefs::SetPrefString("a", "");
  REALEasyPrefs::SetPrefNumber("c", -5);
  EXPECT_EQ(REALEasyPrefs::GetPrefString("a", "default"), "");
  write();
  EXPECT_EQ(ReadFile(path()), "a=\nb=2\nc=-5\n");
}

TEST_F(Prefs, numbers_fromOddText) {
  struct Row {
    const char* stored;
    std::int32_t expected;
  };
  const std::vector<Row> rows = {{"", 0}, {"abc", 0}, {"12abc", 12}, {"-3", -3}, {"2.9", 2},
                                 {"99999999999", 2147483647}, {" 4", 4}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.stored);
    REALEasyPrefs::SetPrefString("n", row.stored);
    EXPECT_EQ(REALEasyPrefs::GetPrefNumber("n", 42), row.expected);
  }
  EXPECT_EQ(REALEasyPrefs::GetPrefNumber("absent", 42), 42);
}

TEST_F(Prefs, windowBounds) {
  loadAgain();
  FakeWindow window;
  REALEasyPrefs::GetPrefWindow("Window_RE", window);
  EXPECT_EQ((std::vector<std::int32_t>{window.l, window.t, window.w, window.h}),
            (std::vector<std::int32_t>{1, 2, 3, 4}));

  REALEasyPrefs::SetPrefString("Window_RE", "10,20");
  window.calls.clear();
  REALEasyPrefs::GetPrefWindow("Window_RE", window);
  EXPECT_EQ(window.calls, (std::vector<std::string>{"Left", "Top", "Width", "Height"}));
  EXPECT_EQ((std::vector<std::int32_t>{window.l, window.t, window.w, window.h}),
            (std::vector<std::int32_t>{10, 20, 0, 0}));

  FakeWindow left;
  left.l = -1200, left.t = 40, left.w = 350, left.h = 88;
  REALEasyPrefs::SetPrefWindow("Window_RE", &left);
  EXPECT_EQ(REALEasyPrefs::GetPrefString("Window_RE", ""), "-1200,40,350,88");
  FakeWindow restored;
  REALEasyPrefs::GetPrefWindow("Window_RE", restored);
  EXPECT_EQ(restored.l, -1200);
  REALEasyPrefs::SetPrefWindow("Window_RE", nullptr);
  EXPECT_EQ(REALEasyPrefs::GetPrefString("Window_RE", "gone"), "gone");
}

TEST_F(Prefs, folderDefaults) {
  loadAgain();
  EXPECT_TRUE(REALEasyPrefs::GetPrefFolderItem("SavePath", FolderItem()).IsNil());
  EXPECT_EQ(REALEasyPrefs::GetPrefFolderItem("SavePath", SpecialFolder::Desktop()).AbsolutePath(),
            SpecialFolder::Desktop().AbsolutePath());
  REALEasyPrefs::SetPrefFolderItem("SavePath", GetFolderItem("/tmp/x=y"));
  EXPECT_EQ(REALEasyPrefs::GetPrefFolderItem("SavePath", FolderItem()).AbsolutePath(), "/tmp/x=y");
  REALEasyPrefs::SetPrefFolderItem("SavePath", FolderItem());
  EXPECT_TRUE(REALEasyPrefs::GetPrefFolderItem("SavePath", FolderItem()).IsNil());
}

TEST_F(Prefs, unwrittenChange_isLostOnReload_writtenOneStays) {
  load("a=1\n");
  REALEasyPrefs::SetPrefString("a", "2");
  loadAgain();
  EXPECT_EQ(REALEasyPrefs::GetPrefString("a", ""), "1");
  REALEasyPrefs::SetPrefString("a", "2");
  write();
  const std::string once = ReadFile(path());
  write();
  EXPECT_EQ(ReadFile(path()), once);
  loadAgain();
  EXPECT_EQ(REALEasyPrefs::GetPrefString("a", ""), "2");
}

// Names may hold "=" (RE file names do) and, in principle, line ends: they must
// survive a write and a load, while ordinary entries keep their plain form.
TEST_F(Prefs, awkwardTexts_roundTrip) {
  const std::vector<std::pair<std::string, std::string>> all = {
      {"Counter a=b.re", "3"}, {"Time x\ny", "v"}, {"n\r", "v\r\n"}, {"50%", "100%"},
      {"", "a=b"},             {"", "%3D"},       {"", ""},         {"=", "="},
      {"plain", "with = and %0A"},
      // Empty names: plain unless "=" + value would read as an escaped line.
      {"", "%3D=y"}, {"", "=50%25"}, {"", "=%0A"}, {"", "=="},
  };
  load("");
  // Setters keep the first of a name: put the entries in as loaded ones.
  for (const auto& [name, value] : all) {
    REALEasyPrefs::prefNames.push_back(name);
    REALEasyPrefs::prefItems.push_back(value);
  }
  write();
  const std::string file = ReadFile(path());
  EXPECT_NE(file.find("50%=100%\n"), std::string::npos);
  EXPECT_NE(file.find("plain=with = and %0A\n"), std::string::npos);
  loadAgain();
  EXPECT_EQ(entries(), all);
}

// ---- A preference file that exists but cannot be read ----

namespace {

using UnreadableCase = testing_support::UnreadableItem;
using testing_support::Snapshot;

}  // namespace

class UnreadablePreferenceFile : public Prefs, public ::testing::WithParamInterface<UnreadableCase> {
 protected:
  void SetUp() override {
    Prefs::SetUp();
    fs::remove_all(path());
    if (GetParam().onlyWithoutRoot && ::geteuid() == 0) GTEST_SKIP() << "root reads any file";
    GetParam().make(path());
  }
  void TearDown() override { mend(); }
  void mend() {
    std::error_code ec;
    fs::permissions(path(), fs::perms::owner_all, ec);
    fs::remove_all(path(), ec);
  }
};

TEST_P(UnreadablePreferenceFile, isReported_andNeverReplaced) {
  const std::string before = Snapshot(path());
  const auto folderBefore = testing_support::folderNames(SpecialFolder::Preferences().AbsolutePath());

  const IOResult loaded = REALEasyPrefs::InitPrefFile("Quirlomatic");
  EXPECT_FALSE(loaded);
  EXPECT_EQ(loaded.Message(), "Cannot read file " + path() + ":\n" + std::strerror(GetParam().error) + ".");
  EXPECT_TRUE(REALEasyPrefs::prefFileUnreadable);
  EXPECT_TRUE(entries().empty());

  // The run goes on with its settings in memory; the writes leave the file alone.
  REALEasyPrefs::SetPrefNumber("Counter Bass.re", 2);
  EXPECT_EQ(REALEasyPrefs::GetPrefNumber("Counter Bass.re", 0), 2);
  write();
  write();
  EXPECT_EQ(Snapshot(path()), before);
  EXPECT_EQ(testing_support::folderNames(SpecialFolder::Preferences().AbsolutePath()), folderBefore);

  // Once the item is mended, the next load writes again.
  mend();
  load("a=1\n");
  EXPECT_FALSE(REALEasyPrefs::prefFileUnreadable);
  REALEasyPrefs::SetPrefString("a", "2");
  write();
  EXPECT_EQ(ReadFile(path()), "a=2\n");
}

INSTANTIATE_TEST_SUITE_P(
    Prefs, UnreadablePreferenceFile, ::testing::ValuesIn(testing_support::UnreadableItems()),
    [](const ::testing::TestParamInfo<UnreadableCase>& info) { return std::string(info.param.name); });

// A write that fails half way (here: the file-size limit) leaves the old file whole.
TEST_F(Prefs, failedWrite_leavesTheOldFileWhole) {
  load("keep=this\n");
  const pid_t child = fork();
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{4096, 4096};
    setrlimit(RLIMIT_FSIZE, &limit);
    for (int i = 0; i < 1000; ++i) REALEasyPrefs::SetPrefString("k" + std::to_string(i), std::string(100, 'v'));
    const IOResult result = REALEasyPrefs::WritePrefFile();
    _exit(result ? 1 : 0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the write should have failed";
  EXPECT_EQ(ReadFile(path()), "keep=this\n");
  for (const auto& entry : fs::directory_iterator(SpecialFolder::Preferences().Path()))
    EXPECT_EQ(entry.path().filename(), REALEasyPrefs::kBundleIdentifier) << "temporary file left behind";
}
