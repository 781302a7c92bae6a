/* The board's LED: on pin PB5 (Arduino pin 13 on boards of that shape). */
#ifndef LED_H
#define LED_H

void led_init(void);
void led_toggle(void);

#endif
