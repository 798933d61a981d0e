/* The smallest program of a build: whether Wine runs it, and as what. */
#include <stdio.h>

int main(void) {
    printf("pointer %u bytes\n", (unsigned)sizeof(void*));
    return 0;
}
