; PIC16 Serial: greets on the serial port at 9600 baud (4 MHz crystal, BRGH on, SPBRG 25),
; then sends back every character it receives.
; The controller is the project's (the assembler is given it by the build).
        #include <p16f877a.inc>

        __CONFIG _HS_OSC & _WDT_OFF & _PWRTE_ON & _LVP_OFF & _BOREN_OFF

        cblock  0x20
        index
        endc

        org     0x0000
        goto    start

start:
        banksel SPBRG
        movlw   d'25'
        movwf   SPBRG
        movlw   (1 << TXEN) | (1 << BRGH)
        movwf   TXSTA
        bsf     TRISC, 7        ; RX in, TX out
        bcf     TRISC, 6
        banksel RCSTA
        movlw   (1 << SPEN) | (1 << CREN)
        movwf   RCSTA
        clrf    index
greet:
        movf    index, w
        call    message
        iorlw   0
        btfsc   STATUS, Z
        goto    echo
        call    put
        incf    index, f
        goto    greet
echo:
        btfss   PIR1, RCIF
        goto    echo
        movf    RCREG, w
        call    put
        goto    echo

put:                            ; sends W once the transmitter can take it
        btfss   PIR1, TXIF
        goto    put
        movwf   TXREG
        return

message:                        ; the greeting's character at W, 0 at its end
        addwf   PCL, f
        dt      "Hello from the PIC16", 0x0d, 0x0a, 0

        END
