// An import stopped by kill -9 at each of its steps: the user's file is
// always whole at its source or in the library, and the next start leaves
// nothing of the stopped import behind.
#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "AppDriver.h"
#include "TestSupport.h"
#include "prefs/REALEasyPrefs.h"
#include "shell/App.h"
#include "shell/MenuBar1.h"
#include "shell/StartUp.h"

using namespace platform;
using namespace testing_support;
namespace fs = std::filesystem;
using Texts = std::vector<std::string>;

namespace {
constexpr const char* kName = "Bass.re";
const std::string kOld = "old description\n";
const std::string kNew = std::string(100000, 'n') + "\n";  // a part of it cannot pass for it
}  // namespace

// The process the tests below stop: it starts the application in the home
// they prepared and, when given a file, imports it. Run without them it has
// nothing to do.
TEST(ImportCrashChild, startsAndImports) {
  if (qEnvironmentVariableIsEmpty("QM_TEST_HOME")) GTEST_SKIP() << "run by the ImportCrash tests";
  auto app = std::make_unique<App>();
  InstallApplication(*app);
  app->Open();
  const std::string source = qEnvironmentVariable("QM_IMPORT_SOURCE").toStdString();
  if (source.empty()) return;
  ModalAnswers answers({Choose(source)});
  choose(FileImport());
  EXPECT_EQ(answers.boxes, Texts{"MessageDialog: Import successful!"});
}

namespace {
// One import in a home of its own, and whether a kill stopped it.
struct Attempt {
  std::string home, source, library, target;
  bool killed = false;
};

class ImportCrash : public ::testing::TestWithParam<bool /* from another file system */> {
 protected:
  void SetUp() override {
    strace_ = QStandardPaths::findExecutable("strace");
    if (strace_.isEmpty()) GTEST_SKIP() << "strace is not installed";
    ASSERT_TRUE(work_.isValid());
    if (GetParam()) {
      if (!other_.isValid() || deviceOf(other_.path()) == deviceOf(work_.path()))
        GTEST_SKIP() << "no second file system at /dev/shm";
    }
  }

  static dev_t deviceOf(const QString& path) {
    struct stat st {};
    return ::stat(path.toLocal8Bit().constData(), &st) == 0 ? st.st_dev : 0;
  }

  Attempt prepare() {
    const QString name = "run-" + QString::number(++runs_);
    Attempt run;
    run.home = canonical(work_.filePath(name));
    run.library = run.home + "/.local/share/Quirlomatic";
    run.target = run.library + "/" + kName;
    fs::create_directories(run.library + "/Quirlomatic Filters");
    WriteFile(run.target, kOld);
    // With its preference file in place the start writes nothing: the kills
    // fall in the import (or in the test harness around it).
    fs::create_directories(run.home + "/.config");
    WriteFile(run.home + "/.config/" + REALEasyPrefs::kBundleIdentifier, "");
    const std::string from = GetParam() ? canonical(other_.filePath(name)) : run.home + "/Downloads";
    fs::create_directories(from);
    run.source = from + "/" + kName;
    WriteFile(run.source, kNew);
    return run;
  }

  // The child under strace, killed at the n-th call of `calls`. (strace -P
  // would count only the calls naming the import's paths, but it does not
  // look at the second name of a rename.)
  void importKilledAt(Attempt& run, const QString& calls, int n) {
    const QStringList arguments = {"-f", "-qq", "-o", "/dev/null", "-e", "trace=" + calls, "-e",
                                   "inject=" + calls + ":signal=KILL:when=" + QString::number(n),
                                   QCoreApplication::applicationFilePath(), "--gtest_filter=ImportCrashChild.*"};
    run.killed = !runChild(strace_, arguments, run.home, QString::fromStdString(run.source));
  }

  // The next start, in the same home.
  void start(const Attempt& run) {
    EXPECT_TRUE(runChild(QCoreApplication::applicationFilePath(), {"--gtest_filter=ImportCrashChild.*"},
                         run.home, {}));
  }

  // Whether the child ran to its end; one that fails fails the test.
  bool runChild(const QString& program, const QStringList& arguments, const std::string& home,
                const QString& source) {
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QM_TEST_HOME", QString::fromStdString(home));
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    if (!source.isEmpty()) environment.insert("QM_IMPORT_SOURCE", source);
    // LeakSanitizer cannot run under ptrace; the child's test is leak-checked on its own.
    const QString sanitizer = environment.value("ASAN_OPTIONS");
    environment.insert("ASAN_OPTIONS", sanitizer + (sanitizer.isEmpty() ? "" : ":") + "detect_leaks=0");
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(program, arguments);
    EXPECT_TRUE(child.waitForFinished(60000));
    if (child.exitStatus() == QProcess::CrashExit) return false;
    EXPECT_EQ(child.exitCode(), 0) << child.readAll().toStdString();
    return true;
  }

  static std::string canonical(const QString& path) {
    QDir().mkpath(path);
    return QDir(path).canonicalPath().toStdString();
  }

  QString strace_;
  QTemporaryDir work_;
  QTemporaryDir other_{"/dev/shm/quirlomatic-test-XXXXXX"};
  int runs_ = 0;
};

// Where the user's file is: "source" and/or "library", from what stands there.
std::string whereItIs(const Attempt& run) {
  const bool atSource = fs::exists(run.source), inLibrary = ReadFile(run.target) == kNew;
  return std::string(atSource ? "source" : "") + (atSource && inLibrary ? "+" : "") +
         (inLibrary ? "library" : "");
}

// The items of the library that are not a description or the filter folder.
Texts leftovers(const Attempt& run) {
  Texts names;
  for (const std::string& name : folderNames(run.library))
    if (name != kName && name != "Quirlomatic Filters") names.push_back(name);
  return names;
}

// The user's file is whole at one place at least; the library's file of its
// name is the old one or the new one, never a part.
void expectWhole(const Attempt& run, const std::string& when) {
  SCOPED_TRACE(when);
  if (fs::exists(run.source)) {
    EXPECT_EQ(ReadFile(run.source), kNew);
  }
  const std::string inLibrary = ReadFile(run.target);
  EXPECT_TRUE(inLibrary == kOld || inLibrary == kNew) << inLibrary.size() << " bytes";
  EXPECT_NE(whereItIs(run), "");
}
}  // namespace

TEST_P(ImportCrash, atEveryStep_theFileIsWholeAtItsSourceOrInTheLibrary) {
  std::set<std::string> placesAfterAKill;
  // strace counts the calls of each system call apart: one at a time.
  for (const QString calls : {"fsync", "fdatasync", "syncfs", "rename", "renameat", "renameat2", "unlink",
                              "unlinkat", "chmod", "fchmodat", "fchmod"}) {
    for (int n = 1;; ++n) {
      Attempt run = prepare();
      importKilledAt(run, calls, n);
      const std::string step = calls.toStdString() + " #" + std::to_string(n);
      if (!run.killed) {
        // The import ran to its end: the file has moved.
        EXPECT_EQ(whereItIs(run), "library") << step;
        EXPECT_EQ(leftovers(run), Texts{}) << step;
        break;
      }
      ASSERT_LT(n, 20) << step << " never ends";
      placesAfterAKill.insert(whereItIs(run));
      expectWhole(run, "killed at " + step);
      start(run);
      expectWhole(run, "started again after a kill at " + step);
      // A move within one file system leaves nothing behind; what a stopped
      // copy leaves, CopyCrash below follows.
      if (!GetParam()) {
        EXPECT_EQ(leftovers(run), Texts{}) << step;
      }
    }
  }
  // The kills fell before the file arrived, after it, and for a copy also
  // between the copy's arrival and the removal of the original.
  const std::set<std::string> expected =
      GetParam() ? std::set<std::string>{"source", "source+library", "library"}
                 : std::set<std::string>{"source", "library"};
  EXPECT_EQ(placesAfterAKill, expected);
}

INSTANTIATE_TEST_SUITE_P(Faults, ImportCrash, ::testing::Bool(),
                         [](const auto& info) {
                           return std::string(info.param ? "fromAnotherFileSystem" : "withinOneFileSystem");
                         });

namespace {
class CopyCrash : public ImportCrash {};
}  // namespace

// A copy stopped before its rename leaves its temporary file in the library;
// the next start removes it.
TEST_P(CopyCrash, stoppedBeforeItsRename_leavesNothingAfterTheNextStart) {
  // The first rename is the move that the other file system refuses; strace
  // counts the calls of each system call apart.
  bool leftOne = false;
  for (const QString calls : {"rename", "renameat", "renameat2"}) {
    for (int n = 1; !leftOne; ++n) {
      Attempt run = prepare();
      importKilledAt(run, calls, n);
      if (!run.killed) break;
      if (leftovers(run).empty()) continue;
      leftOne = true;
      EXPECT_EQ(whereItIs(run), "source");
      start(run);
      EXPECT_EQ(leftovers(run), Texts{});
      expectWhole(run, "after the next start");
    }
  }
  EXPECT_TRUE(leftOne) << "no rename left a temporary file";
}

INSTANTIATE_TEST_SUITE_P(Faults, CopyCrash, ::testing::Values(true),
                         [](const auto&) { return std::string("fromAnotherFileSystem"); });
