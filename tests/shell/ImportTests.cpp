#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>

#if defined(__linux__)
#include <linux/fs.h>
#include <sys/ioctl.h>
#endif
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>

#include "ShellFixture.h"
#include "TestSupport.h"
#include "prefs/REALEasyPrefs.h"

using namespace platform;
namespace fs = std::filesystem;
using testing_support::ReadFile;
using testing_support::WriteFile;
using Texts = std::vector<std::string>;

namespace {

using testing_support::ModalAnswers;
using Shown = ModalAnswers::BoxSeen;

std::function<void(QFileDialog*)> chooseFile(const std::string& path) {
  return [path](QFileDialog* dialog) {
    dialog->findChild<QLineEdit*>("fileNameEdit")->setText(QString::fromStdString(path));
    QMetaObject::invokeMethod(dialog, "accept");
  };
}

// The dialog has checked that the file exists; it goes before the dialog returns it.
std::function<void(QFileDialog*)> chooseFileThatVanishes(const std::string& path) {
  return [path](QFileDialog* dialog) {
    QObject::connect(dialog, &QFileDialog::fileSelected, [path] { fs::remove(path); });
    chooseFile(path)(dialog);
  };
}

void cancel(QFileDialog* dialog) { QMetaObject::invokeMethod(dialog, "reject"); }

// Every item below `folder`, by relative path, with the content of each file.
std::map<std::string, std::string> snapshot(const fs::path& folder) {
  std::map<std::string, std::string> items;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string relative = fs::relative(it->path(), folder).string();
    items[relative] = it->is_directory() ? "<folder>" : ReadFile(it->path().string());
  }
  return items;
}

FolderItem prefFile() { return SpecialFolder::Preferences().Child(REALEasyPrefs::kBundleIdentifier); }

void writePrefs(const std::string& text) {
  fs::create_directories(SpecialFolder::Preferences().Path());
  WriteFile(prefFile().AbsolutePath(), text);
}

class Import : public StartedApp {
 public:
  void SetUp() override {
    StartedApp::SetUp();
    elsewhere = fs::path(QDir::homePath().toStdString()) / "Downloads";
    fs::create_directories(elsewhere);
  }

  std::string fileElsewhere(const std::string& name, const std::string& text) {
    const std::string path = (elsewhere / name).string();
    WriteFile(path, text);
    return path;
  }

  std::vector<Shown> run(std::function<void(QFileDialog*)> choose) {
    ModalAnswers answers(ModalAnswers::EveryFileDialog{}, std::move(choose));
    answers.pressDefaultButton = true;
    app->Choose(FileImport());
    Texts titles;
    for (const auto& dialog : answers.fileDialogsSeen) titles.push_back(dialog.title);
    EXPECT_EQ(titles, Texts{"Import RE description..."});
    return answers.boxesSeen;
  }

  static Texts texts(const std::vector<Shown>& boxes) {
    Texts result;
    for (const auto& box : boxes) result.push_back(box.objectName + ": " + box.text);
    return result;
  }

  std::string library(const std::string& name) const { return RELibraryFolder().Child(name).AbsolutePath(); }

  fs::path elsewhere;
};

}  // namespace

TEST_F(Import, cancelled_changesNothing_andRebuildsTheMenu) {
  AddDescription("A", "a");
  Start();
  AddDescription("B", "b");  // behind the program's back: only a rebuild lists it
  const auto before = snapshot(RELibraryFolder().Path());
  EXPECT_EQ(texts(run(cancel)), Texts{});
  EXPECT_EQ(snapshot(RELibraryFolder().Path()), before);
  EXPECT_EQ(MenuTexts(), (Texts{"A", "B", "-", "Show in Finder"}));
}

TEST_F(Import, chosenFileGoneBeforeTheDialogReturned_saysFileNotFound) {
  Start();
  AddDescription("B", "b");
  const auto before = snapshot(RELibraryFolder().Path());
  const std::string chosen = fileElsewhere("Bass", "x");
  EXPECT_EQ(texts(run(chooseFileThatVanishes(chosen))), Texts{"MsgBox: File not found!"});
  EXPECT_EQ(snapshot(RELibraryFolder().Path()), before);
  EXPECT_EQ(MenuTexts(), (Texts{"B", "-", "Show in Finder"}));
}

TEST_F(Import, fromAnotherFolder_movesTheFileIntoTheLibraryAndListsIt) {
  Start();
  const std::string chosen = fileElsewhere("Bass", "line\n");
  const auto boxes = run(chooseFile(chosen));
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].objectName, "MessageDialog");
  EXPECT_EQ(boxes[0].text, "Import successful!");
  EXPECT_EQ(boxes[0].informativeText, "Please adjust the filter settings!");
  EXPECT_EQ(boxes[0].icon, QMessageBox::Information);
  EXPECT_EQ(boxes[0].buttons, Texts{"Ok"});
  EXPECT_FALSE(fs::exists(chosen));
  // Nothing else arrived, no temporary item either.
  EXPECT_EQ(snapshot(RELibraryFolder().Path()),
            (std::map<std::string, std::string>{{"Bass", "line\n"}, {"Quirlomatic Filters", "<folder>"}}));
  EXPECT_EQ(MenuTexts(), (Texts{"Bass", "-", "Show in Finder"}));
  EXPECT_EQ(app->Selected_RE, "");
}

TEST_F(Import, reimport_replacesTheDescription_keepsFilterCounterAndRecentPlace) {
  AddDescription("Bass", "old\n");
  AddDescription("Pad", "p\n");
  fs::create_directories(FilterFolder().Path());
  WriteFile(FilterFolder().Child("Bass").AbsolutePath(), "G\n#+#+#+#+#\np\n");
  writePrefs("Counter Bass=7\nTime Bass=2026-01-02 00:00:00\nTime Pad=2026-01-01 00:00:00\n");
  Start();
  const Texts menu = {"Bass", "Pad", "-", "Bass", "Pad", "-", "Show in Finder"};
  ASSERT_EQ(MenuTexts(), menu);
  const std::string prefsBefore = ReadFile(prefFile().AbsolutePath());

  EXPECT_EQ(texts(run(chooseFile(fileElsewhere("Bass", "new\n")))),
            Texts{"MessageDialog: Import successful!"});
  EXPECT_EQ(ReadFile(library("Bass")), "new\n");
  EXPECT_EQ(ReadFile(FilterFolder().Child("Bass").AbsolutePath()), "G\n#+#+#+#+#\np\n");
  EXPECT_EQ(REALEasyPrefs::GetPrefNumber("Counter Bass", 0), 7);
  EXPECT_EQ(ReadFile(prefFile().AbsolutePath()), prefsBefore);
  EXPECT_EQ(MenuTexts(), menu);
}

TEST_F(Import, dotFile_isMovedButNeverListed) {
  Start();
  const std::string chosen = fileElsewhere(".hidden", "x");
  EXPECT_EQ(texts(run(chooseFile(chosen))), Texts{"MessageDialog: Import successful!"});
  EXPECT_FALSE(fs::exists(chosen));
  EXPECT_EQ(ReadFile(library(".hidden")), "x");
  EXPECT_EQ(MenuTexts(), (Texts{"-", "Show in Finder"}));
}

// Imports that would cost the library something are refused, touching nothing.
namespace {
struct RefusalCase {
  const char* name;
  std::function<std::string(Import&)> prepare;  // gives the file to choose
  std::string message;
  Texts menu;
};

void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.name; }

class ImportRefusal : public Import, public ::testing::WithParamInterface<RefusalCase> {};

const std::vector<RefusalCase> kRefusals = {
    {"chosenInTheLibraryItself",
     [](Import&) { return RELibraryFolder().Child("Bass").AbsolutePath(); },
     "\u201cBass\u201d is already in the library.",
     {"Bass", "-", "Show in Finder"}},
    {"namedLikeTheFilterFolder",
     [](Import& t) { return t.fileElsewhere("Quirlomatic Filters", "x"); },
     "A description cannot be named \u201cQuirlomatic Filters\u201d, the name of the library's filter "
     "folder. "
     "Please rename the file first.",
     {"Bass", "-", "Show in Finder"}},
    {"filterFileOfTheLibrary",
     [](Import&) { return FilterFolder().Child("Bass").AbsolutePath(); },
     "\u201cBass\u201d is a filter file of the library, not an RE description.",
     {"Bass", "-", "Show in Finder"}},
    {"libraryItemOfThatNameIsAFolder",
     [](Import& t) {
       fs::create_directories(RELibraryFolder().Child("Pad").Path());
       WriteFile(RELibraryFolder().Child("Pad").Child("inside").AbsolutePath(), "kept");
       return t.fileElsewhere("Pad", "new");
     },
     "The library holds a folder named \u201cPad\u201d, which an import does not replace. "
     "Please move or rename that folder first.",
     {"Bass", "Pad", "-", "Show in Finder"}},
};
}  // namespace

TEST_P(ImportRefusal, saysWhy_andTouchesNothing) {
  AddDescription("Bass", "mine\n");
  fs::create_directories(FilterFolder().Path());
  WriteFile(FilterFolder().Child("Bass").AbsolutePath(), "G\n#+#+#+#+#\n");
  Start();
  const std::string chosen = GetParam().prepare(*this);
  const auto libraryBefore = snapshot(RELibraryFolder().Path());
  const auto elsewhereBefore = snapshot(elsewhere);
  EXPECT_EQ(texts(run(chooseFile(chosen))), Texts{"MsgBox: " + GetParam().message});
  EXPECT_EQ(snapshot(RELibraryFolder().Path()), libraryBefore);
  EXPECT_EQ(snapshot(elsewhere), elsewhereBefore);
  EXPECT_EQ(MenuTexts(), GetParam().menu);
}

INSTANTIATE_TEST_SUITE_P(Cases, ImportRefusal, ::testing::ValuesIn(kRefusals),
                         [](const auto& info) { return std::string(info.param.name); });

// A library removed while the program runs is named, and not made again
// before the next start.
TEST_F(Import, libraryFolderGone_isNamed_andTheChosenFileStays) {
  Start();
  fs::remove_all(RELibraryFolder().Path());
  const std::string chosen = fileElsewhere("Bass", "new\n");
  EXPECT_EQ(texts(run(chooseFile(chosen))),
            Texts{"IOErrorBox: Cannot import file " + chosen + ":\nThe library folder " +
                  RELibraryFolder().AbsolutePath() +
                  " does not exist; Quirlomatic makes it again when it next starts."});
  EXPECT_EQ(ReadFile(chosen), "new\n");
  EXPECT_FALSE(RELibraryFolder().Exists());
}

// Its owner may move a file that nobody may read; so may the import.
TEST_F(Import, fileThatCannotBeRead_isMovedAllTheSame) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads any file";
  Start();
  const std::string chosen = fileElsewhere("Bass", "new\n");
  fs::permissions(chosen, fs::perms::none);
  EXPECT_EQ(texts(run(chooseFile(chosen))), Texts{"MessageDialog: Import successful!"});
  EXPECT_FALSE(fs::exists(chosen));
  EXPECT_EQ(fs::status(library("Bass")).permissions(), fs::perms::none);
  EXPECT_EQ(MenuTexts(), (Texts{"Bass", "-", "Show in Finder"}));
}

// A link is not moved: from the library a relative one would lead nowhere.
// The library gets a copy of the file it names, under the link's name, and
// the link and that file stay as they were.
TEST_F(Import, link_copiesTheFileItNames_andLeavesBothAsTheyWere) {
  Start();
  const std::string real = fileElsewhere("Real.re", "real\n");
  fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  const std::string link = (fs::path(QDir::homePath().toStdString()) / "links" / "Link.re").string();
  fs::create_directories(fs::path(link).parent_path());
  fs::create_symlink("../Downloads/Real.re", link);
  const std::string linkBefore = testing_support::Snapshot(link), realBefore = testing_support::Snapshot(real);
  EXPECT_EQ(texts(run(chooseFile(link))), Texts{"MessageDialog: Import successful!"});
  EXPECT_EQ(testing_support::Snapshot(link), linkBefore);
  EXPECT_EQ(testing_support::Snapshot(real), realBefore);
  EXPECT_FALSE(fs::is_symlink(library("Link.re")));
  EXPECT_EQ(ReadFile(library("Link.re")), "real\n");
  EXPECT_EQ(fs::status(library("Link.re")).permissions(), fs::status(real).permissions());
  EXPECT_EQ(MenuTexts(), (Texts{"Link.re", "-", "Show in Finder"}));
}

// The file a link names goes after the dialog has returned the link.
TEST_F(Import, linkToNothing_isNamed_andStays) {
  Start();
  const std::string real = fileElsewhere("Real.re", "real\n");
  const std::string link = (elsewhere / "Link.re").string();
  fs::create_symlink("Real.re", link);
  const auto libraryBefore = snapshot(RELibraryFolder().Path());
  EXPECT_EQ(texts(run([&](QFileDialog* dialog) {
              QObject::connect(dialog, &QFileDialog::fileSelected, [real] { fs::remove(real); });
              chooseFile(link)(dialog);
            })),
            Texts{"IOErrorBox: Cannot copy file " + link + ":\nNo such file or directory."});
  EXPECT_EQ(fs::read_symlink(link), "Real.re");
  EXPECT_EQ(snapshot(RELibraryFolder().Path()), libraryBefore);
  EXPECT_EQ(MenuTexts(), (Texts{"-", "Show in Finder"}));
}

namespace {
// Sets the file system's immutable flag while it lives (nothing, not even
// root, may then replace the file); Set() is false where that is unsupported.
class Immutable {
 public:
  explicit Immutable(const std::string& path) : path_(path) {}
  ~Immutable() {
    if (set_) flag(false);
  }
  bool Set() { return set_ = flag(true); }

 private:
  bool flag([[maybe_unused]] bool on) {
#if defined(__linux__)
    const int fd = ::open(path_.c_str(), O_RDONLY);
    if (fd < 0) return false;
    int flags = 0;
    bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
    ok = ok && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    ::close(fd);
    return ok;
#else
    return false;
#endif
  }
  std::string path_;
  bool set_ = false;
};

dev_t deviceOf(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? st.st_dev : 0;
}
}  // namespace

TEST_F(Import, oldDescriptionCannotBeReplaced_bothStayAsTheyWere) {
  AddDescription("Bass", "old\n");
  Start();
  Immutable locked(library("Bass"));
  if (!locked.Set()) GTEST_SKIP() << "the immutable flag cannot be set here (it needs root and a file system that has it)";
  const std::string chosen = fileElsewhere("Bass", "new\n");
  const auto libraryBefore = snapshot(RELibraryFolder().Path());
  EXPECT_EQ(texts(run(chooseFile(chosen))),
            Texts{"IOErrorBox: Cannot move file " + chosen + ":\nOperation not permitted."});
  EXPECT_EQ(ReadFile(chosen), "new\n");
  EXPECT_EQ(snapshot(RELibraryFolder().Path()), libraryBefore);
  EXPECT_EQ(MenuTexts(), (Texts{"Bass", "-", "Show in Finder"}));
}

namespace {
// A folder on another file system than the test's home, for moves that must copy.
class ImportAcrossFileSystems : public Import {
 protected:
  void SetUp() override {
    Import::SetUp();
    if (!other.isValid() || deviceOf(other.path().toStdString()) == deviceOf(QDir::homePath().toStdString()))
      GTEST_SKIP() << "no second file system at /dev/shm";
  }
  std::string fileThere(const std::string& name, const std::string& text) {
    const std::string path = other.filePath(QString::fromStdString(name)).toStdString();
    WriteFile(path, text);
    return path;
  }
  QTemporaryDir other{"/dev/shm/quirlomatic-test-XXXXXX"};
};
}  // namespace

// Every byte and the permission bits arrive; nothing else is left behind.
TEST_F(ImportAcrossFileSystems, copiesThenRemovesTheOriginal) {
  AddDescription("Bass", "old\n");
  Start();
  std::string bytes(200000, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 % 251);
  const std::string chosen = fileThere("Bass", bytes);
  const auto mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
  fs::permissions(chosen, mode);
  EXPECT_EQ(texts(run(chooseFile(chosen))), Texts{"MessageDialog: Import successful!"});
  EXPECT_FALSE(fs::exists(chosen));
  EXPECT_EQ(snapshot(RELibraryFolder().Path()),
            (std::map<std::string, std::string>{{"Bass", bytes}, {"Quirlomatic Filters", "<folder>"}}));
  EXPECT_EQ(fs::status(library("Bass")).permissions(), mode);
}

// The library's item of that name is replaced, as a move replaces it: a link
// there is not written through, and the file it names stays as it was.
TEST_F(ImportAcrossFileSystems, replacesALinkOfThatName_notWhatItNames) {
  Start();
  const std::string kept = fileElsewhere("Kept", "kept\n");
  fs::create_symlink(kept, library("Bass"));
  const std::string keptBefore = testing_support::Snapshot(kept);
  const std::string chosen = fileThere("Bass", "new\n");
  EXPECT_EQ(texts(run(chooseFile(chosen))), Texts{"MessageDialog: Import successful!"});
  EXPECT_FALSE(fs::is_symlink(library("Bass")));
  EXPECT_EQ(ReadFile(library("Bass")), "new\n");
  EXPECT_EQ(testing_support::Snapshot(kept), keptBefore);
}

// The copy is in the library and the import done when the original cannot be
// removed: the notice says both.
TEST_F(ImportAcrossFileSystems, originalThatCannotBeRemoved_stillSucceeds_andSaysWhereItStays) {
  AddDescription("Bass", "old\n");
  Start();
  const std::string chosen = fileThere("Bass", "new\n");
  Immutable locked(other.path().toStdString());  // nothing may leave the folder, not even for root
  if (!locked.Set()) GTEST_SKIP() << "the immutable flag cannot be set on /dev/shm here (it needs root and a file system that has it)";
  const Texts namesBefore = testing_support::folderNames(RELibraryFolder().AbsolutePath());
  const auto boxes = run(chooseFile(chosen));
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].objectName, "MessageDialog");
  EXPECT_EQ(boxes[0].text, "Import successful!");
  EXPECT_EQ(boxes[0].informativeText, "Please adjust the filter settings!\n\nThe original file " + chosen +
                                          " could not be removed: Operation not permitted.");
  EXPECT_EQ(boxes[0].buttons, Texts{"Ok"});
  EXPECT_EQ(ReadFile(chosen), "new\n");
  EXPECT_EQ(ReadFile(library("Bass")), "new\n");
  // No temporary item is left behind.
  EXPECT_EQ(testing_support::folderNames(RELibraryFolder().AbsolutePath()), namesBefore);
}

TEST_F(ImportAcrossFileSystems, failedCopy_keepsBothFiles_leavesNoPartialCopy) {
  AddDescription("Bass", "old\n");
  Start();
  const std::string big(64 * 1024, 'x');
  const std::string chosen = fileThere("Bass", big);
  const auto libraryBefore = snapshot(RELibraryFolder().Path());
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit small = saved;
  small.rlim_cur = 4096;  // SIGXFSZ is ignored by the test main: writes fail with EFBIG
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const auto boxes = run(chooseFile(chosen));
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &saved), 0);
  // The reason is the C++ library's rendering of EFBIG; only the file is pinned.
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].objectName, "IOErrorBox");
  const std::string prefix = "Cannot write file " + library("Bass") + ":\n";
  EXPECT_EQ(boxes[0].text.rfind(prefix, 0), 0u) << boxes[0].text;
  EXPECT_GT(boxes[0].text.size(), prefix.size() + 1) << "no reason given";
  EXPECT_EQ(ReadFile(chosen), big);
  EXPECT_EQ(snapshot(RELibraryFolder().Path()), libraryBefore);
}

// Reset Numbers
TEST_F(StartedApp, resetNumbers_onAnEmptyLibrary_rewritesTheSameEntries) {
  const std::string prefs = "Counter Gone=3\nTime X=2026-01-01 00:00:00\nbare=\n";
  writePrefs(prefs);
  Start();
  fs::remove(prefFile().Path());  // so the test sees the file written again
  app->Choose(FileResetNumbers());
  EXPECT_EQ(ReadFile(prefFile().AbsolutePath()), prefs);
}

TEST_F(StartedApp, resetNumbers_zeroesEveryDescription_appendsMissingCounters_skipsFoldersAndDotFiles) {
  AddDescription("A", "a");
  AddDescription("B", "b");
  AddDescription(".hidden", "h");
  fs::create_directories(RELibraryFolder().Child("Sub").Path());
  writePrefs("Counter A=5\nOther=x\n");
  Start();
  app->Choose(FileResetNumbers());
  EXPECT_EQ(ReadFile(prefFile().AbsolutePath()), "Counter A=0\nOther=x\nCounter B=0\n");
}
