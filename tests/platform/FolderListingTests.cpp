#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <ctime>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "platform/FolderItem.h"

using namespace platform;
using testing_support::WriteFile;
namespace fs = std::filesystem;
using Names = std::vector<std::string>;

namespace {

// A file system whose clock counts in two seconds, as FAT's does: a change
// within the same two seconds as the one before leaves the folder's stamp as
// it was (its size says nothing either, as on most file systems).
std::optional<FolderStamp> twoSecondClock(const fs::path& folder) {
  std::optional<FolderStamp> stamp = ReadFolderStamp(folder);
  if (stamp) {
    stamp->modifiedSeconds -= stamp->modifiedSeconds % 2;
    stamp->changedSeconds -= stamp->changedSeconds % 2;
    stamp->modifiedNanoseconds = stamp->changedNanoseconds = 0;
    stamp->size = 0;
  }
  return stamp;
}

struct Clock {
  const char* name;
  FolderStampReader reader;
  bool settled;  // the folder's last change lies an hour back: its listing is trusted at once
};

struct Change {
  const char* name;
  std::function<void(const fs::path&)> make;
  Names after;
};

struct ListingCase {
  Clock clock;
  Change change;
};

void PrintTo(const ListingCase& c, std::ostream* os) { *os << c.clock.name << "_" << c.change.name; }

Names namesByItem(const FolderItem& folder) {
  Names names;
  for (int i = 1; i <= folder.Count(); ++i) names.push_back(folder.Item(i).Name());
  return names;
}

Names namesOf(const std::vector<FolderItem>& items) {
  Names names;
  for (const FolderItem& item : items) names.push_back(item.Name());
  return names;
}

void touchAnHourBack(const fs::path& folder) {
  timespec times[2];
  ASSERT_EQ(::clock_gettime(CLOCK_REALTIME, &times[0]), 0);
  times[0].tv_sec -= 3600;
  times[1] = times[0];
  ASSERT_EQ(::utimensat(AT_FDCWD, folder.c_str(), times, 0), 0);
}

class ListedFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = fs::temp_directory_path() / "listed";
    fs::create_directories(folder);
    for (const char* name : {"b", "a", "c"}) WriteFile((folder / name).string(), name);
  }
  void TearDown() override { SetFolderStampReader(nullptr); }
  fs::path folder;
};

class FolderListing : public ListedFolder, public ::testing::WithParamInterface<ListingCase> {};

}  // namespace

// Every Count and Item sees the folder as it is, however soon after the
// listing before it the change comes.
TEST_P(FolderListing, seesAChangeRightAfterTheListing) {
  const ListingCase& c = GetParam();
  SetFolderStampReader(c.clock.reader);
  if (c.clock.settled) touchAnHourBack(folder);
  const FolderItem listed(folder);
  ASSERT_EQ(namesByItem(listed), (Names{"a", "b", "c"}));
  c.change.make(folder);
  EXPECT_EQ(namesByItem(listed), c.change.after);
  EXPECT_EQ(namesOf(listed.Items()), c.change.after);
  EXPECT_EQ(listed.Count(), static_cast<int>(c.change.after.size()));
}

namespace {

const Clock kClocks[] = {
    {"fineClock", nullptr, true},
    {"twoSecondClock", twoSecondClock, false},
};

const std::vector<Change> kChanges = {
    {"fileAdded", [](const fs::path& f) { WriteFile((f / "ab").string(), "x"); }, {"a", "ab", "b", "c"}},
    {"fileRemoved", [](const fs::path& f) { fs::remove(f / "b"); }, {"a", "c"}},
    {"renamedWithin", [](const fs::path& f) { fs::rename(f / "a", f / "d"); }, {"b", "c", "d"}},
    {"folderAdded", [](const fs::path& f) { fs::create_directory(f / "0"); }, {"0", "a", "b", "c"}},
    {"folderReplaced",
     [](const fs::path& f) {
       fs::rename(f, f.string() + ".old");
       fs::create_directory(f);
       for (const char* name : {"x", "y", "z"}) WriteFile((f / name).string(), name);
     },
     {"x", "y", "z"}},
};

std::vector<ListingCase> allCases() {
  std::vector<ListingCase> cases;
  for (const Clock& clock : kClocks)
    for (const Change& change : kChanges) cases.push_back({clock, change});
  return cases;
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(Cases, FolderListing, ::testing::ValuesIn(allCases()), [](const auto& info) {
  return std::string(info.param.clock.name) + "_" + info.param.change.name;
});

// The loop of "Reset Numbers" and of the menu build: the count is read again
// before each pass, and an item added meanwhile by another program comes last.
TEST_F(ListedFolder, aLoopOverTheFolderSeesItemsAddedWhileItRuns) {
  for (const Clock& clock : kClocks) {
    SCOPED_TRACE(clock.name);
    SetFolderStampReader(clock.reader);
    fs::remove(folder / "d");
    if (clock.settled) touchAnHourBack(folder);
    const FolderItem listed(folder);
    Names seen;
    for (int i = 1; i <= listed.Count(); ++i) {
      seen.push_back(listed.Item(i).Name());
      if (i == 1) WriteFile((folder / "d").string(), "d");
    }
    EXPECT_EQ(seen, (Names{"a", "b", "c", "d"}));
  }
}

TEST_F(ListedFolder, aMissingFolderHasNoItems) {
  const FolderItem missing(folder / "gone");
  EXPECT_EQ(missing.Count(), 0);
  EXPECT_TRUE(missing.Item(1).IsNil());
  fs::create_directory(folder / "gone");
  WriteFile((folder / "gone" / "now").string(), "here");
  EXPECT_EQ(namesByItem(missing), Names{"now"});
  EXPECT_TRUE(FolderItem().Items().empty());
}
