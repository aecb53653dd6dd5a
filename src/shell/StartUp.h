#pragma once
class App;
// Makes the menu bar the application's and binds the application's menu
// handlers by item name; the event loop then raises the Open event.
void InstallApplication(App& app);
