#pragma once
// Open files of the platform layer's streams and copies, by their POSIX
// descriptors. Every failure names the user's file, not a temporary one.
#include <string>
#include <string_view>
#include <utility>

#include "FolderItem.h"
#include "IOResult.h"

namespace platform::posix {

// Closes the descriptor when it goes.
class FileDescriptor {
 public:
  FileDescriptor() = default;
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  FileDescriptor& operator=(FileDescriptor&& other) noexcept;
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() { Reset(); }

  int Get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  void Reset();
  // Closes now: the last chance for the file system to report a failed write.
  int Close();

 private:
  int fd_ = -1;
};

// Opens an existing file for reading, following links. Only a regular file is
// opened: a FIFO would block until a writer comes, a device may never end.
// `verb` says what the failure stopped ("read", "copy").
IOResult OpenForReading(const FolderItem& file, FileDescriptor& fd, const std::string& verb = "read");

// Reads from the descriptor to the end of the file.
IOResult ReadToEnd(int fd, std::string& text, const FolderItem& file, const std::string& verb = "read");

IOResult WriteAll(int fd, std::string_view bytes, const FolderItem& file, const std::string& verb = "write");

// Puts everything written through the descriptor on the disk, so that a file
// renamed over another afterwards survives a power cut whole.
IOResult SyncToDisk(int fd, const FolderItem& file, const std::string& verb = "write");

// Puts a folder's entries on the disk: the names that renames, links and
// removals in it made or took away survive a power cut.
IOResult SyncFolder(const FolderItem& folder, const std::string& verb = "write");

}  // namespace platform::posix
