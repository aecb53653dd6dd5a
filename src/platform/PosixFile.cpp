#include "PosixFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace platform::posix {

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
  if (this != &other) {
    Reset();
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

void FileDescriptor::Reset() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

int FileDescriptor::Close() { return fd_ >= 0 ? ::close(std::exchange(fd_, -1)) : 0; }

IOResult OpenForReading(const FolderItem& file, FileDescriptor& fd, const std::string& verb) {
  // O_NONBLOCK: opening a FIFO without a writer would otherwise wait for one.
  FileDescriptor opened(::open(file.Path().c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (!opened) return IOResult::FromErrno(verb, file.AbsolutePath(), errno);
  struct stat st;
  if (::fstat(opened.Get(), &st) != 0) return IOResult::FromErrno(verb, file.AbsolutePath(), errno);
  if (S_ISDIR(st.st_mode)) return IOResult::FromErrno(verb, file.AbsolutePath(), EISDIR);
  if (!S_ISREG(st.st_mode)) return IOResult::Fail(verb, file.AbsolutePath(), "Not a regular file");
  const int flags = ::fcntl(opened.Get(), F_GETFL);
  if (flags < 0 || ::fcntl(opened.Get(), F_SETFL, flags & ~O_NONBLOCK) != 0)
    return IOResult::FromErrno(verb, file.AbsolutePath(), errno);
  fd = std::move(opened);
  return IOResult::Ok();
}

IOResult ReadToEnd(int fd, std::string& text, const FolderItem& file, const std::string& verb) {
  struct stat st;
  if (::fstat(fd, &st) == 0 && st.st_size > 0)
    text.reserve(text.size() + static_cast<std::size_t>(st.st_size));
  char chunk[1 << 16];
  for (;;) {
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n == 0) return IOResult::Ok();
    if (n < 0) {
      if (errno == EINTR) continue;
      return IOResult::FromErrno(verb, file.AbsolutePath(), errno);
    }
    text.append(chunk, static_cast<std::size_t>(n));
  }
}

IOResult WriteAll(int fd, std::string_view bytes, const FolderItem& file, const std::string& verb) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return IOResult::FromErrno(verb, file.AbsolutePath(), errno);
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return IOResult::Ok();
}

IOResult SyncToDisk(int fd, const FolderItem& file, const std::string& verb) {
  while (::fsync(fd) != 0) {
    if (errno == EINTR) continue;
    // A file system that cannot sync (some network and FUSE ones) has nothing better to offer.
    if (errno == EINVAL || errno == ENOTSUP) return IOResult::Ok();
    return IOResult::FromErrno(verb, file.AbsolutePath(), errno);
  }
  return IOResult::Ok();
}

IOResult SyncFolder(const FolderItem& folder, const std::string& verb) {
  FileDescriptor fd(::open(folder.Path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd) return IOResult::FromErrno(verb, folder.AbsolutePath(), errno);
  return SyncToDisk(fd.Get(), folder, verb);
}

}  // namespace platform::posix
