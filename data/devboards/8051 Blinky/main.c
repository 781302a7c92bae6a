/* 8051 Blinky: the LED on P1.0 changes state twice a second. */
#include <8052.h>

#include "delay.h"

void main(void)
{
    for (;;) {
        P1_0 = !P1_0;
        delay_ms(500);
    }
}
