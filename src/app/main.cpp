#include <windows.h>

#include "app/run_driver.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) { return zel::RunSetupProgram(instance); }
