// Start-up pieces shared with shut-down and the tests.
#pragma once

extern bool g_fixed_files_match;  // the generic collision shapes are the shipped ones

// Frees the track, demo and video-mode lists.
void startup_free_catalogues();
