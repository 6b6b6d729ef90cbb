#pragma once

// Carries out menu command `menuCode`. Returns 1 when an iteration command
// changed nothing, else 0.
int handleMenu(int menuCode);
