/*
 * TVKBDCMD.h: the buzzer and key-click commands of TVKBDCMD.dll for point-of-sale programs.
 * C and C++; 32- and 64-bit Windows.
 *
 * Placement: TVKBDCMD.dll, TAVBuzzChk.exe and (optionally) ReedBeep.ini go into the folder of
 * the client program's own .exe. Loading the library starts TAVBuzzChk.exe from that folder;
 * ReedBeep.ini is looked for there. Use the 32-bit files with a 32-bit program and the 64-bit
 * files with a 64-bit one.
 *
 * Calling convention: __stdcall (WINAPI) in both bitnesses, exported under the plain names
 * below (no decoration), so GetProcAddress(module, "BuzzOn") works and Visual Basic, Delphi
 * and .NET declarations bind them by default. Every argument is a 32-bit signed integer.
 *
 * Blocking: a call returns when its command is done. It waits at most 10 s per keyboard
 * (5 s for the frame to go out, 5 s for the reply); SetKEYClick and DisKEYClick address two
 * keyboards, so they may take up to 20 s. Call them off your user interface thread if that
 * matters to you.
 *
 * Threads: calls from one process are serialised inside the library; a call from a second
 * thread waits for the one in progress. No call reports success or failure, and none throws.
 *
 * Values: pattern 0 once, 1 and 2 lasting (remembered until BuzzOff / WaveBuzzOff), sound and
 * click 0, 1 or 2; 255 repeats the remembered setting. Any other value does nothing.
 */
#ifndef TVKBDCMD_H
#define TVKBDCMD_H

#ifdef __cplusplus
extern "C" {
#endif

#ifndef TVKBDCMD_CALL
#define TVKBDCMD_CALL __stdcall
#endif
#ifndef TVKBDCMD_API
#define TVKBDCMD_API __declspec(dllimport)
#endif

/* The Sparrow POS Keyboard's buzzer. */
TVKBDCMD_API void TVKBDCMD_CALL BuzzOn(int pattern, int sound);
TVKBDCMD_API void TVKBDCMD_CALL BuzzOff(void);
/* The key click of the ReedKey PAD and of the Sparrow POS Keyboard. */
TVKBDCMD_API void TVKBDCMD_CALL SetKEYClick(int click);
TVKBDCMD_API void TVKBDCMD_CALL DisKEYClick(void);
/* The wave buzzer: wave files on the PC, or the ReedKey PAD's buzzer, as ReedBeep.ini says. */
TVKBDCMD_API void TVKBDCMD_CALL WaveBuzzOn(int pattern, int sound);
TVKBDCMD_API void TVKBDCMD_CALL WaveBuzzOff(void);

/* Pointer types for run-time binding with GetProcAddress. */
typedef void(TVKBDCMD_CALL* TVKBDCMD_PATTERN_SOUND_FN)(int pattern, int sound);
typedef void(TVKBDCMD_CALL* TVKBDCMD_CLICK_FN)(int click);
typedef void(TVKBDCMD_CALL* TVKBDCMD_VOID_FN)(void);

#ifdef __cplusplus
}
#endif

#endif /* TVKBDCMD_H */
