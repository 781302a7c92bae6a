#include "../src/led.h"
void led(void) {}
