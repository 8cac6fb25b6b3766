#include "app/program.h"

// The command line and the show command are not used: the window always opens the same way.
int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    return RunProgram(instance);
}
