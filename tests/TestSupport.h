#pragma once
// Helpers for tests that drive the real widgets under the offscreen platform.
#include <QWidget>
#include <functional>
#include <string>

namespace testing_support {

// Runs the event loop until `done` is true or `ms` have passed; returns `done()`.
bool WaitUntil(const std::function<bool()>& done, int ms = 5000);

// Answers the next modal dialog (QApplication::activeModalWidget()) with
// `answer` once it appears; a modal still open after `timeoutMs` is rejected
// so a broken test fails instead of hanging. Returns a flag that turns true
// once `answer` ran.
std::shared_ptr<bool> AnswerNextModal(std::function<void(QWidget*)> answer, int timeoutMs = 5000);

// Reads a whole file as bytes ("" when missing) and writes one.
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);

}  // namespace testing_support
