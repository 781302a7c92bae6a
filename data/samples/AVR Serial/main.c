/*
 * AVR Serial: greets on USART0 at 9600 baud, says what it keeps in EEPROM, then answers every
 * line typed with the line. F_CPU comes from the project's clock setting.
 */
#include <avr/eeprom.h>
#include <avr/io.h>

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

/* Written into the EEPROM with the firmware; read back from there at run time. */
static const char stored[] EEMEM = "kept in EEPROM";

int main(void)
{
    char line[40];
    unsigned char length = 0;
    UBRR0H = (unsigned char)(UBRR_VALUE >> 8);
    UBRR0L = (unsigned char)UBRR_VALUE;
    UCSR0B = (1 << RXEN0) | (1 << TXEN0);
    UCSR0C = (1 << UCSZ01) | (1 << UCSZ00);
    puts_uart("Hello from the AVR\r\n");
    puts_uart("EEPROM: ");
    for (const char *p = stored;; ++p) {
        const char c = (char)eeprom_read_byte((const uint8_t *)p);
        if (c == '\0')
            break;
        put(c);
    }
    puts_uart("\r\n");
    for (;;) {
        while (!(UCSR0A & (1 << RXC0)))
            ;
        char c = UDR0;
        if (c == '\r' || c == '\n') {
            line[length] = '\0';
            puts_uart("You typed: ");
            puts_uart(line);
            puts_uart("\r\n");
            length = 0;
        } else if (length < sizeof line - 1) {
            line[length++] = c;
        }
    }
}
