#pragma once

// Every error the program detects is fatal. The engine only reports it; the
// render runtime installs the handler that stops the renders, tells the user
// and ends the program. Until one is installed, reports go to stderr.
using FatalHandler = void (*)(const char* msg);

void setFatalHandler(FatalHandler handler);
void raiseFatal(const char* msg);
