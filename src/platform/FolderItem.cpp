#include "FolderItem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#if defined(__APPLE__)
#include <sys/xattr.h>
#elif defined(__linux__)
#include <sys/xattr.h>
#endif

#include <algorithm>
#include <cerrno>
#include <system_error>

#include "PosixFile.h"
#include "Text.h"

namespace fs = std::filesystem;

namespace platform {

FolderItem::FolderItem(fs::path path) : path_(std::move(path)) {}

FolderItem FolderItem::Child(std::string_view name) const {
  if (IsNil()) return {};
  return FolderItem(path_ / fs::path(std::u8string(name.begin(), name.end())));
}

FolderItem FolderItem::Parent() const {
  if (IsNil() || !path_.has_parent_path() || path_.parent_path() == path_) return {};
  return FolderItem(path_.parent_path());
}

std::vector<FolderItem> FolderItem::Items() const {
  std::vector<FolderItem> items;
  std::error_code ec;
  for (fs::directory_iterator it(path_, ec), end; !ec && it != end; it.increment(ec))
    items.emplace_back(it->path());
  std::sort(items.begin(), items.end(),
            [](const FolderItem& a, const FolderItem& b) { return TextLess(a.Name(), b.Name()); });
  return items;
}

int FolderItem::Count() const { return static_cast<int>(Items().size()); }

FolderItem FolderItem::Item(int index) const {
  const auto items = Items();
  if (index < 1 || index > static_cast<int>(items.size())) return {};
  return items[index - 1];
}

std::string FolderItem::Name() const {
  const auto name = path_.filename().u8string();
  return std::string(name.begin(), name.end());
}

std::string FolderItem::AbsolutePath() const {
  const auto text = path_.u8string();
  return std::string(text.begin(), text.end());
}

bool FolderItem::Exists() const {
  if (IsNil()) return false;
  struct stat st;
  return ::lstat(path_.c_str(), &st) == 0;
}

bool FolderItem::Directory() const {
  if (IsNil()) return false;
  struct stat st;
  return ::stat(path_.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool FolderItem::IsFile() const { return Exists() && !Directory(); }

IOResult FolderItem::CreateAsFolder() const {
  if (::mkdir(path_.c_str(), 0777) != 0) return IOResult::FromErrno("create folder", AbsolutePath(), errno);
  return IOResult::Ok();
}

IOResult FolderItem::CreateFolderPath() const {
  std::error_code ec;
  if (IsNil() || Directory()) return IOResult::Ok();
  fs::create_directories(path_, ec);
  if (ec) return IOResult::Fail("create folder", AbsolutePath(), ec.message());
  return IOResult::Ok();
}

IOResult FolderItem::Delete() const {
  if (::remove(path_.c_str()) != 0) return IOResult::FromErrno("delete", AbsolutePath(), errno);
  return IOResult::Ok();
}

IOResult FolderItem::MoveFileTo(const FolderItem& folder) const {
  const FolderItem target = folder.Child(Name());
  if (::rename(path_.c_str(), target.path_.c_str()) != 0)
    return IOResult::FromErrno("move", AbsolutePath(), errno);
  return IOResult::Ok();
}

IOResult FolderItem::RenameTo(const FolderItem& target) const {
  if (::rename(path_.c_str(), target.path_.c_str()) != 0)
    return IOResult::FromErrno("move", AbsolutePath(), errno);
  return IOResult::Ok();
}

IOResult FolderItem::CopyFileTo(const FolderItem& target) const {
  posix::FileDescriptor in;
  if (IOResult opened = posix::OpenForReading(*this, in, "copy"); !opened) return opened;
  struct stat st;
  if (::fstat(in.Get(), &st) != 0) return IOResult::FromErrno("copy", AbsolutePath(), errno);
  posix::FileDescriptor out(
      ::open(target.path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, st.st_mode & 0777));
  if (!out) return IOResult::FromErrno("copy", AbsolutePath(), errno);

  IOResult result = IOResult::Ok();
  char chunk[1 << 16];
  while (result) {
    const ssize_t n = ::read(in.Get(), chunk, sizeof chunk);
    if (n == 0) break;
    if (n < 0) {
      if (errno != EINTR) result = IOResult::FromErrno("copy", AbsolutePath(), errno);
      continue;
    }
    result = posix::WriteAll(out.Get(), std::string_view(chunk, static_cast<std::size_t>(n)), *this, "copy");
  }
  if (result) result = posix::SyncToDisk(out.Get(), *this, "copy");
  if (result && out.Close() != 0) result = IOResult::FromErrno("copy", AbsolutePath(), errno);
  if (!result) {
    out.Reset();
    ::unlink(target.path_.c_str());
  }
  return result;
}

IOResult FolderItem::SyncToDisk() const {
  posix::FileDescriptor fd;
  if (IOResult opened = posix::OpenForReading(*this, fd, "write"); !opened) return opened;
  return posix::SyncToDisk(fd.Get(), *this);
}

int FolderItem::Permissions() const {
  struct stat st;
  if (IsNil() || ::stat(path_.c_str(), &st) != 0) return -1;
  return st.st_mode & 07777;
}

IOResult FolderItem::SetPermissions(int mode) const {
  if (::chmod(path_.c_str(), static_cast<mode_t>(mode)) != 0)
    return IOResult::FromErrno("change the permissions of", AbsolutePath(), errno);
  return IOResult::Ok();
}

#if defined(__APPLE__)
// The file type lives in the first four bytes of the 32-byte Finder info.
void FolderItem::SetMacType(std::string_view type) const {
  char info[32] = {};
  ::getxattr(path_.c_str(), "com.apple.FinderInfo", info, sizeof info, 0, 0);
  for (int i = 0; i < 4; ++i) info[i] = i < static_cast<int>(type.size()) ? type[i] : ' ';
  ::setxattr(path_.c_str(), "com.apple.FinderInfo", info, sizeof info, 0, 0);
}
std::string FolderItem::MacType() const {
  char info[32] = {};
  if (::getxattr(path_.c_str(), "com.apple.FinderInfo", info, sizeof info, 0, 0) < 4) return {};
  std::string type(info, 4);
  return type == std::string(4, '\0') ? std::string() : type;
}
#elif defined(__linux__)
namespace {
constexpr const char* kTypeAttribute = "user.mactype";
}
void FolderItem::SetMacType(std::string_view type) const {
  // A file system without user attributes simply keeps no type.
  ::setxattr(path_.c_str(), kTypeAttribute, type.data(), type.size(), 0);
}
std::string FolderItem::MacType() const {
  char type[16];
  const auto size = ::getxattr(path_.c_str(), kTypeAttribute, type, sizeof type);
  return size > 0 ? std::string(type, static_cast<std::size_t>(size)) : std::string();
}
#else
void FolderItem::SetMacType(std::string_view) const {}
std::string FolderItem::MacType() const { return {}; }
#endif

FolderItem GetFolderItem(std::string_view absolutePath) {
  if (absolutePath.empty()) return {};
  return FolderItem(fs::path(std::u8string(absolutePath.begin(), absolutePath.end())));
}

}  // namespace platform
