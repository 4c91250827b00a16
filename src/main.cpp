#include "dispatch/cgic.h"
#include "dispatch/dispatch.h"
#include "platform/platform.h"

int main() {
    platform::ignoreClosedOutput();
    return form::run(cgiMain);
}
