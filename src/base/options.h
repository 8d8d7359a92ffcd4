// Switches for the platform layer, read from the environment variable
// KWIL_OPTIONS as "[name:value]" entries, for example
// KWIL_OPTIONS="[dsnd:off][sound-rate:44100]".
#pragma once

// "yes]" or "on]" is true, "no]" or "off]" false; anything else logs
// "unrecognized setting for <name>" and gives the default.
bool option_bool(const char* name, bool default_value);

// A decimal number right after the colon (blanks and a sign allowed).
int option_int(const char* name, int default_value);

// For tests: read KWIL_OPTIONS again on the next call.
void options_reset_for_tests();
