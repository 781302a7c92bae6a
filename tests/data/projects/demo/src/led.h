void led(void);
