#pragma once
// Helpers for tests that drive the real widgets under the offscreen platform.
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <deque>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

class QFileDialog;

namespace testing_support {

// Runs the event loop until `done` is true or `ms` have passed; returns `done()`.
bool WaitUntil(const std::function<bool()>& done, int ms = 5000);

// The owner of what a helper leaves running after it returns (the timer of
// AnswerNextModal): emptied after every test, so nothing of one test acts in
// the next.
QObject* TestScope();

// Puts process-wide state of a library back as it was before the first test.
// A ResetStep object at namespace scope in that library's reset file (linked
// into the suites that use the library, see tests/CMakeLists.txt) registers
// `undo`; every registered step runs after each test, once the test's
// leftover dialogs are closed, in the test's own home.
class ResetStep {
 public:
  explicit ResetStep(void (*undo)());
};

// Whether a modal dialog is ready to be answered: it has been the active
// window for a whole pass of the event loop.
class ModalReadiness {
 public:
  bool ready(QWidget* modal);
  qint64 waited() const { return waiting_.elapsed(); }  // since `modal` was first asked about

 private:
  QPointer<QWidget> modal_;
  bool activeBefore_ = false;
  QElapsedTimer waiting_;
};

// Answers the next modal dialog (QApplication::activeModalWidget()) with
// `answer` once it is ready; a modal still open after `timeoutMs` is rejected
// so a broken test fails instead of hanging. Returns a flag that turns true
// once `answer` ran.
std::shared_ptr<bool> AnswerNextModal(std::function<void(QWidget*)> answer, int timeoutMs = 5000);

// Answers every modal dialog that opens while it lives, each once it is ready
// (a test whose dialog never is fails): each file dialog with
// the next of `fileDialogs` (rejected when none is left), each message box by
// noting "objectName: text" in `boxes` and pressing its first button.
class ModalAnswers {
 public:
  explicit ModalAnswers(std::deque<std::function<void(QFileDialog*)>> fileDialogs = {});
  std::vector<std::string> boxes;
  std::vector<std::string> fileDialogDirectories;  // where each file dialog started

  // Answers every file dialog with `choose` instead of a queue (rejects each
  // when `choose` is empty).
  struct EveryFileDialog {};
  ModalAnswers(EveryFileDialog, std::function<void(QFileDialog*)> choose);

  // Presses each box's default button (its first when it has none) instead of
  // its first; set before the first box opens.
  bool pressDefaultButton = false;

  struct FileDialogSeen {
    std::string title, accept, directory;  // accept: the accept button's label
  };
  struct BoxSeen {
    std::string objectName, text, informativeText;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    std::vector<std::string> buttons;
  };
  std::vector<FileDialogSeen> fileDialogsSeen;
  std::vector<BoxSeen> boxesSeen;

 private:
  void poll();
  std::deque<std::function<void(QFileDialog*)>> fileDialogs_;
  std::function<void(QFileDialog*)> every_;
  bool answerEvery_ = false;
  QTimer timer_;
  QPointer<QWidget> handled_;
  ModalReadiness readiness_;
};

// A file-dialog answer that chooses `path` (a file or a folder).
std::function<void(QFileDialog*)> Choose(const std::string& path);

// The names in a folder, sorted (none when it does not exist).
std::vector<std::string> folderNames(const std::string& folder);

// What an item is, down to its inode, mode, size and time stamp (a link's
// target, a folder's names): equal texts mean it was neither replaced nor
// written. "missing" when nothing stands there.
std::string Snapshot(const std::string& path);

// Things that can stand where a file belongs and cannot be read: made at
// `path` by `make`, refused with `error`. Permissions do not stop root, so
// the last kind is for other users only.
struct UnreadableItem {
  const char* name;
  std::function<void(const std::string& path)> make;
  int error;
  bool onlyWithoutRoot;
};
void PrintTo(const UnreadableItem& item, std::ostream* os);
// A folder with a file in it, a link loop, a link to nothing, a file of mode 000.
std::vector<UnreadableItem> UnreadableItems();

// Reads a whole file as bytes ("" when missing) and writes one.
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);

}  // namespace testing_support
