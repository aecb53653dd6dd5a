#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

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
FolderItem chosen(QFileDialog& dialog) {
  if (dialog.exec() != QDialog::Accepted) return {};
  const QStringList files = dialog.selectedFiles();
  if (files.isEmpty()) return {};
  return GetFolderItem(fromQ(QDir::cleanPath(files.first())));
}
}  // namespace

FolderItem OpenDialog::ShowModal() {
  QFileDialog dialog(DialogParent(), toQ(Title));
  dialog.setObjectName("OpenDialog");
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  return chosen(dialog);
}

FolderItem SelectFolderDialog::ShowModal() {
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
