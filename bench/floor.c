/* The floor of a CGI request: a statically linked process that prints the
   reply header and exits. */
#include <stdio.h>

int main(void) {
    fputs("Content-type: text/plain\r\nCache-Control: no-store\r\n\r\n", stdout);
    return 0;
}
