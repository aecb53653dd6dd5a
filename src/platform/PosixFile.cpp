#include "PosixFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <random>

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

namespace {
// A file system that cannot flush (some network and FUSE ones) has nothing better to offer.
bool cannotFlush(int error) { return error == EINVAL || error == ENOTSUP; }

IOResult fsyncDescriptor(int fd, const FolderItem& file, const std::string& verb) {
  while (::fsync(fd) != 0) {
    if (errno == EINTR) continue;
    if (cannotFlush(errno)) return IOResult::Ok();
    return IOResult::FromErrno(verb, file.AbsolutePath(), errno);
  }
  return IOResult::Ok();
}
}  // namespace

IOResult SyncToDisk(int fd, const FolderItem& file, const std::string& verb) {
#if defined(__APPLE__)
  // Not every file system takes it (network ones): those get the plain flush.
  if (::fcntl(fd, F_FULLFSYNC) == 0) return IOResult::Ok();
#endif
  return fsyncDescriptor(fd, file, verb);
}

IOResult WriteBack(int fd, const FolderItem& file, const std::string& verb) {
  return fsyncDescriptor(fd, file, verb);
}

IOResult SyncFileSystem(int fd, const FolderItem& file, const std::string& verb) {
#if defined(__linux__)
  if (::syncfs(fd) == 0) return IOResult::Ok();
  return IOResult::FromErrno(verb, file.AbsolutePath(), errno);
#else
  (void)fd;
  return IOResult::FromErrno(verb, file.AbsolutePath(), ENOSYS);
#endif
}

IOResult SyncFolder(const FolderItem& folder, const std::string& verb) {
  FileDescriptor fd(::open(folder.Path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd) return IOResult::FromErrno(verb, folder.AbsolutePath(), errno);
  return SyncToDisk(fd.Get(), folder, verb);
}

IOResult Folder::Open(const FolderItem& folder, const FolderItem& named, std::shared_ptr<Folder>& opened) {
  auto made = std::make_shared<Folder>();
  made->item_ = folder;
  const char* path = folder.IsNil() ? "." : folder.Path().c_str();
  made->fd_ = FileDescriptor(::open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
#if defined(O_PATH)
  if (!made->fd_ && errno == EACCES) {
    made->fd_ = FileDescriptor(::open(path, O_PATH | O_DIRECTORY | O_CLOEXEC));
    made->readable_ = false;
  }
#endif
  if (!made->fd_) return IOResult::FromErrno("write", named.AbsolutePath(), errno);
  opened = std::move(made);
  return IOResult::Ok();
}

IOResult Folder::Sync(const FolderItem& named) const {
  if (!readable_) return IOResult::Ok();
  const IOResult synced = SyncToDisk(fd_.Get(), item_);
  if (synced) return synced;
  return IOResult{false, "write", named.AbsolutePath(), synced.reason, synced.error};
}

namespace {
constexpr std::string_view kTemporaryPrefix = ".quirlomatic-";
constexpr std::string_view kTemporarySuffix = ".tmp";
constexpr std::size_t kPidDigits = 10, kRandomDigits = 8;
constexpr std::size_t kTemporaryLength =
    kTemporaryPrefix.size() + kPidDigits + 1 + kRandomDigits + kTemporarySuffix.size();

std::string temporaryName() {
  static std::mt19937_64 engine{std::random_device{}()};
  char name[kTemporaryLength + 1];
  std::snprintf(name, sizeof name, ".quirlomatic-%010lu-%08lx.tmp", static_cast<unsigned long>(::getpid()),
                static_cast<unsigned long>(engine() & 0xffffffffu));
  return name;
}

// The process id in a name that temporaryName() made; 0 for any other name.
pid_t writerOf(std::string_view name) {
  if (name.size() != kTemporaryLength || !name.starts_with(kTemporaryPrefix) ||
      !name.ends_with(kTemporarySuffix))
    return 0;
  std::string_view rest = name.substr(kTemporaryPrefix.size());
  unsigned long long pid = 0;
  for (char c : rest.substr(0, kPidDigits)) {
    if (c < '0' || c > '9') return 0;
    pid = pid * 10 + static_cast<unsigned>(c - '0');
  }
  if (rest[kPidDigits] != '-') return 0;
  for (char c : rest.substr(kPidDigits + 1, kRandomDigits))
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return 0;
  return pid > 0 && pid <= 0x7fffffff ? static_cast<pid_t>(pid) : 0;
}

// EPERM: it runs, as another user.
bool runs(pid_t pid) { return ::kill(pid, 0) == 0 || errno == EPERM; }
}  // namespace

IOResult CreateTemporaryFile(const Folder& folder, FileDescriptor& fd, std::string& name,
                             const FolderItem& named) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    name = temporaryName();
    // 0666 under the umask: the platform's default permissions for a new file.
    FileDescriptor made(::openat(folder.Get(), name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (made) {
      // Where the file system has no locks, the process id alone keeps it.
      ::flock(made.Get(), LOCK_EX | LOCK_NB);
      fd = std::move(made);
      return IOResult::Ok();
    }
    if (errno != EEXIST) break;
  }
  const int error = errno;
  name.clear();
  return IOResult::FromErrno("write", named.AbsolutePath(), error);
}

void RemoveLeftovers(const Folder& folder) {
  if (!folder.readable_) return;
  const int listing = ::openat(folder.Get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (listing < 0) return;
  DIR* dir = ::fdopendir(listing);
  if (!dir) {
    ::close(listing);
    return;
  }
  const pid_t self = ::getpid();
  while (const dirent* entry = ::readdir(dir)) {
    const pid_t writer = writerOf(entry->d_name);
    // This process's own temporary files are locked while they are in use.
    if (writer == 0 || (writer != self && runs(writer))) continue;
    FileDescriptor fd(
        ::openat(folder.Get(), entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat opened, named;
    if (!fd || ::fstat(fd.Get(), &opened) != 0 || !S_ISREG(opened.st_mode)) continue;
    if (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) continue;
    // Still the file that was locked, not one renamed there meanwhile.
    if (::fstatat(folder.Get(), entry->d_name, &named, AT_SYMLINK_NOFOLLOW) != 0 ||
        named.st_dev != opened.st_dev || named.st_ino != opened.st_ino)
      continue;
    ::unlinkat(folder.Get(), entry->d_name, 0);
  }
  ::closedir(dir);
}

}  // namespace platform::posix
