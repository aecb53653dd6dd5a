#pragma once
// The outcome of a file operation. A failure names the file and the reason in
// the words the user will read.
#include <string>

namespace platform {

struct [[nodiscard]] IOResult {
  bool ok = true;
  std::string verb;    // "read", "write", "create", "move", "delete"
  std::string path;    // the file or folder concerned, in native form
  std::string reason;  // the OS's reason
  int error = 0;       // the errno value behind it, 0 when there is none

  static IOResult Ok() { return {}; }
  static IOResult Fail(std::string verb, std::string path, std::string reason) {
    return IOResult{false, std::move(verb), std::move(path), std::move(reason), 0};
  }
  static IOResult FromErrno(std::string verb, std::string path, int err);
  explicit operator bool() const { return ok; }
  // Whether a failed open found no file at all: nothing of that name, a link
  // to nothing, or a file where a folder of the path should be. Anything
  // else (a folder, a file that cannot be read) is there and may not be
  // taken for missing.
  bool NotFound() const;

  // "Cannot write file /a/b:\nNo space left on device."
  std::string Message() const;
};

}  // namespace platform
