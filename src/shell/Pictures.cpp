#include "App.h"

using namespace platform;

namespace {
// Tries again on every call until a load gives a picture, then keeps it.
Picture cached(Picture& cache, const char* fileName) {
  if (!cache.IsNil()) return cache;
  const FolderItem resources = ApplicationBundleResources();
  if (resources.IsNil()) return {};
  cache = resources.Child(fileName).OpenAsPicture();
  return cache;
}
}  // namespace

Picture monotone_cog_settings_gear() {
  static Picture cache;
  return cached(cache, "monotone_cog_settings_gear.png");
}

Picture QuirlomaticIconklein() {
  static Picture cache;
  return cached(cache, "Quirlomatic Icon klein.png");
}
