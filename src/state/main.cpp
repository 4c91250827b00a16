#include "state/state.h"

int main() { return state::run(); }
