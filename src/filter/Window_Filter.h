#pragma once
// The parameter filter editor: which parameters of one device's RE description
// the generator may randomise, shown group by group as pages of check boxes.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Controls.h"
#include "platform/FolderItem.h"
#include "platform/Menu.h"
#include "platform/Window.h"
#include "shell/MenuBar1.h"

class Window_Filter : public platform::Window, public MenuBar1Accessors {
 public:
  Window_Filter() : MenuBar1Accessors(static_cast<const platform::Window&>(*this)) {}

  // The two check-box arrays. Member k of the parameter array is parameter k's
  // box, member g of the group array group g's box.
  class GroupBox : public platform::CheckBox {
   public:
    using platform::CheckBox::CheckBox;
  };
  class ParameterBox : public platform::CheckBox {
   public:
    using platform::CheckBox::CheckBox;
  };

  void Layout() override;
  void CreateControls() override;
  void _CreateControls0();

  // nullptr when no such member exists.
  GroupBox* CheckBox_EnableGroup(int index) const;
  platform::PopupMenu* PopupMenu_Group() const;
  ParameterBox* CheckBox_EnableParameter(int index) const;
  platform::UpDownArrows* UpDownArrows1() const;
  platform::PushButton* PushButtonSave() const;
  platform::PushButton* PushButtonCancel() const;
  platform::PushButton* PushButton1() const;

  bool CheckBox_EnableGroup_MouseDown(GroupBox& box, int x, int y);
  void PopupMenu_Group_Change();
  bool CheckBox_EnableParameter_MouseDown(ParameterBox& box, int x, int y);
  void UpDownArrows1_Down();
  void UpDownArrows1_Up();
  void PushButtonSave_Action();
  void PushButtonCancel_Action();
  void PushButton1_Action();

  void Event_Open() override;
  void Event_EnableMenuItems() override;
  void Event_Close() override;

  // Per parameter k, in line order of the description.
  std::vector<std::string> Prop;   // property name, untrimmed
  std::vector<std::string> Name;   // display name, trimmed
  std::vector<std::string> Group;  // group, trimmed
  // Per group g, in order of first appearance.
  std::vector<std::string> ListOfGroups;
  std::vector<std::string> ItemsInGroup;    // "|0|1|5": the member parameter numbers
  std::vector<std::string> NewLineInGroup;  // "||nl|": each member's new-line marker or nothing
  std::int32_t CurrentGroup = 0;

  // The device the model was built for; "Save" writes its filter file.
  const std::string& REName() const { return reName_; }

 private:
  GroupBox* addGroupBox();
  ParameterBox* addParameterBox();
  void readDescription(const platform::FolderItem& description);
  void readFilterFile(const platform::FolderItem& filterFile);
  bool writeFilterFile();

  std::string reName_;
  bool descriptionFound_ = false;
};

namespace the {
Window_Filter* Window_Filter();
}  // namespace the
