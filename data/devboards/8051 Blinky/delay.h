#ifndef DELAY_H
#define DELAY_H

/* Timer 0 counts time in the background; its interrupt routine must be seen by main.c. */
void timer0_isr(void) __interrupt(1);

/* Waits until ms milliseconds (a multiple of 5) have passed since the end of the last wait,
 * with an 11.0592 MHz crystal: calls in a loop follow each other exactly ms apart. */
void delay_ms(unsigned int ms);

#endif
