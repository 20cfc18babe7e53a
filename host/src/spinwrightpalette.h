#pragma once

#include <QPalette>

// The program's dark palette, built on the platform's own; tests show panels under it too.
QPalette spinwrightPalette(QPalette palette);
