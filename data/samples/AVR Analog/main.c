/*
 * AVR Analog: reads the voltage on ADC0 against the 5 V supply four times a second and prints
 * the reading and the millivolts it stands for on USART0 at 9600 baud. F_CPU comes from the
 * project's clock setting.
 */
#include <avr/io.h>
#include <stdint.h>
#include <util/delay.h>

#define BAUD 9600
#define UBRR_VALUE ((F_CPU / 16 / BAUD) - 1)

static void put(char c)
{
    while (!(UCSR0A & (1 << UDRE0)))
        ;
    UDR0 = c;
}

static void puts_uart(const char *text)
{
    while (*text)
        put(*text++);
}

static void put_number(uint16_t number)
{
    char digits[6];
    uint8_t count = 0;
    do {
        digits[count++] = (char)('0' + number % 10);
        number /= 10;
    } while (number);
    while (count)
        put(digits[--count]);
}

static uint16_t read_adc(uint8_t channel)
{
    ADMUX = (1 << REFS0) | channel; /* AVcc as reference */
    ADCSRA |= 1 << ADSC;
    while (ADCSRA & (1 << ADSC))
        ;
    return ADC;
}

int main(void)
{
    UBRR0H = (unsigned char)(UBRR_VALUE >> 8);
    UBRR0L = (unsigned char)UBRR_VALUE;
    UCSR0B = 1 << TXEN0;
    UCSR0C = (1 << UCSZ01) | (1 << UCSZ00);
    ADCSRA = (1 << ADEN) | 7; /* the converter on, clock F_CPU / 128 */
    for (;;) {
        const uint16_t reading = read_adc(0);
        puts_uart("ADC0 reads ");
        put_number(reading);
        puts_uart(" of 1023: ");
        put_number((uint16_t)((uint32_t)reading * 5000u / 1023u));
        puts_uart(" mV\r\n");
        _delay_ms(250);
    }
}
