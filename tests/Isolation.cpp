#include "Isolation.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "TestSupport.h"

namespace fs = std::filesystem;

namespace testing_support {
namespace {

const QString kPrefix = "quirlomatic-test-";

std::vector<void (*)()>& resetSteps() {
  static std::vector<void (*)()> steps;
  return steps;
}

// Removes a folder whatever the permissions a test left on the folders in it.
std::error_code removeAll(const fs::path& folder) {
  std::error_code ec;
  fs::remove_all(folder, ec);
  if (!ec) return ec;
  for (fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec), end;
       !ec && it != end; it.increment(ec)) {
    std::error_code ignored;
    if (it->is_directory(ignored) && !it->is_symlink(ignored))
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
  }
  ec.clear();
  fs::permissions(folder, fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(folder, ec);
  return ec;
}

// A test process that crashed or was killed (a ctest timeout) left its
// folder, named with its process id: the next test process removes it.
void removeFoldersOfEndedProcesses() {
  std::error_code ec;
  for (fs::directory_iterator it(QDir::tempPath().toStdString(), ec), end; !ec && it != end;
       it.increment(ec)) {
    const QString name = QString::fromStdString(it->path().filename().string());
    if (!name.startsWith(kPrefix)) continue;
    bool isNumber = false;
    const pid_t pid = name.mid(kPrefix.size()).section('-', 0, 0).toInt(&isNumber);
    if (isNumber && pid > 0 && ::kill(pid, 0) != 0 && errno == ESRCH) removeAll(it->path());
  }
}

void makeFolder(const QString& path) { QDir().mkpath(path); }

// Points the environment at `home` and the temporary folder at `tmp`.
void useFolders(const QString& home, const QString& tmp) {
  for (const char* sub : {"/.local/share", "/.config", "/.cache", "/Desktop"}) makeFolder(home + sub);
  makeFolder(tmp);
  qputenv("HOME", home.toUtf8());
  qputenv("XDG_DATA_HOME", (home + "/.local/share").toUtf8());
  qputenv("XDG_CONFIG_HOME", (home + "/.config").toUtf8());
  qputenv("XDG_CACHE_HOME", (home + "/.cache").toUtf8());
  qputenv("TMPDIR", tmp.toUtf8());
}

// A test that restarts the application runs its second half in a child
// process given the same home.
QString sharedHome() { return qEnvironmentVariable("QM_TEST_HOME"); }

class FreshStatePerTest : public ::testing::EmptyTestEventListener {
 public:
  explicit FreshStatePerTest(QString processFolder) : processFolder_(std::move(processFolder)) {
    umask_ = ::umask(0);
    ::umask(umask_);
    ::getrlimit(RLIMIT_FSIZE, &fileSize_);
  }

  void OnTestStart(const ::testing::TestInfo&) override {
    testFolder_ = processFolder_ + "/test-" + QString::number(++count_);
    useFolders(sharedHome().isEmpty() ? testFolder_ + "/home" : sharedHome(), testFolder_ + "/tmp");
  }

  void OnTestEnd(const ::testing::TestInfo&) override {
    qDeleteAll(QObjectList(TestScope()->children()));
    closeDialogsAndMenus();
    for (auto step : resetSteps()) step();
    for (int pass = 0; pass < 3; ++pass) {
      QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
      QApplication::processEvents();
    }
    while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
    ::umask(umask_);
    ::setrlimit(RLIMIT_FSIZE, &fileSize_);
    if (const std::error_code ec = removeAll(testFolder_.toStdString()))
      ADD_FAILURE() << "the test's folder " << testFolder_.toStdString()
                    << " could not be removed: " << ec.message();
  }

 private:
  static void closeDialogsAndMenus() {
    for (int round = 0; round < 10 && QApplication::activePopupWidget(); ++round)
      QApplication::activePopupWidget()->close();
    for (QWidget* widget : QApplication::topLevelWidgets())
      if (auto* dialog = qobject_cast<QDialog*>(widget); dialog && dialog->isVisible()) dialog->reject();
  }

  QString processFolder_, testFolder_;
  int count_ = 0;
  mode_t umask_ = 022;
  rlimit fileSize_{};
};

}  // namespace

ResetStep::ResetStep(void (*undo)()) { resetSteps().push_back(undo); }

ProcessFolder::ProcessFolder()
    : dir_(QDir::tempPath() + "/" + kPrefix + QString::number(::getpid()) + "-XXXXXX") {
  removeFoldersOfEndedProcesses();
  const QString root = dir_.path();
  makeFolder(root + "/runtime");
  QFile::setPermissions(root + "/runtime",
                        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
  qputenv("XDG_RUNTIME_DIR", (root + "/runtime").toUtf8());
  // Until the first test starts (the QApplication reads its settings here).
  useFolders(sharedHome().isEmpty() ? root + "/home" : sharedHome(), root + "/tmp");
}

void IsolateEveryTest(const ProcessFolder& folder) {
  ::testing::UnitTest::GetInstance()->listeners().Append(new FreshStatePerTest(folder.path()));
}

}  // namespace testing_support
