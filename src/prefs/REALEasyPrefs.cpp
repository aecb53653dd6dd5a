#include "REALEasyPrefs.h"

#include <algorithm>

#include "platform/Text.h"
#include "platform/TextStream.h"

using namespace platform;

namespace REALEasyPrefs {

std::vector<std::string> prefNames;
std::vector<std::string> prefItems;
FolderItem prefFile;

namespace {

// The file format has no room for "=" in a name or a line end anywhere, and RE
// names (file names) may hold "=". Such an entry is written as
// "=" + escaped name + "=" + escaped value; every other entry is written as it
// is, so files without such texts keep their exact form.
bool needsEscape(std::string_view name, std::string_view value) {
  auto hasLineEnd = [](std::string_view t) { return t.find_first_of("\r\n") != std::string_view::npos; };
  if (hasLineEnd(name) || hasLineEnd(value) || name.find('=') != std::string_view::npos) return true;
  // "=a=b" would read back as escaped.
  return name.empty() && value.find('=') != std::string_view::npos;
}

std::string escape(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '%': out += "%25"; break;
      case '=': out += "%3D"; break;
      case '\n': out += "%0A"; break;
      case '\r': out += "%0D"; break;
      default: out += c;
    }
  }
  return out;
}

std::string unescape(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      const std::string_view code = text.substr(i + 1, 2);
      char c = 0;
      if (code == "25") c = '%';
      else if (code == "3D") c = '=';
      else if (code == "0A") c = '\n';
      else if (code == "0D") c = '\r';
      if (c) {
        out += c;
        i += 2;
        continue;
      }
    }
    out += text[i];
  }
  return out;
}

void appendLine(std::string_view line) {
  const auto eq = line.find('=');
  if (eq == 0 && line.find('=', 1) != std::string_view::npos) {
    const auto second = line.find('=', 1);
    prefNames.push_back(unescape(line.substr(1, second - 1)));
    prefItems.push_back(unescape(line.substr(second + 1)));
    return;
  }
  if (eq == std::string_view::npos) {
    prefNames.emplace_back(line);
    prefItems.emplace_back();
  } else {
    prefNames.emplace_back(line.substr(0, eq));
    prefItems.emplace_back(line.substr(eq + 1));
  }
}

int find(std::string_view name) {
  for (std::size_t i = 0; i < prefNames.size(); ++i)
    if (TextEquals(prefNames[i], name)) return static_cast<int>(i);
  return -1;
}

std::string boundsText(const WindowBounds& w) {
  return Str(w.Left()) + "," + Str(w.Top()) + "," + Str(w.Width()) + "," + Str(w.Height());
}

}  // namespace

IOResult InitPrefFile(std::string_view) { return InitPrefFolderFileMac(kBundleIdentifier); }

IOResult InitPrefFolderFileMac(std::string_view fileName) {
  prefNames.clear();
  prefItems.clear();
  if (fileName.empty()) fileName = kBundleIdentifier;
  prefFile = SpecialFolder::Preferences().Child(fileName);
  if (!prefFile.Exists()) {
    // On a fresh system the Preferences folder itself may not exist yet.
    if (IOResult made = prefFile.Parent().CreateFolderPath(); !made) return made;
    IOResult result;
    auto out = TextOutputStream::Create(prefFile, &result);
    if (!out) return result;
    if (result = out->Close(); !result) return result;
    return prefFile.SetPermissions(0666);
  }
  IOResult result;
  auto in = TextInputStream::Open(prefFile, &result);
  if (!in) return result;
  while (!in->Eof()) appendLine(in->ReadLine());
  return IOResult::Ok();
}

std::string GetPrefString(std::string_view name, std::string_view deflt) {
  const int i = find(name);
  return i < 0 ? std::string(deflt) : prefItems[static_cast<std::size_t>(i)];
}

void SetPrefString(std::string_view name, std::string_view value) {
  const int i = find(name);
  if (i >= 0) {
    prefItems[static_cast<std::size_t>(i)] = value;
    return;
  }
  prefNames.emplace_back(name);
  prefItems.emplace_back(value);
}

std::int32_t GetPrefNumber(std::string_view name, std::int32_t deflt) {
  return ToInt32(Val(GetPrefString(name, Str(deflt))));
}

void SetPrefNumber(std::string_view name, std::int32_t value) { SetPrefString(name, Str(value)); }

FolderItem GetPrefFolderItem(std::string_view name, const FolderItem& deflt) {
  const std::string text = GetPrefString(name, deflt.IsNil() ? std::string() : deflt.AbsolutePath());
  return text.empty() ? FolderItem() : GetFolderItem(text);
}

void SetPrefFolderItem(std::string_view name, const FolderItem& item) {
  if (item.IsNil()) return DeletePref(name);
  SetPrefString(name, item.AbsolutePath());
}

void GetPrefWindow(std::string_view name, WindowBounds& window) {
  const std::string text = GetPrefString(name, boundsText(window));
  auto field = [&](int n) { return ToInt32(Val(NthField(text, ",", n))); };
  window.SetLeft(field(1));
  window.SetTop(field(2));
  window.SetWidth(field(3));
  window.SetHeight(field(4));
}

void SetPrefWindow(std::string_view name, const WindowBounds* window) {
  if (!window) return DeletePref(name);
  SetPrefString(name, boundsText(*window));
}

void DeletePref(std::string_view name) {
  for (std::size_t i = prefNames.size(); i-- > 0;) {
    if (TextEquals(prefNames[i], name)) {
      prefNames.erase(prefNames.begin() + static_cast<std::ptrdiff_t>(i));
      prefItems.erase(prefItems.begin() + static_cast<std::ptrdiff_t>(i));
    }
  }
}

IOResult WritePrefFile() {
  IOResult result;
  auto out = TextOutputStream::Create(prefFile, &result);
  if (!out) return result;
  for (std::size_t i = 0; i < prefNames.size(); ++i) {
    const std::string& name = prefNames[i];
    const std::string& value = prefItems[i];
    if (needsEscape(name, value))
      out->Write("=" + escape(name) + "=" + escape(value) + std::string(EndOfLineUNIX));
    else
      out->Write(name + "=" + value + std::string(EndOfLineUNIX));
  }
  if (result = out->Close(); !result) return result;
  prefFile.SetMacType("pref");
  return IOResult::Ok();
}

}  // namespace REALEasyPrefs
