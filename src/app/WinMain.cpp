// The program's entry point: one application object, its start, its loop.
#include "app/LinoscopeApp.h"

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int) {
    CLinoscopeApp app(hInstance);
    if (!app.InitInstance()) return 0;
    return app.Run();
}
