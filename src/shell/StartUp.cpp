#include "StartUp.h"

#include "App.h"
#include "MenuBar1.h"

void InstallApplication(App& app) {
  app.SetMenuBar(the::MenuBar1());
  app.AddMenuHandler("FileImport", [&app] { return app._FileImport_Action(); });
  app.AddMenuHandler("FileResetNumbers", [&app] { return app._FileResetNumbers_Action(); });
  app.AddMenuHandler("AppleAbout", [&app] { return app._AppleAbout_Action(); });
}
