#pragma once
// Text files read line by line and written whole.
#include <optional>
#include <string>
#include <string_view>

#include "FolderItem.h"

namespace platform {

// Reads a whole file at Open; ReadLine gives each line without its line end.
// LF, CRLF and CR all end a line; a line end at the end of the file starts no
// further, empty line. Bytes are passed through unchanged. Only a regular file
// (after links) is read: a FIFO or a device is refused at once, with a reason.
class TextInputStream {
 public:
  static std::optional<TextInputStream> Open(const FolderItem& file, IOResult* error = nullptr);

  // "EOF" is a macro of the C library.
  bool Eof() const { return pos_ >= text_.size(); }
  // The view stays valid while the stream lives.
  std::string_view ReadLine();

 private:
  std::string text_;
  std::size_t pos_ = 0;
};

// Creates or replaces a file. What is written goes to a temporary dot file of
// a short fixed name in the same folder, which Close() flushes to the disk and
// renames over the target: a failed write or a power cut never leaves the old
// file missing or half written, and any name the file system takes works. A
// target that is a link is written where the link leads; the link stays.
class TextOutputStream {
 public:
  static std::optional<TextOutputStream> Create(const FolderItem& file, IOResult* error = nullptr);
  TextOutputStream(TextOutputStream&& other) noexcept;
  TextOutputStream& operator=(TextOutputStream&& other) noexcept;
  TextOutputStream(const TextOutputStream&) = delete;
  TextOutputStream& operator=(const TextOutputStream&) = delete;
  ~TextOutputStream();  // without Close(): the temporary file is removed, the target untouched

  void Write(std::string_view text);
  void WriteLine(std::string_view line);  // the line and EndOfLine
  // Writes, flushes to the disk, closes and renames over the target. After a
  // failure the target is as it was and the temporary file is gone.
  IOResult Close();

 private:
  TextOutputStream() = default;
  IOResult flush();
  void discard();

  FolderItem target_;  // as the user knows it, for messages
  std::filesystem::path finalPath_;  // where the link, if any, leads
  std::string tempPath_;
  int fd_ = -1;
  std::string buffer_;
  std::optional<IOResult> failed_;
};

}  // namespace platform
