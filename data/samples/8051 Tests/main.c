/*
 * 8051 Tests: firmware that tests its own code on the controller. Each check prints one line
 * on the serial port (9600 baud with an 11.0592 MHz crystal), FILE:LINE:NAME:PASS or
 * FILE:LINE:NAME:FAIL:message, which the IDE's output window shows as a link to the check;
 * then the firmware ends the run by powering down with interrupts off.
 */
#include <8052.h>
#include <stdint.h>

static void put(char c)
{
    SBUF = c;
    while (!TI)
        ;
    TI = 0;
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
static uint16_t checksum(const uint8_t *data, uint8_t length)
{
    uint16_t sum = 0;
    while (length--)
        sum += *data++;
    return sum;
}

static uint8_t bcd(uint8_t value)
{
    return (uint8_t)(((value / 10) << 4) | (value % 10));
}

void main(void)
{
    static const uint8_t data[] = {1, 2, 3, 250};
    SCON = 0x50; /* mode 1 */
    TMOD = (TMOD & 0x0F) | 0x20;
    TH1 = 0xFD;
    TR1 = 1;

    CHECK("checksum of four bytes", checksum(data, 4) == 256);
    CHECK("checksum of nothing", checksum(data, 0) == 0);
    CHECK("bcd of 42", bcd(42) == 0x42);
    CHECK("bcd of 9", bcd(9) == 0x09);

    /* Every byte has left (put waits for each): nothing wakes a powered-down controller with
       the interrupts off. */
    EA = 0;
    PCON |= 0x02;
    for (;;)
        ;
}
