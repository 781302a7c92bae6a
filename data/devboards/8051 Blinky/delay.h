#ifndef DELAY_H
#define DELAY_H

/* Waits about ms milliseconds with an 11.0592 MHz crystal. */
void delay_ms(unsigned int ms);

#endif
