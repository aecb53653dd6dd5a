#include "TextStream.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <utility>

#include "PosixFile.h"
#include "Text.h"

namespace platform {

std::optional<TextInputStream> TextInputStream::Open(const FolderItem& file, IOResult* error) {
  auto fail = [&](IOResult result) -> std::optional<TextInputStream> {
    if (error) *error = std::move(result);
    return std::nullopt;
  };
  if (file.IsNil()) return fail(IOResult::FromErrno("read", file.AbsolutePath(), ENOENT));
  posix::FileDescriptor fd;
  if (IOResult opened = posix::OpenForReading(file, fd); !opened) return fail(std::move(opened));
  TextInputStream stream;
  if (IOResult read = posix::ReadToEnd(fd.Get(), stream.text_, file); !read) return fail(std::move(read));
  if (error) *error = IOResult::Ok();
  return stream;
}

namespace {
// The first CR or LF. find_first_of tests every byte against both characters
// one call at a time; memchr scans blocks. The search goes in chunks so that
// a file of CR line ends is not searched to its end for an LF on every line.
std::size_t lineEnd(std::string_view text) {
  constexpr std::size_t kChunk = 256;
  for (std::size_t from = 0; from < text.size(); from += kChunk) {
    const char* chunk = text.data() + from;
    const std::size_t n = std::min(kChunk, text.size() - from);
    const auto* lf = static_cast<const char*>(std::memchr(chunk, '\n', n));
    const std::size_t limit = lf ? static_cast<std::size_t>(lf - chunk) : n;
    if (const auto* cr = static_cast<const char*>(std::memchr(chunk, '\r', limit)))
      return from + static_cast<std::size_t>(cr - chunk);
    if (lf) return from + limit;
  }
  return std::string_view::npos;
}
}  // namespace

std::string_view TextInputStream::ReadLine() {
  const std::string_view rest = std::string_view(text_).substr(pos_);
  const auto end = lineEnd(rest);
  if (end == std::string_view::npos) {
    pos_ = text_.size();
    return rest;
  }
  pos_ += end + 1;
  if (rest[end] == '\r' && end + 1 < rest.size() && rest[end + 1] == '\n') ++pos_;
  return rest.substr(0, end);
}

namespace {
// The file a link leads to, also when that file does not exist yet; nothing
// for a loop. Renaming over the link itself would turn a user's link (a
// preference file kept with their other settings elsewhere) into a plain file.
std::optional<FolderItem> followLinks(const FolderItem& file) {
  FolderItem item = file;
  // As many as the system follows in one path.
  for (int hops = 0; hops < 40; ++hops) {
    std::error_code ec;
    if (!std::filesystem::is_symlink(item.Path(), ec)) return item;
    const std::filesystem::path next = std::filesystem::read_symlink(item.Path(), ec);
    if (ec) return item;
    item = FolderItem(next.is_absolute() ? next : item.Path().parent_path() / next);
  }
  return std::nullopt;
}

std::filesystem::path folderOf(const std::filesystem::path& file) {
  const std::filesystem::path folder = file.parent_path();
  return folder.empty() ? std::filesystem::path(".") : folder;
}

constexpr std::size_t kBufferLimit = 1u << 20;
}  // namespace

std::optional<TextOutputStream> TextOutputStream::Create(const FolderItem& file, IOResult* error) {
  return create(file, nullptr, error);
}

std::optional<TextOutputStream> TextOutputStream::create(const FolderItem& file,
                                                         const std::shared_ptr<posix::Folder>& shared,
                                                         IOResult* error) {
  // Failures name the file the user knows, not our temporary one.
  auto fail = [&](IOResult result) -> std::optional<TextOutputStream> {
    if (error) *error = std::move(result);
    return std::nullopt;
  };
  const std::optional<FolderItem> resolved = followLinks(file);
  if (!resolved) return fail(IOResult::FromErrno("write", file.AbsolutePath(), ELOOP));
  TextOutputStream stream;
  stream.target_ = file;
  stream.finalPath_ = resolved->Path();
  const std::filesystem::path folder = folderOf(stream.finalPath_);
  if (shared && folder.lexically_normal() == shared->Item().Path().lexically_normal()) {
    stream.folder_ = shared;
  } else {
    if (IOResult opened = posix::Folder::Open(FolderItem(folder), file, stream.folder_); !opened)
      return fail(std::move(opened));
    posix::RemoveLeftovers(*stream.folder_);
  }
  posix::FileDescriptor fd;
  if (IOResult made = posix::CreateTemporaryFile(*stream.folder_, fd, stream.tempName_, file); !made)
    return fail(std::move(made));
  stream.fd_ = fd.Release();
  stream.inBatch_ = shared != nullptr;
  if (error) *error = IOResult::Ok();
  return std::optional<TextOutputStream>(std::move(stream));
}

TextOutputStream::TextOutputStream(TextOutputStream&& other) noexcept
    : target_(std::move(other.target_)),
      finalPath_(std::move(other.finalPath_)),
      folder_(std::move(other.folder_)),
      tempName_(std::exchange(other.tempName_, {})),
      fd_(std::exchange(other.fd_, -1)),
      buffer_(std::move(other.buffer_)),
      failed_(std::move(other.failed_)),
      inBatch_(other.inBatch_) {}

TextOutputStream& TextOutputStream::operator=(TextOutputStream&& other) noexcept {
  if (this != &other) {
    discard();
    target_ = std::move(other.target_);
    finalPath_ = std::move(other.finalPath_);
    folder_ = std::move(other.folder_);
    tempName_ = std::exchange(other.tempName_, {});
    fd_ = std::exchange(other.fd_, -1);
    buffer_ = std::move(other.buffer_);
    failed_ = std::move(other.failed_);
    inBatch_ = other.inBatch_;
  }
  return *this;
}

TextOutputStream::~TextOutputStream() { discard(); }

// By the folder's descriptor: a folder moved away meanwhile keeps nothing of ours.
void TextOutputStream::discard() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!tempName_.empty() && folder_) ::unlinkat(folder_->Get(), tempName_.c_str(), 0);
  tempName_.clear();
  folder_.reset();
}

void TextOutputStream::Write(std::string_view text) {
  if (fd_ < 0 || failed_) return;
  buffer_.append(text);
  if (buffer_.size() >= kBufferLimit) {
    if (IOResult result = posix::WriteAll(fd_, buffer_, target_); !result)
      failed_ = result;
    else
      buffer_.clear();
  }
}

void TextOutputStream::WriteLine(std::string_view line) {
  Write(line);
  Write(EndOfLine);
}

IOResult TextOutputStream::failure(IOResult result) {
  failed_ = result;
  return result;
}

// Everything written so far into the file; the memory goes.
IOResult TextOutputStream::writeOut() {
  if (failed_) return *failed_;
  if (fd_ < 0) return IOResult::Ok();
  if (IOResult result = posix::WriteAll(fd_, buffer_, target_); !result) return failure(std::move(result));
  std::string().swap(buffer_);
  return IOResult::Ok();
}

IOResult TextOutputStream::putInPlace() {
  // The last chance for the file system to report a failed write.
  if (::close(std::exchange(fd_, -1)) != 0)
    return failure(IOResult::FromErrno("write", target_.AbsolutePath(), errno));
  // The target by its path: into the folder the user named, or not at all.
  if (::renameat(folder_->Get(), tempName_.c_str(), AT_FDCWD, finalPath_.c_str()) != 0)
    return failure(IOResult::FromErrno("write", target_.AbsolutePath(), errno));
  tempName_.clear();  // now the target itself
  return IOResult::Ok();
}

IOResult TextOutputStream::Close() {
  if (inBatch_) return writeOut();
  if (fd_ < 0 && tempName_.empty()) return failed_ ? *failed_ : IOResult::Ok();
  IOResult result = writeOut();
  // On the disk before it replaces the old file: a power cut then leaves the
  // old file or the new one, never an empty one.
  if (result) result = posix::SyncToDisk(fd_, target_);
  if (result) result = putInPlace();
  // And its new name with it.
  if (result) result = folder_->Sync(target_);
  discard();
  return failure(std::move(result));
}

TextOutputBatch::TextOutputBatch(FolderItem folder) : folder_(std::move(folder)) {}

TextOutputBatch::~TextOutputBatch() = default;

namespace {
// Half of what the process may open, the other half left to the rest of it.
std::size_t openFileCapacity() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return 1024;
  return std::max<std::size_t>(1, static_cast<std::size_t>(limit.rlim_cur / 2));
}

bool outOfDescriptors(const IOResult& result) { return result.error == EMFILE || result.error == ENFILE; }
}  // namespace

void TextOutputBatch::RaiseOpenFileLimit() {
  // Twice a batch of 999 with room to spare; more would only be in the way of
  // libraries that go through every possible descriptor.
  constexpr rlim_t kWanted = 4096;
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= kWanted)
    return;
  limit.rlim_cur = limit.rlim_max == RLIM_INFINITY ? kWanted : std::min(kWanted, limit.rlim_max);
  ::setrlimit(RLIMIT_NOFILE, &limit);
}

IOResult TextOutputBatch::fail(IOResult result) {
  failed_ = result;
  return result;
}

TextOutputStream* TextOutputBatch::Create(const FolderItem& file, IOResult* error) {
  auto refuse = [&](IOResult result) -> TextOutputStream* {
    if (error) *error = std::move(result);
    return nullptr;
  };
  if (failed_) return refuse(*failed_);
  if (!opened_) {
    if (IOResult opened = posix::Folder::Open(folder_, file, opened_); !opened)
      return refuse(std::move(opened));
    posix::RemoveLeftovers(*opened_);
    capacity_ = openFileCapacity();
  }
  // One text in memory at a time.
  if (!pending_.empty())
    if (IOResult written = pending_.back().writeOut(); !written) return refuse(fail(std::move(written)));
  if (pending_.size() >= capacity_)
    if (IOResult committed = commitPending(); !committed) return refuse(fail(std::move(committed)));
  IOResult made;
  auto stream = TextOutputStream::create(file, opened_, &made);
  if (!stream && outOfDescriptors(made) && !pending_.empty()) {
    if (IOResult committed = commitPending(); !committed) return refuse(fail(std::move(committed)));
    stream = TextOutputStream::create(file, opened_, &made);
  }
  if (!stream) return refuse(std::move(made));
  if (error) *error = IOResult::Ok();
  return &pending_.emplace_back(std::move(*stream));
}

IOResult TextOutputBatch::Commit() {
  const IOResult committed = commitPending();
  if (!committed) return fail(committed);
  return failed_ ? *failed_ : IOResult::Ok();
}

// Every pending file on the disk before the first rename. The streams of
// files that a link leads into another folder are flushed one by one.
IOResult TextOutputBatch::flushPending() {
  const TextOutputStream& first = pending_.front();
  const bool sharesFolder = std::any_of(pending_.begin(), pending_.end(),
                                        [this](const TextOutputStream& s) { return s.folder_ == opened_; });
  // One flush of the whole file system costs about what one of a single file does.
  bool wholeFileSystem = false;
#if defined(__linux__)
  wholeFileSystem = sharesFolder && posix::SyncFileSystem(opened_->Get(), first.target_);
#endif
  for (const TextOutputStream& stream : pending_) {
    IOResult flushed = IOResult::Ok();
    if (stream.folder_ != opened_)
      flushed = posix::SyncToDisk(stream.fd_, stream.target_);
    else if (!wholeFileSystem)
      flushed = posix::WriteBack(stream.fd_, stream.target_);
    if (!flushed) return flushed;
  }
  // On macOS the folder's full flush takes every file's data past the drive's
  // cache as well, before any rename can reach the disk.
  return sharesFolder ? opened_->Sync(first.target_) : IOResult::Ok();
}

IOResult TextOutputBatch::commitPending() {
  if (pending_.empty()) return IOResult::Ok();
  IOResult result = IOResult::Ok();
  for (std::size_t i = 0; i < pending_.size(); ++i) {
    if (IOResult written = pending_[i].writeOut(); !written) {
      result = std::move(written);
      pending_.erase(pending_.begin() + static_cast<std::ptrdiff_t>(i), pending_.end());
      break;
    }
  }
  if (pending_.empty()) return result;
  if (IOResult flushed = flushPending(); !flushed) {
    pending_.clear();
    return flushed;
  }
  const FolderItem* last = nullptr;
  for (TextOutputStream& stream : pending_) {
    IOResult renamed = stream.putInPlace();
    if (renamed && stream.folder_ != opened_) renamed = stream.folder_->Sync(stream.target_);
    if (!renamed) {
      result = std::move(renamed);
      break;
    }
    ++committed_;
    last = &stream.target_;
  }
  // The new names on the disk, those before a failure too.
  if (last && opened_) {
    if (IOResult synced = opened_->Sync(*last); !synced && result) result = std::move(synced);
  }
  pending_.clear();
  return result;
}

void RemoveTemporaryLeftovers(const FolderItem& folder) {
  std::shared_ptr<posix::Folder> opened;
  if (posix::Folder::Open(folder, folder, opened)) posix::RemoveLeftovers(*opened);
}

}  // namespace platform
