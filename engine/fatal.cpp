#include "engine/fatal.h"

#include <atomic>
#include <cstdio>

namespace {
void printFatal(const char* msg) { std::fprintf(stderr, "Fatal Error! %s\n", msg); }
std::atomic<FatalHandler> handler{printFatal};
}

void setFatalHandler(FatalHandler h) { handler = h ? h : printFatal; }

void raiseFatal(const char* msg) { handler.load()(msg); }
