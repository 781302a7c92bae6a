/*
 * AVR Blinky: the LED changes state every half second.
 * It greets on the serial port first (9600 baud).
 * F_CPU comes from the project's clock setting.
 */
#include "led.h"

#include <avr/io.h>
#include <util/delay.h>

static void greet(const char *text)
{
    UBRR0 = F_CPU / 16 / 9600 - 1;
    UCSR0B = 1 << TXEN0;
    UCSR0C = (1 << UCSZ01) | (1 << UCSZ00);
    while (*text) {
        while (!(UCSR0A & (1 << UDRE0)))
            ;
        UDR0 = *text++;
    }
}

int main(void)
{
    greet("AVR Blinky: the LED is on PB5\r\n");
    led_init();
    for (;;) {
        led_toggle();
        _delay_ms(500);
    }
    return 0;
}
