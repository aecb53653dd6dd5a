#include "TestSupport.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

namespace testing_support {

bool WaitUntil(const std::function<bool()>& done, int ms) {
  QElapsedTimer clock;
  clock.start();
  while (!done() && clock.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 10);
  return done();
}

QObject* TestScope() {
  static QObject* scope = [] {
    auto* object = new QObject(qApp);
    object->setObjectName("TestScope");
    return object;
  }();
  return scope;
}

namespace {

constexpr int kPollMs = 5;
// A dialog that never becomes the active window fails the test instead of hanging it.
constexpr int kNeverReadyMs = 10000;

}  // namespace

// A modal dialog is answered once it has been the active window for a whole
// pass of the event loop. Activations still queued when it opened (of the
// window below it, shown just before) are delivered by then, and what they
// queue in turn has run: a line edit activated without focus drops its
// selection one pass later, which after the answer would undo what the
// window did once the dialog had returned.
bool ModalReadiness::ready(QWidget* modal) {
  if (modal != modal_) {
    modal_ = modal;
    activeBefore_ = false;
    waiting_.start();
  }
  if (!modal->isActiveWindow()) return false;
  if (activeBefore_) return true;
  activeBefore_ = true;
  return false;
}

std::shared_ptr<bool> AnswerNextModal(std::function<void(QWidget*)> answer, int timeoutMs) {
  auto answered = std::make_shared<bool>(false);
  auto timer = new QTimer(TestScope());
  auto clock = std::make_shared<QElapsedTimer>();
  auto readiness = std::make_shared<ModalReadiness>();
  clock->start();
  timer->setInterval(kPollMs);
  QObject::connect(timer, &QTimer::timeout, [=] {
    if (QWidget* modal = QApplication::activeModalWidget(); modal && !*answered && readiness->ready(modal)) {
      *answered = true;
      answer(modal);
      return;
    }
    if (*answered || clock->elapsed() > timeoutMs) {
      if (!*answered)
        if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
      timer->stop();
      timer->deleteLater();
    }
  });
  timer->start();
  return answered;
}

ModalAnswers::ModalAnswers(std::deque<std::function<void(QFileDialog*)>> fileDialogs)
    : fileDialogs_(std::move(fileDialogs)) {
  QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
  timer_.start(kPollMs);
}

ModalAnswers::ModalAnswers(EveryFileDialog, std::function<void(QFileDialog*)> choose)
    : ModalAnswers() {
  every_ = std::move(choose);
  answerEvery_ = true;
}

void ModalAnswers::poll() {
  QWidget* modal = QApplication::activeModalWidget();
  if (!modal || modal == handled_) return;
  if (!readiness_.ready(modal)) {
    if (readiness_.waited() < kNeverReadyMs) return;
    ADD_FAILURE() << "a modal dialog never became the active window: " << modal->metaObject()->className();
    handled_ = modal;
    modal->close();
    return;
  }
  handled_ = modal;
  if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
    const std::string directory = QDir::cleanPath(dialog->directory().absolutePath()).toStdString();
    fileDialogDirectories.push_back(directory);
    fileDialogsSeen.push_back({dialog->windowTitle().toStdString(),
                               dialog->labelText(QFileDialog::Accept).toStdString(), directory});
    if (answerEvery_) {
      if (!every_) return dialog->reject();
      return every_(dialog);
    }
    if (fileDialogs_.empty()) return dialog->reject();
    auto answer = std::move(fileDialogs_.front());
    fileDialogs_.pop_front();
    answer(dialog);
  } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
    boxes.push_back(box->objectName().toStdString() + ": " + box->text().toStdString());
    BoxSeen seen{box->objectName().toStdString(), box->text().toStdString(),
                 box->informativeText().toStdString(), box->icon(), {}};
    for (QAbstractButton* button : box->buttons()) seen.buttons.push_back(button->text().toStdString());
    boxesSeen.push_back(std::move(seen));
    QAbstractButton* button = pressDefaultButton ? box->defaultButton() : nullptr;
    if (!button) button = box->buttons().value(0);
    button->click();
  } else {
    modal->close();
  }
}

std::function<void(QFileDialog*)> Choose(const std::string& path) {
  return [path](QFileDialog* dialog) {
    dialog->findChild<QLineEdit*>("fileNameEdit")->setText(QString::fromStdString(path));
    QMetaObject::invokeMethod(dialog, "accept");
  };
}

std::vector<std::string> folderNames(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
    names.push_back(it->path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::string Snapshot(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return "missing";
#if defined(__APPLE__)
  const timespec& modified = st.st_mtimespec;
#else
  const timespec& modified = st.st_mtim;
#endif
  std::string text = std::to_string(st.st_ino) + " " + std::to_string(st.st_mode) + " " +
                     std::to_string(st.st_size) + " " + std::to_string(modified.tv_sec) + "." +
                     std::to_string(modified.tv_nsec);
  if (S_ISLNK(st.st_mode)) text += " -> " + std::filesystem::read_symlink(path).string();
  if (S_ISDIR(st.st_mode))
    for (const std::string& name : folderNames(path)) text += " " + name;
  return text;
}

void PrintTo(const UnreadableItem& item, std::ostream* os) { *os << item.name; }

std::vector<UnreadableItem> UnreadableItems() {
  namespace fs = std::filesystem;
  return {
      {"folderInItsPlace",
       [](const std::string& path) {
         fs::create_directories(path);
         WriteFile(path + "/inside", "kept");
       },
       EISDIR, false},
      {"symlinkLoop", [](const std::string& path) { fs::create_symlink(fs::path(path).filename(), path); },
       ELOOP, false},
      {"danglingSymlink", [](const std::string& path) { fs::create_symlink(path + ".nowhere", path); },
       ENOENT, false},
      {"noReadPermission",
       [](const std::string& path) {
         WriteFile(path, "Counter Bass.re=7\nSavePath=/tmp\n");
         fs::permissions(path, fs::perms::none);
       },
       EACCES, true},
  };
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

}  // namespace testing_support
