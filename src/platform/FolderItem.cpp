#include "FolderItem.h"

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
#include <optional>
#include <system_error>

#include "PosixFile.h"
#include "Text.h"
#include "TextStream.h"

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

bool FolderItem::IsLink() const {
  struct stat st;
  return !IsNil() && ::lstat(path_.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

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

namespace {
// On the disk before the rename that may put it in place of an older file of
// its name. What cannot be opened was written by someone else and is moved
// as it is: refusing the move would help nobody. Only a regular file is
// opened; opening a device can have effects of its own.
IOResult flushIfReadable(const FolderItem& file) {
  struct stat st;
  if (::lstat(file.Path().c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return IOResult::Ok();
  posix::FileDescriptor fd;
  if (!posix::OpenForReading(file, fd, "move")) return IOResult::Ok();
  return posix::SyncToDisk(fd.Get(), file, "move");
}
}  // namespace

IOResult FolderItem::MoveFileTo(const FolderItem& folder, IOResult* afterwards) const {
  IOResult ignored;
  IOResult& after = afterwards ? *afterwards : ignored;
  after = IOResult::Ok();
  if (IOResult flushed = flushIfReadable(*this); !flushed) return flushed;
  if (::rename(path_.c_str(), folder.Child(Name()).path_.c_str()) == 0) {
    after = posix::SyncFolder(folder);
    // Should this one not reach the disk, a power cut leaves a second copy at most.
    (void)posix::SyncFolder(Parent());
    return IOResult::Ok();
  }
  if (errno != EXDEV) return IOResult::FromErrno("move", AbsolutePath(), errno);
  if (IOResult copied = CopyFileTo(folder); !copied) return copied;
  if (after = Delete(); after) (void)posix::SyncFolder(Parent());
  return IOResult::Ok();
}

IOResult FolderItem::CopyFileTo(const FolderItem& folder) const {
  std::string bytes;
  mode_t mode = 0;
  {
    posix::FileDescriptor in;
    if (IOResult opened = posix::OpenForReading(*this, in, "copy"); !opened) return opened;
    struct stat st;
    if (::fstat(in.Get(), &st) != 0) return IOResult::FromErrno("copy", AbsolutePath(), errno);
    mode = st.st_mode & 0777;
    if (IOResult read = posix::ReadToEnd(in.Get(), bytes, *this, "copy"); !read) return read;
  }
  const FolderItem target = folder.Child(Name());
  if (target.IsLink())
    if (IOResult removed = target.Delete(); !removed) return removed;
  IOResult result;
  std::optional<TextOutputStream> copy = TextOutputStream::Create(target, &result);
  if (!copy) return result;
  copy->Write(bytes);
  if (result = copy->Close(); !result) return result;
  if (result = target.SetPermissions(static_cast<int>(mode)); !result) return result;
  // The new name on the disk; a journaling file system commits the permissions with it.
  return posix::SyncFolder(folder);
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
