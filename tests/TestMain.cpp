#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>

int main(int argc, char** argv) {
  // gtest_discover_tests runs the binary outside ctest's environment too.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // Never touch the real home: every test process gets a home of its own.
  QTemporaryDir home(QDir::tempPath() + "/quirlomatic-test-XXXXXX");
  // A test that restarts the application runs its second half in a child
  // process given the same home.
  const QByteArray root =
      qEnvironmentVariableIsSet("QM_TEST_HOME") ? qgetenv("QM_TEST_HOME") : home.path().toUtf8();
  qputenv("HOME", root);
  qputenv("XDG_DATA_HOME", root + "/.local/share");
  qputenv("XDG_CONFIG_HOME", root + "/.config");
  qputenv("XDG_CACHE_HOME", root + "/.cache");
  QDir().mkpath(QString::fromUtf8(root) + "/.local/share");
  QDir().mkpath(QString::fromUtf8(root) + "/.config");
  QDir().mkpath(QString::fromUtf8(root) + "/Desktop");
  QDir().mkpath(QString::fromUtf8(root) + "/runtime");
  QFile::setPermissions(QString::fromUtf8(root) + "/runtime",
                        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
  qputenv("XDG_RUNTIME_DIR", root + "/runtime");
  std::signal(SIGXFSZ, SIG_IGN);

  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
