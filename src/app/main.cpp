#include "platform/Application.h"
#include "shell/App.h"
#include "shell/StartUp.h"

int main(int argc, char** argv) {
  platform::Runtime runtime(argc, argv);
  App app;
  InstallApplication(app);
  return runtime.Run(app);
}
