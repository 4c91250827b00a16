#include "dispatch/cgic.h"
#include "dispatch/dispatch.h"

int main() { return form::run(cgiMain); }
