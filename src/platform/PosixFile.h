#pragma once
// Open files of the platform layer's streams and copies, by their POSIX
// descriptors. Every failure names the user's file, not a temporary one.
#include <memory>
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
  int Release() { return std::exchange(fd_, -1); }

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
// renamed over another afterwards survives a power cut whole. On macOS this is
// the full flush (F_FULLFSYNC), past the drive's own cache.
IOResult SyncToDisk(int fd, const FolderItem& file, const std::string& verb = "write");

// Hands what was written through the descriptor to the drive (fsync). Where
// that is not the full flush (macOS), a full flush of the folder must follow
// before the file takes its name.
IOResult WriteBack(int fd, const FolderItem& file, const std::string& verb = "write");

// Puts everything written to the file system that holds the descriptor's
// file on the disk at once (syncfs). Fails with ENOSYS where the system has no
// such call; the caller then flushes file by file.
IOResult SyncFileSystem(int fd, const FolderItem& file, const std::string& verb = "write");

// Puts a folder's entries on the disk: the names that renames, links and
// removals in it made or took away survive a power cut.
IOResult SyncFolder(const FolderItem& folder, const std::string& verb = "write");

// A folder held open while files are written into it. Their temporary files
// are made, renamed and removed by name within it, so that none is left
// behind when the folder is moved away meanwhile.
class Folder {
 public:
  // Failures name `named`, the file the user asked for.
  static IOResult Open(const FolderItem& folder, const FolderItem& named, std::shared_ptr<Folder>& opened);

  int Get() const { return fd_.Get(); }
  const FolderItem& Item() const { return item_; }
  // The folder's entries on the disk (the full flush on macOS). Nothing in a
  // folder one may write into but not read, which cannot be flushed.
  IOResult Sync(const FolderItem& named) const;

 private:
  friend void RemoveLeftovers(const Folder& folder);
  FileDescriptor fd_;
  FolderItem item_;
  bool readable_ = true;
};

// Makes a new temporary file in the folder, ".quirlomatic-<process id>-<8
// hex digits>.tmp": a dot name, which no listing of the library takes for a
// description, of a fixed length, so that a target of the longest name the
// file system takes can still be written. It is locked (flock) for as long as
// it is open.
IOResult CreateTemporaryFile(const Folder& folder, FileDescriptor& fd, std::string& name,
                             const FolderItem& named);

// Removes the temporary files of writers that no longer run. A file whose
// process runs, or that is locked, is left alone: process ids alone mislead
// across PID namespaces and network file systems, and a lock alone does not
// hold where a file system has none.
void RemoveLeftovers(const Folder& folder);

}  // namespace platform::posix
