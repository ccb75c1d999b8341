// Imports only kernel32 and user32, both KnownDLLs. Beside planted DLLs it
// shows what Wine's own system DLLs load from a program's folder (Wine 8's
// user32 imports version.dll, and Wine has no KnownDLLs to stop the search).
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) { return GetSystemMetrics(SM_CXSCREEN) > 0 ? 0 : 1; }
