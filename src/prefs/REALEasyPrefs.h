#pragma once
// The application's one settings store: an ordered list of name=value texts in
// memory, loaded once from the preference file and written back whole on request.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/FolderItem.h"
#include "platform/IOResult.h"
#include "platform/WindowBounds.h"

namespace REALEasyPrefs {

#ifdef QM_BUNDLE_IDENTIFIER_TEXT
inline constexpr const char* kBundleIdentifier = QM_BUNDLE_IDENTIFIER_TEXT;
#else
inline constexpr const char* kBundleIdentifier = "com.quirlomatic.Quirlomatic";
#endif

// Entry i is (prefNames[i], prefItems[i]). Code outside the store may read
// them, empty both or append to both; any other change goes through the
// functions below, whose lookups follow the arrays.
extern std::vector<std::string> prefNames;
extern std::vector<std::string> prefItems;
extern platform::FolderItem prefFile;
// The preference file exists but could not be loaded (a folder in its place,
// no read permission, a broken link...): this run never replaces it.
extern bool prefFileUnreadable;

// Loads the store from the file named kBundleIdentifier (the argument is not used).
[[nodiscard]] platform::IOResult InitPrefFile(std::string_view unused);
// Empties the store and loads the file of that name ("" for kBundleIdentifier)
// in the Preferences folder, creating it empty (mode 0666) when missing. A file
// that exists but cannot be read leaves the store empty and sets
// prefFileUnreadable; the result says why.
[[nodiscard]] platform::IOResult InitPrefFolderFileMac(std::string_view fileName);

std::string GetPrefString(std::string_view name, std::string_view deflt);
void SetPrefString(std::string_view name, std::string_view value);
std::int32_t GetPrefNumber(std::string_view name, std::int32_t deflt);
void SetPrefNumber(std::string_view name, std::int32_t value);
platform::FolderItem GetPrefFolderItem(std::string_view name, const platform::FolderItem& deflt);
void SetPrefFolderItem(std::string_view name, const platform::FolderItem& item);  // nil removes
void GetPrefWindow(std::string_view name, platform::WindowBounds& window);
void SetPrefWindow(std::string_view name, const platform::WindowBounds* window);  // nullptr removes
void DeletePref(std::string_view name);

// Replaces the preference file with the store's entries; a failed write leaves
// the previous file whole. Does nothing, successfully, when prefFileUnreadable.
[[nodiscard]] platform::IOResult WritePrefFile();

}  // namespace REALEasyPrefs
