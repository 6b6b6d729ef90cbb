#pragma once

// The program's string resources, compiled in from resources/palette.
// Returns the zero-terminated text of string `id`, or null when there is none.
const char* findStringResource(int id);
