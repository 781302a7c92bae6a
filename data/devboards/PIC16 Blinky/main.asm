; PIC16 Blinky: port B shows a binary count that goes up every quarter second.
        #include <p16f877a.inc>

        __CONFIG _HS_OSC & _WDT_OFF & _PWRTE_ON & _LVP_OFF & _BOREN_OFF

        extern  delay_250ms

RESET_VECTOR    CODE    0x0000
        pagesel start
        goto    start

MAIN    CODE
start:
        banksel TRISB
        clrf    TRISB           ; port B: all outputs
        banksel PORTB
        clrf    PORTB
loop:
        incf    PORTB, f
        pagesel delay_250ms
        call    delay_250ms
        pagesel loop
        goto    loop

        END
