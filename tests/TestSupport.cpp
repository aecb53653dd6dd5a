#include "TestSupport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

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

std::shared_ptr<bool> AnswerNextModal(std::function<void(QWidget*)> answer, int timeoutMs) {
  auto answered = std::make_shared<bool>(false);
  auto timer = new QTimer(qApp);
  auto clock = std::make_shared<QElapsedTimer>();
  clock->start();
  timer->setInterval(5);
  QObject::connect(timer, &QTimer::timeout, [=] {
    if (QWidget* modal = QApplication::activeModalWidget(); modal && !*answered) {
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
