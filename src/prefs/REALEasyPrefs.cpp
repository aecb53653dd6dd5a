#include "REALEasyPrefs.h"

#include <algorithm>
#include <functional>
#include <optional>
#include <unordered_map>

#include "platform/Text.h"
#include "platform/TextStream.h"

using namespace platform;

namespace REALEasyPrefs {

std::vector<std::string> prefNames;
std::vector<std::string> prefItems;
FolderItem prefFile;
bool prefFileUnreadable = false;

namespace {

// The file format has no room for "=" in a name or a line end anywhere, and RE
// names (file names) may hold "=". Such an entry is written as
// "=" + escaped name + "=" + escaped value. Every other entry is written plain,
// and every line is split at its first "=" unless it is such an escaped line,
// so hand-written lines keep their meaning and their exact form.

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

struct Unescaped {
  std::string text;
  bool heldEqualsOrLineEnd = false;
  bool heldPercent = false;
};

// Reverses escape(); nothing for a text escape() cannot have given.
std::optional<Unescaped> unescape(std::string_view text) {
  Unescaped out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '=') return std::nullopt;
    if (c == '%') {
      const std::string_view code = text.substr(i + 1, 2);
      if (code == "25") {
        c = '%';
        out.heldPercent = true;
      } else {
        c = code == "3D" ? '=' : code == "0A" ? '\n' : code == "0D" ? '\r' : '\0';
        if (c == '\0') return std::nullopt;
        out.heldEqualsOrLineEnd = true;
      }
      i += 2;
    }
    out.text += c;
  }
  return out;
}

// A line only our writer can have written: "=", escaped name, "=", escaped
// value, where name or value held a "=" or a line end (the only reasons to
// escape). Earlier versions also escaped an empty name whose value held a "%".
bool readEscaped(std::string_view line, std::string& name, std::string& value) {
  if (line.empty() || line[0] != '=') return false;
  const auto second = line.find('=', 1);
  if (second == std::string_view::npos) return false;
  auto n = unescape(line.substr(1, second - 1));
  auto v = unescape(line.substr(second + 1));
  if (!n || !v) return false;
  const bool oldEmptyName = n->text.empty() && v->heldPercent;
  if (!n->heldEqualsOrLineEnd && !v->heldEqualsOrLineEnd && !oldEmptyName) return false;
  name = std::move(n->text);
  value = std::move(v->text);
  return true;
}

void appendLine(std::string_view line) {
  std::string name, value;
  if (!readEscaped(line, name, value)) {
    const auto eq = line.find('=');
    name = line.substr(0, eq);
    if (eq != std::string_view::npos) value = line.substr(eq + 1);
  }
  prefNames.push_back(std::move(name));
  prefItems.push_back(std::move(value));
}

// Whether the plain line would load back as another entry.
bool needsEscape(std::string_view name, std::string_view value) {
  auto hasLineEnd = [](std::string_view t) { return t.find_first_of("\r\n") != std::string_view::npos; };
  if (hasLineEnd(name) || hasLineEnd(value) || name.find('=') != std::string_view::npos) return true;
  std::string n, v;
  return name.empty() && readEscaped("=" + std::string(value), n, v);
}

// Where each name stands first among the entries [0, indexed), so that a
// lookup costs the same in a store of thousands of devices as in one of ten.
// Keyed by the exact text, which is the program's one comparison. Loading
// empties the arrays and appends to them, and so may code outside the store:
// the index follows their length, starts again when the last entry it took
// has gone, and a hit that no longer names its entry builds it again.
struct TextHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
};
std::unordered_map<std::string, std::size_t, TextHash, std::equal_to<>> firstEntry;
std::size_t indexed = 0;
std::string lastIndexedName;

void forgetIndex() {
  firstEntry.clear();
  indexed = 0;
}

void followArrays() {
  if (prefNames.size() < indexed || (indexed > 0 && !TextEquals(prefNames[indexed - 1], lastIndexedName)))
    forgetIndex();
  if (indexed == prefNames.size()) return;
  for (; indexed < prefNames.size(); ++indexed) firstEntry.try_emplace(prefNames[indexed], indexed);
  lastIndexedName = prefNames[indexed - 1];
}

int find(std::string_view name) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    followArrays();
    const auto it = firstEntry.find(name);
    if (it == firstEntry.end()) return -1;
    if (TextEquals(prefNames[it->second], name)) return static_cast<int>(it->second);
    forgetIndex();
  }
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
  forgetIndex();
  prefFileUnreadable = false;
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
  if (!in) {
    prefFileUnreadable = true;
    return result;
  }
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
  if (find(name) < 0) return;
  std::size_t kept = 0;
  for (std::size_t i = 0; i < prefNames.size(); ++i) {
    if (TextEquals(prefNames[i], name)) continue;
    if (kept != i) {
      prefNames[kept] = std::move(prefNames[i]);
      prefItems[kept] = std::move(prefItems[i]);
    }
    ++kept;
  }
  prefNames.resize(kept);
  prefItems.resize(kept);
  forgetIndex();
}

IOResult WritePrefFile() {
  // The user was told at start; what the file holds may be all they have.
  if (prefFileUnreadable) return IOResult::Ok();
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
