/*
 * AVR Tests: firmware that tests its own code on the controller. Each check prints one line on
 * USART0, FILE:LINE:NAME:PASS or FILE:LINE:NAME:FAIL:message, which the IDE's output window
 * shows as a link to the check; then the firmware ends the run by sleeping with interrupts off.
 * F_CPU comes from the project's clock setting.
 */
#include <avr/interrupt.h>
#include <avr/io.h>
#include <avr/sleep.h>
#include <stdint.h>

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

static void put_number(unsigned number)
{
    char digits[6];
    unsigned char count = 0;
    do {
        digits[count++] = (char)('0' + number % 10);
        number /= 10;
    } while (number);
    while (count)
        put(digits[--count]);
}

/* One line per check, in the form the IDE links to the check. */
#define CHECK(name, condition)                                                                  \
    do {                                                                                        \
        puts_uart(__FILE__ ":");                                                                \
        put_number(__LINE__);                                                                   \
        puts_uart(":" name);                                                                    \
        puts_uart((condition) ? ":PASS\r\n" : ":FAIL:" #condition "\r\n");                      \
    } while (0)

/* The code under test. */
static uint8_t crc8(const uint8_t *data, uint8_t length)
{
    uint8_t crc = 0;
    while (length--) {
        crc ^= *data++;
        for (uint8_t bit = 0; bit < 8; ++bit)
            crc = (crc & 0x80) ? (uint8_t)((crc << 1) ^ 0x07) : (uint8_t)(crc << 1);
    }
    return crc;
}

static uint16_t scaled(uint16_t adc)
{
    return (uint16_t)(((uint32_t)adc * 5000u) / 1023u);
}

int main(void)
{
    UBRR0H = (unsigned char)(UBRR_VALUE >> 8);
    UBRR0L = (unsigned char)UBRR_VALUE;
    UCSR0B = (1 << TXEN0);
    UCSR0C = (1 << UCSZ01) | (1 << UCSZ00);

    static const uint8_t check[] = "123456789";
    CHECK("crc8 of the check string", crc8(check, 9) == 0xF4);
    CHECK("crc8 of nothing", crc8(check, 0) == 0);
    CHECK("full scale is 5000 mV", scaled(1023) == 5000);
    CHECK("half scale", scaled(512) == 2502);

    /* The last byte leaves the shift register before the controller stops. */
    while (!(UCSR0A & (1 << TXC0)))
        ;
    cli();
    set_sleep_mode(SLEEP_MODE_PWR_DOWN);
    sleep_enable();
    sleep_cpu();
    return 0;
}
