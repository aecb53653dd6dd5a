#include <QDir>
#include <QFileDialog>
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "platform/Dialogs.h"

using namespace platform;
namespace fs = std::filesystem;

namespace {
struct FileDialogCase {
  const char* name;
  bool folder;    // the folder dialog, else the open dialog
  bool answered;  // else cancelled
};

void PrintTo(const FileDialogCase& c, std::ostream* os) { *os << c.name; }

class FileDialogs : public ::testing::TestWithParam<FileDialogCase> {};

// Every item below the home, by its path and snapshot.
std::vector<std::string> everything(const fs::path& home) {
  std::vector<std::string> items;
  for (const auto& entry : fs::recursive_directory_iterator(home))
    items.push_back(entry.path().string() + " " + testing_support::Snapshot(entry.path().string()));
  std::sort(items.begin(), items.end());
  return items;
}
}  // namespace

// The preference file is the program's only configuration: the toolkit's
// dialogs keep no history or last folder of their own, not even for root.
// (The toolkit takes its settings folder from the first home it sees in a
// process: in a whole run only the first case could show a file there, and
// under ctest, one test a process, each case does.)
TEST_P(FileDialogs, leaveTheHomeAsItWas) {
  const FileDialogCase& c = GetParam();
  const fs::path home = QDir::homePath().toStdString();
  fs::create_directories(home / "chosen");
  testing_support::WriteFile((home / "chosen" / "file").string(), "x");
  const std::string answer = (c.folder ? home / "chosen" : home / "chosen" / "file").string();
  const std::vector<std::string> before = everything(home);

  FolderItem result;
  {
    std::deque<std::function<void(QFileDialog*)>> answers;
    if (c.answered) answers.push_back(testing_support::Choose(answer));
    testing_support::ModalAnswers modal(answers);
    if (c.folder) {
      SelectFolderDialog dialog;
      dialog.Title = "Folder";
      dialog.InitialDirectory = GetFolderItem(home.string());
      result = dialog.ShowModal();
    } else {
      OpenDialog dialog;
      dialog.Title = "File";
      result = dialog.ShowModal();
    }
  }
  EXPECT_EQ(result.IsNil(), !c.answered);
  EXPECT_EQ(everything(home), before);
}

INSTANTIATE_TEST_SUITE_P(Cases, FileDialogs,
                         ::testing::Values(FileDialogCase{"openAnswered", false, true},
                                           FileDialogCase{"openCancelled", false, false},
                                           FileDialogCase{"folderAnswered", true, true},
                                           FileDialogCase{"folderCancelled", true, false}),
                         [](const auto& info) { return std::string(info.param.name); });
