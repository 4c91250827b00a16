#include "state/restart.h"

int main() { return state::bootMain(); }
