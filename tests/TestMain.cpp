#include <QApplication>
#include <gtest/gtest.h>

#include <csignal>

#include "Isolation.h"

int main(int argc, char** argv) {
  // gtest_discover_tests runs the binary outside ctest's environment too.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  std::signal(SIGXFSZ, SIG_IGN);
  // Never touch the real home: every test gets a home of its own in here.
  testing_support::ProcessFolder folder;

  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  testing_support::IsolateEveryTest(folder);
  return RUN_ALL_TESTS();
}
