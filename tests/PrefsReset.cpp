// After each test of a suite that uses the preference store: the store is
// empty and has no file, as before the first InitPrefFile.
#include "TestSupport.h"
#include "prefs/REALEasyPrefs.h"

namespace {
const testing_support::ResetStep emptyStore([] {
  REALEasyPrefs::prefNames.clear();
  REALEasyPrefs::prefItems.clear();
  REALEasyPrefs::prefFile = platform::FolderItem();
  REALEasyPrefs::prefFileUnreadable = false;
});
}  // namespace
