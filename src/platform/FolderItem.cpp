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
#include <ctime>
#include <mutex>
#include <optional>
#include <system_error>
#include <utility>

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

namespace {

FolderStampReader stampReader = ReadFolderStamp;

// How long a folder's time stamp may stay the same after a change: the first
// covers a file system that keeps fractions of a second and the kernel's
// coarse clock behind it; a clock of whole seconds (HFS+) or of two (FAT)
// needs the second.
constexpr std::int64_t kFineTickNanoseconds = 100'000'000;
constexpr std::int64_t kSecondsTickNanoseconds = 2'000'000'000;

std::int64_t nanoseconds(std::int64_t seconds, std::int64_t fraction) {
  return seconds * 1'000'000'000 + fraction;
}

// The folder read last, kept while its stamp stays the same and was set
// clearly before the reading.
struct Listing {
  fs::path folder;
  FolderStamp stamp;
  std::vector<FolderItem> items;
};

std::mutex listingMutex;
std::optional<Listing> lastListing;

std::vector<FolderItem> readListing(const fs::path& folder, std::error_code& ec) {
  std::vector<std::pair<std::string, fs::path>> named;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const auto name = it->path().filename().u8string();
    named.emplace_back(std::string(name.begin(), name.end()), it->path());
  }
  std::sort(named.begin(), named.end(),
            [](const auto& a, const auto& b) { return TextLess(a.first, b.first); });
  std::vector<FolderItem> items;
  items.reserve(named.size());
  for (auto& entry : named) items.emplace_back(std::move(entry.second));
  return items;
}

// The listing as the folder is now, shared with the caller while it lasts.
template <class F>
auto withListing(const fs::path& folder, F&& use) {
  std::lock_guard lock(listingMutex);
  const std::optional<FolderStamp> stamp = stampReader(folder);
  if (!stamp) {
    lastListing.reset();
    return use(std::vector<FolderItem>());
  }
  if (lastListing && lastListing->folder == folder && lastListing->stamp == *stamp)
    return use(lastListing->items);

  timespec now{};
  const bool clock = ::clock_gettime(CLOCK_REALTIME, &now) == 0;
  std::error_code ec;
  std::vector<FolderItem> items = readListing(folder, ec);
  const bool wholeSeconds = stamp->modifiedNanoseconds == 0 && stamp->changedNanoseconds == 0;
  const std::int64_t tick = wholeSeconds ? kSecondsTickNanoseconds : kFineTickNanoseconds;
  const bool settled = clock && nanoseconds(stamp->modifiedSeconds, stamp->modifiedNanoseconds) <=
                                    nanoseconds(now.tv_sec, now.tv_nsec) - tick;
  if (ec || !settled) {
    lastListing.reset();
    return use(items);
  }
  lastListing = Listing{folder, *stamp, std::move(items)};
  return use(lastListing->items);
}

}  // namespace

std::optional<FolderStamp> ReadFolderStamp(const fs::path& folder) {
  struct stat st;
  if (::stat(folder.c_str(), &st) != 0) return std::nullopt;
  FolderStamp stamp;
  stamp.device = static_cast<std::uint64_t>(st.st_dev);
  stamp.inode = static_cast<std::uint64_t>(st.st_ino);
  stamp.size = static_cast<std::uint64_t>(st.st_size);
  stamp.links = static_cast<std::uint64_t>(st.st_nlink);
#if defined(__APPLE__)
  const timespec modified = st.st_mtimespec, changed = st.st_ctimespec;
#else
  const timespec modified = st.st_mtim, changed = st.st_ctim;
#endif
  stamp.modifiedSeconds = modified.tv_sec;
  stamp.modifiedNanoseconds = modified.tv_nsec;
  stamp.changedSeconds = changed.tv_sec;
  stamp.changedNanoseconds = changed.tv_nsec;
  return stamp;
}

FolderStampReader SetFolderStampReader(FolderStampReader reader) {
  std::lock_guard lock(listingMutex);
  lastListing.reset();
  return std::exchange(stampReader, reader ? reader : ReadFolderStamp);
}

std::vector<FolderItem> FolderItem::Items() const {
  return withListing(path_, [](const std::vector<FolderItem>& items) { return items; });
}

int FolderItem::Count() const {
  return withListing(path_,
                     [](const std::vector<FolderItem>& items) { return static_cast<int>(items.size()); });
}

FolderItem FolderItem::Item(int index) const {
  return withListing(path_, [index](const std::vector<FolderItem>& items) {
    if (index < 1 || index > static_cast<int>(items.size())) return FolderItem();
    return items[static_cast<std::size_t>(index - 1)];
  });
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
