#pragma once
// What keeps the tests of one process apart: each test runs in a home, XDG
// folders and temporary folder of its own, and what it leaves behind (windows,
// dialogs, timers, deferred deletes, the libraries' process-wide state, its
// folders) is undone before the next one starts.
#include <QString>
#include <QTemporaryDir>

namespace testing_support {

// The process's own temporary folder, removed with everything in it when the
// process ends. Made before the QApplication, which reads the environment it
// sets. Folders that processes killed before their end left behind are removed.
class ProcessFolder {
 public:
  ProcessFolder();
  QString path() const { return dir_.path(); }

 private:
  QTemporaryDir dir_;
};

// From the next test on, every test gets a fresh home under `folder` and the
// reset after it; call after InitGoogleTest.
void IsolateEveryTest(const ProcessFolder& folder);

}  // namespace testing_support
