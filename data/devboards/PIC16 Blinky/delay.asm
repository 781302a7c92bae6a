; A busy wait of about 250 ms at 4 MHz (1 us per instruction cycle).
        #include <p16f877a.inc>

        global  delay_250ms

DELAY_DATA      UDATA_SHR
outer   res     1
inner   res     1

DELAY   CODE
delay_250ms:
        movlw   d'250'
        movwf   outer
outer_loop:
        movlw   d'249'
        movwf   inner
inner_loop:                     ; 4 cycles a turn: 249 turns are about 1 ms
        nop
        decfsz  inner, f
        goto    inner_loop
        decfsz  outer, f
        goto    outer_loop
        return

        END
