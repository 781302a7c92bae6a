#include "led.h"

#include <avr/io.h>

#define LED_BIT PB5

void led_init(void)
{
    DDRB |= (1 << LED_BIT);
    PORTB &= ~(1 << LED_BIT);
}

void led_toggle(void)
{
    PINB = (1 << LED_BIT); /* writing a one to PINx toggles the pin */
}
