// The pool of shared strings: one copy of each distinct text, kept for the
// whole run, so callers may compare pool strings by pointer.
#pragma once

const char* string_shared(const char* text);
