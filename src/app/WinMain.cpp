// The program's entry point: one application object, its start, its loop.
#include "app/LinoscopeApp.h"
#include "platform/Platform.h"

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int) {
    // Before anything loads a library by name: a DLL dropped into the
    // program's folder or the current one must never be picked up.
    platform::RestrictLibrarySearch();
    CLinoscopeApp app(hInstance);
    if (!app.InitInstance()) return 0;
    return app.Run();
}
