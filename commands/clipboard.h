#pragma once

// Copies the left frame (611), the right frame (612) or the top band of the
// client area (613) to the clipboard as an image. Returns 1.
int handleCopy(int menuCode);

// The About box.
void DoAboutBox();
