/*
 * 8051 Serial: greets on the serial port at 9600 baud (timer 1 in mode 2, reload 0xFD with an
 * 11.0592 MHz crystal), then answers every line typed with the line.
 */
#include <8052.h>

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

void main(void)
{
    char line[40];
    unsigned char length = 0;
    SCON = 0x50; /* mode 1, receiver on */
    TMOD = (TMOD & 0x0F) | 0x20;
    TH1 = 0xFD;
    TR1 = 1;
    puts_uart("Hello from the 8051\r\n");
    for (;;) {
        char c;
        while (!RI)
            ;
        RI = 0;
        c = SBUF;
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
