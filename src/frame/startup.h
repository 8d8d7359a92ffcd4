// Start-up pieces shared with shut-down and the tests.
#pragma once

extern bool g_fixed_files_match;  // the generic collision shapes are the shipped ones

// Digests the seven generic collision shapes as the data folders give them
// (a missing file is skipped) and tells whether the game accepts that digest;
// its 40 hexadecimal digits go to hex when it is not null.
bool fixed_files_check(char hex[41]);

// Closes the pointer axes and every binding's axis.
void bindings_close();

// Frees the track, demo and video-mode lists.
void startup_free_catalogues();
