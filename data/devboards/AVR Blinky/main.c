/*
 * AVR Blinky: the LED changes state every half second.
 * F_CPU comes from the project's clock setting.
 */
#include "led.h"

#include <util/delay.h>

int main(void)
{
    led_init();
    for (;;) {
        led_toggle();
        _delay_ms(500);
    }
    return 0;
}
