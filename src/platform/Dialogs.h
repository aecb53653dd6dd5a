#pragma once
// Modal dialogs: each waits until the user has answered.
#include <string>
#include <string_view>

#include "FolderItem.h"
#include "IOResult.h"

namespace platform {

// A message box with one button.
void MsgBox(std::string_view message);

// Shows a failed file operation in a message box; does nothing for success.
// Returns whether the operation succeeded.
bool ReportIOError(const IOResult& result);

class MessageDialog {
 public:
  // This platform's icon codes; 2 is the information icon.
  enum IconKind { NoIcon = -1, Caution = 0, Stop = 1, Information = 2, Question = 3 };
  int Icon = Information;
  std::string ActionButtonCaption = "OK";
  std::string Message;
  std::string Explanation;
  void ShowModal();
};

// Choose an existing file; nil when cancelled.
class OpenDialog {
 public:
  std::string Title;
  FolderItem ShowModal();
};

// Choose a folder; nil when cancelled.
class SelectFolderDialog {
 public:
  std::string Title;
  std::string PromptText;
  std::string ActionButtonCaption;
  FolderItem InitialDirectory;
  FolderItem ShowModal();
};

}  // namespace platform
