#include "platform/platform.h"
#include "state/state.h"

int main() {
    // A client that leaves only loses the reply; nothing is half done.
    platform::ignoreClosedOutput();
    platform::SignalHold hold;
    return state::run();
}
