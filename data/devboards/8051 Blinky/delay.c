#include "delay.h"

#include <8052.h>

/*
 * Timer 0 in mode 2 reloads itself with 64 and overflows every 192 machine cycles. With an
 * 11.0592 MHz crystal (12 clocks a machine cycle) that is 5 ms every 24 overflows, which the
 * interrupt routine counts. Each wait ends a fixed number of overflows after the end of the
 * one before, so the time the caller spends between waits does not add up.
 */
static volatile unsigned int overflows;
static unsigned int deadline;
static __bit running;

void timer0_isr(void) __interrupt(1)
{
    ++overflows;
}

static unsigned int now(void)
{
    unsigned int count;
    ET0 = 0; /* both bytes of the count from the same moment */
    count = overflows;
    ET0 = 1;
    return count;
}

void delay_ms(unsigned int ms)
{
    const unsigned int wanted = ms / 5 * 24;
    if (!running) {
        TMOD = (TMOD & 0xF0) | 0x02;
        TH0 = 64;
        TL0 = 64;
        ET0 = 1;
        EA = 1;
        TR0 = 1;
        running = 1;
        deadline = now();
    }
    deadline += wanted;
    while ((int)(now() - deadline) < 0)
        ;
}
