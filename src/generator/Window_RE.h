#pragma once
// The generator window of the selected device: a count, "Start", and the gear
// that opens the filter editor.
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Controls.h"
#include "platform/FolderItem.h"
#include "platform/IOResult.h"
#include "platform/Menu.h"
#include "platform/Window.h"
#include "shell/MenuBar1.h"

class Window_RE : public platform::Window, public MenuBar1Accessors {
 public:
  Window_RE() : MenuBar1Accessors(static_cast<const platform::Window&>(*this)) {}

  void Layout() override;
  void CreateControls() override;
  void _CreateControls0();

  platform::Label* Label1() const;
  platform::PushButton* PushButton1() const;
  platform::Label* Label2() const;
  platform::TextField* TextField1() const;
  platform::Canvas* Canvas1() const;
  platform::PushButton* PushButton2() const;

  void PushButton1_Action();
  void TextField1_Open();
  bool Canvas1_MouseDown(int x, int y);
  void PushButton2_Action();

  void AddMenuHandlers() override;
  void Event_Open() override;
  void Event_Close() override;
  void Event_EnableMenuItems() override;

  bool _FileCloseWindow_Action();
  bool _FileFilter_Action();

  // The text of one patch for App.Selected_RE; "" (after a message) when the
  // description is missing or it or the filter file cannot be read.
  static std::string Create_Random_Patch();
  static std::string MakeNumber(std::string_view kind, std::string_view minimum, std::string_view maximum);

  // Writes `count` patches of `reName` into `folder`, numbered on from
  // `counter`, which ends as the number of the last file put in place. Stops
  // at the first file that cannot be built or written and says why; the files
  // before it are in place.
  static platform::IOResult WriteBatch(const platform::FolderItem& folder, const std::string& reName,
                                       int count, std::int32_t& counter);
};

namespace the {
Window_RE* Window_RE();
}  // namespace the
