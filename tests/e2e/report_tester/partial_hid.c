/* A stand-in "hid.dll" that lacks most HID entry points: Sonder must name the first one it
   misses (HidD_SetFeature) and stay usable. Placed beside Sonder.exe by the GUI test. */
#include <windows.h>

__declspec(dllexport) void WINAPI HidD_GetHidGuid(GUID* guid) {
    ZeroMemory(guid, sizeof *guid);
}

__declspec(dllexport) BOOLEAN WINAPI HidD_GetAttributes(HANDLE device, void* attributes) {
    (void)device;
    (void)attributes;
    return FALSE;
}

__declspec(dllexport) BOOLEAN WINAPI HidD_GetSerialNumberString(HANDLE device, void* buffer,
                                                                ULONG length) {
    (void)device;
    (void)buffer;
    (void)length;
    return FALSE;
}
