; PIC16 Tests: firmware that tests its own code on the controller. Each check prints one line
; on the serial port (9600 baud, 4 MHz crystal), FILE:LINE:NAME:PASS or FILE:LINE:NAME:FAIL,
; which the IDE's output window shows as a link to the check; then the firmware ends the run
; by sleeping with nothing to wake it. The assembler has no line numbers of its own: each
; check's text names the line of its CHECK.
; The controller is the project's (the assembler is given it by the build).
        #include <p16f877a.inc>

        __CONFIG _HS_OSC & _WDT_OFF & _PWRTE_ON & _LVP_OFF & _BOREN_OFF

        cblock  0x20
        ok                      ; 1 when the check passed
        wanted                  ; the number of the text to print
        index                   ; where in the texts
        value
        product
        count
        endc

CHECK   macro   number          ; reports check `number`: PASS when Z is set
        movlw   0               ; (neither movlw nor movwf touches Z)
        btfsc   STATUS, Z
        movlw   1
        movwf   ok
        movlw   number
        call    report
        endm

        org     0x0000
        goto    start

start:
        banksel SPBRG
        movlw   d'25'
        movwf   SPBRG
        movlw   (1 << TXEN) | (1 << BRGH)
        movwf   TXSTA
        bcf     TRISC, 6
        banksel RCSTA
        movlw   (1 << SPEN)
        movwf   RCSTA

        movlw   d'200'          ; 200 + 55 is 255
        addlw   d'55'
        xorlw   d'255'
        CHECK   0

        movlw   0x3c            ; swapping the nibbles of 0x3C gives 0xC3
        movwf   value
        swapf   value, w
        xorlw   0xc3
        CHECK   1

        movlw   d'7'            ; 7 times 6 by repeated adding is 42
        call    times6
        xorlw   d'42'
        CHECK   2

        banksel TXSTA           ; the last byte leaves the shift register
sent:   btfss   TXSTA, TRMT
        goto    sent
        banksel INTCON
        clrf    INTCON          ; no interrupt can wake the controller
        sleep
        goto    $

times6:                         ; W times 6
        movwf   value
        clrf    product
        movlw   6
        movwf   count
add:    movf    value, w
        addwf   product, f
        decfsz  count, f
        goto    add
        movf    product, w
        return

report:                         ; prints text W, then :PASS or :FAIL and a line end
        call    say
        movlw   d'3'            ; ":PASS" is text 3, ":FAIL" text 4
        btfss   ok, 0
        movlw   d'4'
        call    say
        movlw   0x0d
        call    put
        movlw   0x0a
        goto    put

say:                            ; prints text W
        movwf   wanted
        clrf    index
find:   movf    wanted, f       ; skips the texts before the wanted one
        btfsc   STATUS, Z
        goto    print
        movf    index, w
        call    texts
        incf    index, f
        iorlw   0
        btfsc   STATUS, Z
        decf    wanted, f
        goto    find
print:  movf    index, w
        call    texts
        iorlw   0
        btfsc   STATUS, Z
        return
        call    put
        incf    index, f
        goto    print

put:                            ; sends W once the transmitter can take it
        btfss   PIR1, TXIF
        goto    put
        movwf   TXREG
        return

texts:                          ; the character at W of the texts, each ended by 0
        addwf   PCL, f
        dt      "main.asm:46:add", 0
        dt      "main.asm:52:swap nibbles", 0
        dt      "main.asm:57:times 6", 0
        dt      ":PASS", 0
        dt      ":FAIL", 0

        END
