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
 * Placement, more: the check tool and ReedBeep.ini are looked for beside the program's .exe
 * only (not in the current folder, nor beside TVKBDCMD.dll if you load it from elsewhere);
 * folder and file names may hold any characters, Japanese included.
 *
 * Loading: LoadLibrary, FreeLibrary and the library's attach and detach never wait for
 * anything; the library may be loaded from any thread, several at once, or from another
 * DLL's attach. A short thread of the library's own starts TAVBuzzChk.exe once the load is
 * over and keeps the library loaded until it has (milliseconds), so after FreeLibrary the
 * DLL may stay mapped for that long. A program that ends without FreeLibrary is counted out
 * all the same; the last program to go ends the check tool. Loading and freeing the library
 * again and again leaves no memory or handles behind.
 *
 * Blocking: a call returns when its command is done. With no keyboard attached it returns at
 * once. A keyboard that does not answer costs at most 14 s: 5 s for the frame to go out and
 * 5 s for the reply, each followed by up to 2 s for the cancelled transfer to confirm that
 * it has ended. SetKEYClick and DisKEYClick address two keyboards, so up to 28 s. The first
 * call after the first program on the PC loaded the library may wait up to a further 1 s
 * for that program to finish setting up the shared settings. Calls from one process are
 * taken one after the other, so a call made while another thread's call runs waits for that
 * one too. Call them off your user interface thread if that matters to you.
 *
 * Threads: calls from one process are serialised inside the library. No call reports
 * success or failure, and none throws.
 *
 * Values: pattern 0 once, 1 and 2 lasting (remembered until BuzzOff / WaveBuzzOff), sound and
 * click 0, 1 or 2; 255 repeats the remembered setting. Any other value does nothing.
 *
 * Off: BuzzOff, DisKEYClick and WaveBuzzOff forget the setting even while the keyboard is
 * unplugged, so a replug does not switch it back on. WaveBuzzOff stops the program's wave
 * files, and the ReedKey PAD's buzzer too when ReedBeep.ini chooses it or a lasting wave buzz
 * on the pad is remembered, so a change of ReedBeep.ini in between leaves nothing sounding.
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
