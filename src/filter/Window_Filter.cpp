#include "Window_Filter.h"

#include <algorithm>
#include <cerrno>
#include <functional>
#include <string_view>
#include <unordered_map>

#include "generator/RELine.h"
#include "platform/Dialogs.h"
#include "platform/Text.h"
#include "platform/TextStream.h"
#include "prefs/REALEasyPrefs.h"
#include "shell/App.h"
#include "shell/MenuBar1.h"

using namespace platform;

namespace {

constexpr const char* kGroupBoxName = "CheckBox_EnableGroup";
constexpr const char* kParameterBoxName = "CheckBox_EnableParameter";
// Every member of an array starts from its design member's place: parked.
constexpr Rect kGroupBoxDesign{20, -48, 20, 20};
constexpr Rect kParameterBoxDesign{52, -48, 190, 20};
constexpr const char* kParameterBoxCaption = "Parameter";
constexpr int kParkedTop = -48;

// The page grid.
constexpr int kGridLeft = 20, kGridTop = 46, kColumnStep = 200, kRowStep = 32, kLastColumnLeft = 700;
constexpr int kButtonsBelowLastRow = 32, kWindowBelowButtons = 40;

constexpr std::string_view kNewLineMarker = "nl";

template <class C>
C* as(Control* control) {
  return static_cast<C*>(control);
}

// Where each text of a list stands first. Keyed by the exact text, which is
// the program's one comparison.
class FirstIndex {
 public:
  FirstIndex() = default;
  explicit FirstIndex(const std::vector<std::string>& list) {
    for (std::size_t i = 0; i < list.size(); ++i) Add(list[i], static_cast<int>(i));
  }
  void Add(std::string_view text, int index) { first_.try_emplace(std::string(text), index); }
  int Find(std::string_view text) const {
    const auto it = first_.find(text);
    return it == first_.end() ? -1 : it->second;
  }

 private:
  struct Hash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
  };
  std::unordered_map<std::string, int, Hash, std::equal_to<>> first_;
};

// Every "|"-field of a member or marker list, read in one pass: field j (from
// 1) at [j - 1], as NthField gives it, and as many as CountFields counts.
std::vector<std::string_view> fieldsOf(std::string_view list) {
  std::vector<std::string_view> fields;
  std::size_t start = 0;
  for (std::size_t bar; (bar = list.find('|', start)) != std::string_view::npos; start = bar + 1)
    fields.push_back(list.substr(start, bar - start));
  fields.push_back(list.substr(start));
  return fields;
}

// The parameter numbers of a member list ("|0|1|5").
std::vector<int> members(std::string_view memberList) {
  const std::vector<std::string_view> fields = fieldsOf(memberList);
  std::vector<int> numbers;
  for (std::size_t j = 2; j <= fields.size(); ++j)
    if (const std::string_view field = fields[j - 1]; !field.empty()) numbers.push_back(ToInt32(Val(field)));
  return numbers;
}

}  // namespace

Window_Filter* the::Window_Filter() { return platform::SharedWindow<::Window_Filter>(); }

void Window_Filter::Layout() {
  SetMenuBar(the::MenuBar1());
  WindowDesign design;
  design.width = 840;
  design.height = 600;
  design.minWidth = 64;
  design.minHeight = 64;
  design.maxWidth = 32000;
  design.maxHeight = 32000;
  design.frame = Frame::Document;
  design.placement = Placement::MainScreenCentered;
  design.title = "Ohne Titel";
  design.closeButton = true;
  design.minimizeButton = true;
  design.visible = true;
  ApplyDesign(design);
}

void Window_Filter::CreateControls() { _CreateControls0(); }

void Window_Filter::_CreateControls0() {
  // Made in tab order.
  addGroupBox();

  auto* popup = AddControl<PopupMenu>("PopupMenu_Group", {20, 14, 200, 20});
  popup->Change = [this] { PopupMenu_Group_Change(); };

  addParameterBox();

  auto* arrows = AddControl<UpDownArrows>("UpDownArrows1", {229, 14, 13, 23});
  arrows->Up = [this] { UpDownArrows1_Up(); };
  arrows->Down = [this] { UpDownArrows1_Down(); };

  auto* save = AddControl<PushButton>("PushButtonSave", {334, 560, 80, 20});
  save->SetCaption("Save");
  save->SetDefault(true);
  save->Action = [this] { PushButtonSave_Action(); };

  auto* cancel = AddControl<PushButton>("PushButtonCancel", {426, 560, 80, 20});
  cancel->SetCaption("Cancel");
  cancel->SetCancel(true);
  cancel->Action = [this] { PushButtonCancel_Action(); };

  auto* checkAll = AddControl<PushButton>("PushButton1", {740, 14, 80, 20});
  checkAll->SetCaption("Check all");
  checkAll->Action = [this] { PushButton1_Action(); };
}

Window_Filter::GroupBox* Window_Filter::addGroupBox() {
  auto* box = AddControl<GroupBox>(kGroupBoxName, kGroupBoxDesign, /*inArray*/ true);
  box->SetState(0);
  box->MouseDown = [this, box](int x, int y) { return CheckBox_EnableGroup_MouseDown(*box, x, y); };
  return box;
}

Window_Filter::ParameterBox* Window_Filter::addParameterBox() {
  auto* box = AddControl<ParameterBox>(kParameterBoxName, kParameterBoxDesign, /*inArray*/ true);
  box->SetCaption(kParameterBoxCaption);
  box->SetState(0);
  box->MouseDown = [this, box](int x, int y) { return CheckBox_EnableParameter_MouseDown(*box, x, y); };
  return box;
}

Window_Filter::GroupBox* Window_Filter::CheckBox_EnableGroup(int index) const {
  return as<GroupBox>(ControlByNameIndex(kGroupBoxName, index));
}
PopupMenu* Window_Filter::PopupMenu_Group() const { return as<PopupMenu>(ControlByName("PopupMenu_Group")); }
Window_Filter::ParameterBox* Window_Filter::CheckBox_EnableParameter(int index) const {
  return as<ParameterBox>(ControlByNameIndex(kParameterBoxName, index));
}
UpDownArrows* Window_Filter::UpDownArrows1() const {
  return as<UpDownArrows>(ControlByName("UpDownArrows1"));
}
PushButton* Window_Filter::PushButtonSave() const { return as<PushButton>(ControlByName("PushButtonSave")); }
PushButton* Window_Filter::PushButtonCancel() const {
  return as<PushButton>(ControlByName("PushButtonCancel"));
}
PushButton* Window_Filter::PushButton1() const { return as<PushButton>(ControlByName("PushButton1")); }

void Window_Filter::Event_Open() {
  REALEasyPrefs::GetPrefWindow("Window_Filter", *this);
  // The model belongs to this device for as long as the editor stays open,
  // whatever the RE menu selects meanwhile.
  reName_ = the::App()->Selected_RE;
  SetTitle("Filter: " + reName_);

  readDescription(RELibraryFolder().Child(reName_));
  if (descriptionFound_) {
    PopupMenu_Group()->SetListIndex(0);
    // Whatever stands there is read, so that one that cannot be is reported.
    if (const FolderItem filterFile = FilterFolder().Child(reName_); filterFile.Exists())
      readFilterFile(filterFile);
  }

  // One row for all devices: the device shown last may have had more groups,
  // or none (-1); such a row leaves row 0 shown.
  const std::int32_t row = REALEasyPrefs::GetPrefNumber("PopupMenu_Group", 0);
  if (row >= 0 && row < PopupMenu_Group()->ListCount()) PopupMenu_Group()->SetListIndex(row);
}

void Window_Filter::readDescription(const FolderItem& description) {
  IOResult error;
  auto in = TextInputStream::Open(description, &error);
  if (!in) {
    if (error.NotFound() || error.error == EISDIR)
      MsgBox("File not found.");
    else
      ReportIOError(error);
    return;
  }
  // Only a description read to its end lets "Save" replace the filter file.
  descriptionFound_ = true;
  FirstIndex groups;
  std::string property;
  while (!in->Eof()) {
    const generator::RELine line = generator::ParseLine(in->ReadLine());
    if (line.kind == generator::LineClass::Property) {
      property = line.propertyName;
      continue;
    }
    if (line.kind != generator::LineClass::Placeholder) continue;

    const int k = static_cast<int>(Prop.size());
    Prop.push_back(property);
    Name.emplace_back(Trim(generator::PlaceholderField(line.placeholder, 4)));
    Group.emplace_back(Trim(generator::PlaceholderField(line.placeholder, 5)));
    ParameterBox* box = k > 0 ? addParameterBox() : CheckBox_EnableParameter(0);
    box->SetCaption(Name[k]);

    int g = groups.Find(Group[k]);
    if (g < 0) {
      g = static_cast<int>(ListOfGroups.size());
      groups.Add(Group[k], g);
      ListOfGroups.push_back(Group[k]);
      ItemsInGroup.emplace_back();
      NewLineInGroup.emplace_back();
      PopupMenu_Group()->AddRow(Group[k]);
      if (g > 0) addGroupBox();
    }
    ItemsInGroup[g] += "|" + Str(k);
    const std::string_view last = generator::LastPlaceholderField(line.placeholder);
    NewLineInGroup[g] += "|";
    if (InStr(last, kNewLineMarker) > 0) NewLineInGroup[g] += Trim(last);
  }
}

void Window_Filter::readFilterFile(const FolderItem& filterFile) {
  IOResult error;
  auto in = TextInputStream::Open(filterFile, &error);
  if (!in) {
    if (!error.NotFound()) ReportIOError(error);  // a link to nothing is no filter file
    return;
  }
  const FirstIndex groups(ListOfGroups), properties(Prop);
  bool parameterPart = false;
  while (!in->Eof()) {
    const std::string_view line = in->ReadLine();
    if (!parameterPart) {
      if (TextEquals(line, generator::kFilterSeparator)) {
        parameterPart = true;
      } else if (const int g = groups.Find(line); g >= 0) {
        if (GroupBox* box = CheckBox_EnableGroup(g)) box->SetState(1);
      }
    } else if (const int k = properties.Find(line); k >= 0) {
      if (ParameterBox* box = CheckBox_EnableParameter(k)) box->SetState(1);
    }
  }
}

void Window_Filter::PopupMenu_Group_Change() {
  CurrentGroup = PopupMenu_Group()->ListIndex();
  for (int k = 0; k < static_cast<int>(Name.size()); ++k)
    if (ParameterBox* box = CheckBox_EnableParameter(k)) box->SetTop(kParkedTop);
  for (int g = 0; g < static_cast<int>(ListOfGroups.size()); ++g)
    if (GroupBox* box = CheckBox_EnableGroup(g)) box->SetTop(kParkedTop);
  if (CurrentGroup < 0 || CurrentGroup >= static_cast<int>(ListOfGroups.size())) return;

  if (GroupBox* box = CheckBox_EnableGroup(CurrentGroup)) {
    box->SetLeft(249);
    box->SetTop(14);
  }
  // The lists do not change while the window is open: each is read once per page.
  const std::vector<std::string_view> memberFields = fieldsOf(ItemsInGroup[CurrentGroup]);
  const std::vector<std::string_view> markerFields = fieldsOf(NewLineInGroup[CurrentGroup]);
  int x = kGridLeft, y = kGridTop, lastY = 0;
  for (std::size_t j = 2; j <= memberFields.size(); ++j) {
    // Every marker starts a row of its own, also where the member would begin one anyway.
    if (const std::string_view marker = j <= markerFields.size() ? markerFields[j - 1] : std::string_view();
        !marker.empty()) {
      for (int n = CountFields(marker, kNewLineMarker) - 1; n > 0; --n) {
        x = kGridLeft;
        y += kRowStep;
      }
    }
    if (ParameterBox* box = CheckBox_EnableParameter(ToInt32(Val(memberFields[j - 1])))) {
      box->SetLeft(x);
      box->SetTop(y);
    }
    lastY = y;
    x += kColumnStep;
    if (x > kLastColumnLeft) {
      x = kGridLeft;
      y += kRowStep;
    }
  }
  PushButtonSave()->SetTop(lastY + kButtonsBelowLastRow);
  PushButtonCancel()->SetTop(lastY + kButtonsBelowLastRow);
  SetHeight(PushButtonSave()->Top() + kWindowBelowButtons);
}

void Window_Filter::UpDownArrows1_Down() {
  PopupMenu* popup = PopupMenu_Group();
  if (popup->ListCount() == 0) return;
  int row = popup->ListIndex() + 1;
  if (row > popup->ListCount() - 1) row = 0;
  popup->SetListIndex(row);
}

void Window_Filter::UpDownArrows1_Up() {
  PopupMenu* popup = PopupMenu_Group();
  if (popup->ListCount() == 0) return;
  int row = popup->ListIndex() - 1;
  if (row < 0) row = popup->ListCount() - 1;
  popup->SetListIndex(row);
}

// Runs before the click toggles the box: State is still the old one.
bool Window_Filter::CheckBox_EnableGroup_MouseDown(GroupBox& box, int /*x*/, int /*y*/) {
  const int g = box.Index();
  if (g < 0 || g >= static_cast<int>(ItemsInGroup.size())) return false;
  const int state = box.State() == 1 ? 0 : 1;
  for (int k : members(ItemsInGroup[g]))
    if (ParameterBox* member = CheckBox_EnableParameter(k)) member->SetState(state);
  return false;
}

bool Window_Filter::CheckBox_EnableParameter_MouseDown(ParameterBox& box, int /*x*/, int /*y*/) {
  if (box.State() == 0 && CurrentGroup >= 0 && CurrentGroup < static_cast<int>(ListOfGroups.size()))
    if (GroupBox* group = CheckBox_EnableGroup(CurrentGroup)) group->SetState(1);
  return false;
}

void Window_Filter::PushButton1_Action() {
  for (int g = 0; g < static_cast<int>(ListOfGroups.size()); ++g)
    if (GroupBox* box = CheckBox_EnableGroup(g)) box->SetState(1);
  for (int k = 0; k < static_cast<int>(Prop.size()); ++k)
    if (ParameterBox* box = CheckBox_EnableParameter(k)) box->SetState(1);
}

void Window_Filter::PushButtonSave_Action() {
  // Without its description (missing or unreadable) the editor shows no
  // parameters: saving would replace the device's filter with an empty one, so
  // it keeps the file as is.
  // A failed write keeps the editor open, so the user's choices are not lost.
  if (!descriptionFound_ || writeFilterFile()) Close();
}

bool Window_Filter::writeFilterFile() {
  const FolderItem folder = FilterFolder();
  if (!folder.Directory() && !ReportIOError(folder.CreateFolderPath())) return false;
  const FolderItem file = folder.Child(reName_);
  IOResult error;
  // One that cannot be read may hold choices this editor never showed: it stays.
  if (file.Exists() && !TextInputStream::Open(file, &error) && !error.NotFound())
    return ReportIOError(IOResult::Fail("write", file.AbsolutePath(), error.reason));
  auto out = TextOutputStream::Create(file, &error);
  if (!out) return ReportIOError(error);
  for (int g = 0; g < static_cast<int>(ListOfGroups.size()); ++g)
    if (GroupBox* box = CheckBox_EnableGroup(g); box && box->State() == 1) out->WriteLine(ListOfGroups[g]);
  out->WriteLine(generator::kFilterSeparator);
  for (int k = 0; k < static_cast<int>(Prop.size()); ++k)
    if (ParameterBox* box = CheckBox_EnableParameter(k); box && box->State() == 1) out->WriteLine(Prop[k]);
  return ReportIOError(out->Close());
}

void Window_Filter::PushButtonCancel_Action() { Close(); }

void Window_Filter::Event_EnableMenuItems() {
  if (MenuItem* item = FileCloseWindow()) item->SetEnabled(false);
  if (MenuItem* item = FileImport()) item->SetEnabled(false);
  // The editor's model belongs to one device: no other may be chosen meanwhile.
  MenuItem* menu = RackExtensions();
  if (!menu) return;
  for (int i = 0; i <= the::App()->RE_Menu_Number - 1; ++i)
    if (MenuItem* item = menu->Item(i)) item->SetEnabled(false);
}

void Window_Filter::Event_Close() {
  REALEasyPrefs::SetPrefWindow("Window_Filter", this);
  REALEasyPrefs::SetPrefNumber("PopupMenu_Group", PopupMenu_Group()->ListIndex());
  ReportIOError(REALEasyPrefs::WritePrefFile());
}
