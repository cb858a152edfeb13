/* buzz_nested.dll: a library of a point-of-sale program that loads TVKBDCMD.dll from its own
 * attach and frees it at its detach, as some do (buzz_client.exe's loadfree drives it). */
#include <windows.h>

static HMODULE buzzer;

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)instance;
    if (reason == DLL_PROCESS_ATTACH) {
        buzzer = LoadLibraryA("TVKBDCMD.dll");
    } else if (reason == DLL_PROCESS_DETACH && reserved == NULL && buzzer != NULL) {
        FreeLibrary(buzzer);
    }
    return TRUE;
}
