#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>

#include "Dialogs.h"
#include "QtInternal.h"

namespace platform {

void MsgBox(std::string_view message) {
  QMessageBox box(DialogParent());
  box.setObjectName("MsgBox");
  box.setWindowTitle(QApplication::applicationDisplayName());
  box.setText(toQ(message));
  box.setStandardButtons(QMessageBox::Ok);
  box.exec();
}

bool ReportIOError(const IOResult& result) {
  if (result) return true;
  QMessageBox box(DialogParent());
  box.setObjectName("IOErrorBox");
  box.setIcon(QMessageBox::Warning);
  box.setWindowTitle(QApplication::applicationDisplayName());
  box.setText(toQ(result.Message()));
  box.setStandardButtons(QMessageBox::Ok);
  box.exec();
  return false;
}

void MessageDialog::ShowModal() {
  QMessageBox box(DialogParent());
  box.setObjectName("MessageDialog");
  box.setWindowTitle(QApplication::applicationDisplayName());
  switch (Icon) {
    case Caution: box.setIcon(QMessageBox::Warning); break;
    case Stop: box.setIcon(QMessageBox::Critical); break;
    case Information: box.setIcon(QMessageBox::Information); break;
    case Question: box.setIcon(QMessageBox::Question); break;
    default: box.setIcon(QMessageBox::NoIcon); break;
  }
  box.setText(toQ(Message));
  box.setInformativeText(toQ(Explanation));
  QPushButton* action = box.addButton(toQ(ActionButtonCaption), QMessageBox::AcceptRole);
  box.setDefaultButton(action);
  box.exec();
}

namespace {
// Qt's file dialog keeps its history, last folder and layout in the
// settings of the organisation "QtProject", shared by every Qt program of
// the user, and starts the next dialog from them. This program's only
// configuration is its preference file: its dialogs leave those settings as
// they found them.
#if defined(Q_OS_MACOS)
// There they live in the user's defaults, which no path moves: what the
// dialog changed there is put back once it has gone.
class DialogSettingsKept {
 public:
  DialogSettingsKept() {
    QSettings settings(QSettings::UserScope, "QtProject");
    settings.setFallbacksEnabled(false);  // the user's own domain, not the global ones
    existed_ = QFileInfo::exists(settings.fileName());
    settings.beginGroup("FileDialog");
    for (const QString& key : settings.childKeys()) saved_.insert(key, settings.value(key));
  }
  ~DialogSettingsKept() {
    QSettings settings(QSettings::UserScope, "QtProject");
    settings.setFallbacksEnabled(false);
    settings.remove("FileDialog");
    settings.beginGroup("FileDialog");
    for (auto it = saved_.cbegin(); it != saved_.cend(); ++it) settings.setValue(it.key(), it.value());
    settings.endGroup();
    settings.sync();
    if (!existed_ && settings.allKeys().isEmpty()) QFile::remove(settings.fileName());
  }

 private:
  bool existed_ = false;
  QVariantMap saved_;
};
#else
// There they are a file in a folder Qt takes from here; under /dev/null no
// file can be made, not even by root, so they are neither read nor written.
struct DialogSettingsKept {
  DialogSettingsKept() {
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, "/dev/null");
    QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope, "/dev/null");
  }
};
#endif

FolderItem chosen(QFileDialog& dialog) {
  if (dialog.exec() != QDialog::Accepted) return {};
  const QStringList files = dialog.selectedFiles();
  if (files.isEmpty()) return {};
  return GetFolderItem(fromQ(QDir::cleanPath(files.first())));
}
}  // namespace

FolderItem OpenDialog::ShowModal() {
  const DialogSettingsKept kept;
  QFileDialog dialog(DialogParent(), toQ(Title));
  dialog.setObjectName("OpenDialog");
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  return chosen(dialog);
}

FolderItem SelectFolderDialog::ShowModal() {
  const DialogSettingsKept kept;
  QFileDialog dialog(DialogParent(), toQ(Title));
  dialog.setObjectName("SelectFolderDialog");
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly, true);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  if (!ActionButtonCaption.empty()) dialog.setLabelText(QFileDialog::Accept, toQ(ActionButtonCaption));
  if (!PromptText.empty()) dialog.setLabelText(QFileDialog::LookIn, toQ(PromptText));
  // A remembered folder that has gone: start at the nearest folder that is still there.
  if (!InitialDirectory.IsNil()) {
    QDir start(toQ(InitialDirectory.AbsolutePath()));
    while (!start.exists() && start.cdUp()) {
    }
    dialog.setDirectory(start);
  }
  return chosen(dialog);
}

}  // namespace platform
