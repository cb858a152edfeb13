/* buzz_linked.exe: a C client bound to TVKBDCMD.dll at load time through its import library
 * and header. Sends one lasting buzz and a key click, then switches both off. */
#include <stdio.h>

#include "buzzer_library/TVKBDCMD.h"

int main(void) {
    BuzzOn(1, 2);
    SetKEYClick(0);
    BuzzOff();
    DisKEYClick();
    puts("linked calls done");
    return 0;
}
