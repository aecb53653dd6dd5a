#pragma once
// Text files read line by line and written whole.
#include <deque>
#include <filesystem>
#include <memory>
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

namespace posix {
class Folder;
}

// Creates or replaces a file. What is written goes to a temporary dot file of
// a short fixed name in the same folder, which Close() flushes to the disk and
// renames over the target, flushing the folder after: a failed write or a
// power cut never leaves the old file missing or half written, and any name
// the file system takes works. A target that is a link is written where the
// link leads; the link stays. A link loop fails with the system's reason.
// Temporary files that writers which no longer run left in the folder are
// removed when the stream is made.
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
  // failure the target is as it was and the temporary file is gone. A stream
  // of a TextOutputBatch only writes here; the batch puts it in place.
  IOResult Close();

 private:
  friend class TextOutputBatch;
  TextOutputStream() = default;
  static std::optional<TextOutputStream> create(const FolderItem& file,
                                                const std::shared_ptr<posix::Folder>& shared,
                                                IOResult* error);
  IOResult writeOut();
  IOResult putInPlace();
  IOResult failure(IOResult result);
  void discard();

  FolderItem target_;                      // as the user knows it, for messages
  std::filesystem::path finalPath_;        // where the link, if any, leads
  std::shared_ptr<posix::Folder> folder_;  // where the temporary file is
  std::string tempName_;
  int fd_ = -1;
  std::string buffer_;
  std::optional<IOResult> failed_;
  bool inBatch_ = false;
};

// Files written into one folder and put in place together. Each is written to
// a temporary file at once; Commit() puts them all on the disk in one go (one
// flush of the file system and one of the folder, not one per file), renames
// them over their targets in the order they were made, and flushes the folder
// again. After a failure or a crash every target is the old file or the whole
// new one, and the files before the first that failed are in place.
class TextOutputBatch {
 public:
  explicit TextOutputBatch(FolderItem folder);
  TextOutputBatch(const TextOutputBatch&) = delete;
  TextOutputBatch& operator=(const TextOutputBatch&) = delete;
  ~TextOutputBatch();  // what was not committed is removed

  // The stream of the next file, usually a child of the folder; valid until
  // the next Create() or Commit(). Nothing (and why) when it cannot be made,
  // or when a file made before it has failed. When the process may not open
  // that many files at once, what was made so far is committed first.
  TextOutputStream* Create(const FolderItem& file, IOResult* error = nullptr);
  // Puts every file made so far in place, in order, and stops at the first
  // that fails; the result names it.
  IOResult Commit();
  // The files put in place so far.
  int Committed() const { return committed_; }

  // A batch keeps each of its files open until it commits: lets the process
  // open as many files as a batch of 999 needs, as far as the system allows.
  static void RaiseOpenFileLimit();

 private:
  IOResult commitPending();
  IOResult flushPending();
  IOResult fail(IOResult result);

  FolderItem folder_;
  std::shared_ptr<posix::Folder> opened_;
  std::deque<TextOutputStream> pending_;
  std::optional<IOResult> failed_;
  std::size_t capacity_ = 0;
  int committed_ = 0;
};

// Removes the temporary files that writers which no longer run left in the
// folder: at start, for folders that may not be written to for a long time.
void RemoveTemporaryLeftovers(const FolderItem& folder);

}  // namespace platform
