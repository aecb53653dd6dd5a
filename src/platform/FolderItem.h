#pragma once
// A file or folder by its path, existing or not. Cheap to copy.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "IOResult.h"

namespace platform {

class Picture;

class FolderItem {
 public:
  FolderItem() = default;  // no item (the framework's nil)
  explicit FolderItem(std::filesystem::path path);

  bool IsNil() const { return path_.empty(); }
  explicit operator bool() const { return !IsNil(); }

  // The item of that name inside this folder, also when it does not exist.
  FolderItem Child(std::string_view name) const;
  FolderItem Parent() const;

  // Items of a folder, sorted by name with the one text comparison, from 1 to
  // Count(). Every call sees the folder as it is at that moment; the listing
  // read last is used again only while the folder's stamp shows no change.
  int Count() const;
  FolderItem Item(int index) const;
  std::vector<FolderItem> Items() const;

  std::string Name() const;          // last path component, UTF-8
  std::string AbsolutePath() const;  // GetFolderItem() reverses it
  const std::filesystem::path& Path() const { return path_; }

  bool Exists() const;     // the item itself (a link counts, whatever it points to)
  bool Directory() const;  // an existing folder
  bool IsFile() const;     // exists and is not a folder
  bool IsLink() const;     // a symbolic link, whatever it points to

  IOResult CreateAsFolder() const;
  // Creates this folder and every missing folder above it.
  IOResult CreateFolderPath() const;
  // Removes a file, or an empty folder.
  IOResult Delete() const;
  // Moves this item into `folder` under its own name, replacing a file or a
  // link of that name there (a folder there stays, and the move fails). At
  // every moment, a crash included, it stands whole at its old place or at its
  // new one. Within one file system that is one rename, with the file flushed
  // before it when it can be opened (a file its owner may move but not read
  // moves all the same) and both folders after it; across file systems, a
  // copy as CopyFileTo makes it, and then the original is removed. A failure
  // after the item has arrived (the original that cannot be removed, a folder
  // that cannot be flushed) leaves the move done and is told in `afterwards`.
  IOResult MoveFileTo(const FolderItem& folder, IOResult* afterwards = nullptr) const;
  // Copies the bytes and permission bits of this file, or of the file a link
  // names, into `folder` under this item's own name, replacing a file there;
  // the new file is written whole before it takes that name, so after a
  // failure an earlier file of that name is as it was. A link of that name is
  // removed first (the file it names stays), not written through.
  IOResult CopyFileTo(const FolderItem& folder) const;
  // Opens the item in the OS file browser (a folder) or its application.
  bool Launch() const;
  Picture OpenAsPicture() const;

  // The four-letter file type: the Finder info on macOS, a user extended
  // attribute elsewhere where the file system takes one (silently nothing otherwise).
  void SetMacType(std::string_view type) const;
  std::string MacType() const;

  int Permissions() const;  // POSIX mode bits, -1 when unknown
  IOResult SetPermissions(int mode) const;

  bool operator==(const FolderItem& other) const { return path_ == other.path_; }

 private:
  std::filesystem::path path_;
};

// The item for a text that AbsolutePath() gave (path kind 0).
FolderItem GetFolderItem(std::string_view absolutePath);

// What a folder's status says of its entries: adding, removing or renaming an
// entry changes the modification and change times. A file system's clock may
// be coarse, so a change made within the same tick as the one before keeps
// the stamp as it was: a listing is trusted only when the folder's
// modification time lies a tick or more before the moment it was read.
struct FolderStamp {
  std::uint64_t device = 0, inode = 0, size = 0, links = 0;
  std::int64_t modifiedSeconds = 0, modifiedNanoseconds = 0;
  std::int64_t changedSeconds = 0, changedNanoseconds = 0;
  bool operator==(const FolderStamp&) const = default;
};
// stat(2) of the folder (following links); nothing when it has none.
std::optional<FolderStamp> ReadFolderStamp(const std::filesystem::path& folder);
// Where the listings take their stamps from; tests put a coarser clock in
// place. Returns the reader in use before.
using FolderStampReader = std::optional<FolderStamp> (*)(const std::filesystem::path& folder);
FolderStampReader SetFolderStampReader(FolderStampReader reader);

namespace SpecialFolder {
FolderItem ApplicationData();  // the user's application-data folder
FolderItem Preferences();      // the user's Preferences folder
FolderItem Desktop();
}  // namespace SpecialFolder

// The "Resources" folder of the application bundle: the folder beside the one
// holding the executable (Contents/MacOS/.. /Resources). Nil when absent.
FolderItem ApplicationBundleResources();

}  // namespace platform
