#include "TextStream.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>

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
// A dot name, so that no listing of the library takes a half-written file for
// a description, and of a fixed length, so that a target of the longest name
// the file system takes can still be written.
std::string tempName(const FolderItem& target) {
  static std::mt19937_64 engine{std::random_device{}()};
  static const char* hex = "0123456789abcdef";
  std::string suffix;
  for (std::uint64_t x = engine(), i = 0; i < 8; ++i, x >>= 4) suffix += hex[x & 15];
  return target.Parent().Child(".quirlomatic-" + suffix + ".tmp").AbsolutePath();
}

// The file a link leads to, also when that file does not exist yet. Renaming
// over the link itself would turn a user's link (a preference file kept with
// their other settings elsewhere) into a plain file.
FolderItem followLinks(const FolderItem& file) {
  FolderItem item = file;
  for (int hops = 0; hops < 40; ++hops) {
    std::error_code ec;
    if (!std::filesystem::is_symlink(item.Path(), ec)) return item;
    const std::filesystem::path next = std::filesystem::read_symlink(item.Path(), ec);
    if (ec) return item;
    item = FolderItem(next.is_absolute() ? next : item.Path().parent_path() / next);
  }
  return item;  // a loop: the write fails on it with the system's reason
}
}  // namespace

std::optional<TextOutputStream> TextOutputStream::Create(const FolderItem& file, IOResult* error) {
  TextOutputStream stream;
  stream.target_ = file;
  stream.finalPath_ = followLinks(file).Path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    stream.tempPath_ = tempName(FolderItem(stream.finalPath_));
    // 0666 under the umask: the platform's default permissions for a new file.
    stream.fd_ = ::open(stream.tempPath_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (stream.fd_ >= 0 || errno != EEXIST) break;
  }
  if (stream.fd_ < 0) {
    // Name the file the user knows, not our temporary one.
    if (error) *error = IOResult::FromErrno("write", file.AbsolutePath(), errno);
    stream.tempPath_.clear();
    return std::nullopt;
  }
  if (error) *error = IOResult::Ok();
  return std::optional<TextOutputStream>(std::move(stream));
}

TextOutputStream::TextOutputStream(TextOutputStream&& other) noexcept
    : target_(std::move(other.target_)),
      finalPath_(std::move(other.finalPath_)),
      tempPath_(std::move(other.tempPath_)),
      fd_(other.fd_),
      buffer_(std::move(other.buffer_)),
      failed_(std::move(other.failed_)) {
  other.fd_ = -1;
  other.tempPath_.clear();
}

TextOutputStream& TextOutputStream::operator=(TextOutputStream&& other) noexcept {
  if (this != &other) {
    discard();
    target_ = std::move(other.target_);
    finalPath_ = std::move(other.finalPath_);
    tempPath_ = std::move(other.tempPath_);
    fd_ = other.fd_;
    buffer_ = std::move(other.buffer_);
    failed_ = std::move(other.failed_);
    other.fd_ = -1;
    other.tempPath_.clear();
  }
  return *this;
}

TextOutputStream::~TextOutputStream() { discard(); }

void TextOutputStream::discard() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!tempPath_.empty()) ::unlink(tempPath_.c_str());
  tempPath_.clear();
}

void TextOutputStream::Write(std::string_view text) {
  if (fd_ < 0 || failed_) return;
  buffer_.append(text);
  if (buffer_.size() >= (1u << 20)) {
    if (IOResult result = flush(); !result) failed_ = result;
  }
}

void TextOutputStream::WriteLine(std::string_view line) {
  Write(line);
  Write(EndOfLine);
}

IOResult TextOutputStream::flush() {
  IOResult result = posix::WriteAll(fd_, buffer_, target_);
  if (result) buffer_.clear();
  return result;
}

IOResult TextOutputStream::Close() {
  if (fd_ < 0 && tempPath_.empty()) return failed_ ? *failed_ : IOResult::Ok();
  IOResult result = failed_ ? *failed_ : flush();
  // On the disk before it replaces the old file: a power cut then leaves the
  // old file or the new one, never an empty one.
  if (result) result = posix::SyncToDisk(fd_, target_);
  if (result && ::close(fd_) != 0) result = IOResult::FromErrno("write", target_.AbsolutePath(), errno);
  else if (!result) ::close(fd_);
  fd_ = -1;
  if (result && ::rename(tempPath_.c_str(), finalPath_.c_str()) != 0)
    result = IOResult::FromErrno("write", target_.AbsolutePath(), errno);
  if (result) tempPath_.clear();  // now the target itself
  discard();
  failed_ = result;
  return result;
}

}  // namespace platform
